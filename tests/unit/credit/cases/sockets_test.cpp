#include "credit/sockets.h"

#include <gtest/gtest.h>

namespace {
const char kHead[] =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

TEST(PortTable, CountsTheServersSideOfEachConnectionOnly) {
  std::string table = std::string(kHead) +
      "   0: 0100007F:1A0B 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1\n"
      // the game's side (remote port 6667) and the server's side of one connection
      "   1: 0100007F:9C40 0100007F:1A0B 01 00000000:00000000 00:00000000 00000000     0        0 2\n"
      "   2: 0100007F:1A0B 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 3\n"
      // a connection closing, and another port's listener
      "   3: 0100007F:1A0B 0100007F:9C41 06 00000000:00000000 00:00000000 00000000     0        0 4\n"
      "   4: 0100007F:1A0C 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 5\n";
  credit::PortState s = credit::ParsePortTable(table, 6667);
  EXPECT_TRUE(s.readable);
  EXPECT_TRUE(s.listening);
  EXPECT_EQ(s.connected, 1);
}

TEST(PortTable, AnotherAddressOrAGarbledTableIsNotTheServer) {
  std::string table = std::string(kHead) +
      "   0: 0200007F:1A0B 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1\n"
      "   1: garbage\n"
      "   2: 0100007F: 00000000:0000 0A\n";
  credit::PortState s = credit::ParsePortTable(table, 6667);
  EXPECT_FALSE(s.listening);
  EXPECT_EQ(s.connected, 0);
  EXPECT_FALSE(credit::ReadPortState(6667, "/nonexistent/tcp").readable);
}
}  // namespace
