// Any bytes as the credit server's side of the link: a list of the game's operations, then the
// replies a peer gives them ("|" between replies), sent through a real socket pair. A reply
// without a line end is the peer's last: it hangs up after it, as a dying server would.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "machine/credit_link.h"
#include "machine/meters.h"
#include "platform/net.h"
#include "shell/shell.h"

namespace {
constexpr int kOperationKinds = 10;
constexpr size_t kMaxOperations = 12;

std::vector<std::string> SplitReplies(std::string_view text) {
  std::vector<std::string> replies;
  for (size_t start = 0;;) {
    size_t bar = text.find('|', start);
    replies.emplace_back(text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) return replies;
    start = bar + 1;
  }
}

// Reads each request line and answers it with the next reply; hangs up when they run out.
void Peer(int socket, std::vector<std::string> replies) {
  size_t next = 0;
  std::string request;
  char c;
  while (next < replies.size()) {
    ssize_t n = read(socket, &c, 1);
    if (n <= 0) break;
    if (c != '\n') continue;
    const std::string& reply = replies[next++];
    if (!reply.empty() && send(socket, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
    if (reply.find('\n') == std::string::npos) break;
  }
  NetClose(socket);
}

bool Tagged(const std::vector<std::string>& replies, size_t i, const char* tag) {
  return i < replies.size() && replies[i].compare(0, 4, tag) == 0;
}

// One operation of the game; returns how many replies it used (the requests it sent).
size_t Operate(uint8_t kind, const std::vector<std::string>& replies, size_t i) {
  switch (kind % kOperationKinds) {
    case 0: {
      uint16_t v = QueryCredit();
      if (v != 65535 && !Tagged(replies, i, "CTEL")) std::abort();
      return 1;
    }
    case 1: {
      uint16_t v = QueryBank();
      if (v != 65535 && !Tagged(replies, i, "BTEL")) std::abort();
      return 1;
    }
    case 2:
      if (ReadCredit() >= 10000) std::abort();
      return 1;
    case 3:
      if (ReadBank() >= 10000) std::abort();
      return 1;
    case 4:
      if (SpendCredit(50) && !Tagged(replies, i, "CTEL")) std::abort();
      return 1;
    case 5:
      if (AddBank(300) && !Tagged(replies, i, "BTEL")) std::abort();
      return 1;
    case 6:
      if (AddCredit(75) && !Tagged(replies, i, "CTEL")) std::abort();
      return 1;
    case 7: {
      int32_t games = Meters[0];
      bool paid = PayForGame();
      if (paid != (Meters[0] == games + 1)) std::abort();
      if (paid && !Tagged(replies, i, "CTEL")) std::abort();
      return paid ? 2 : 1;
    }
    case 8:
      PayPrize(250);
      return 2;
    default:
      PayPrize(static_cast<int16_t>(kind * 37));
      return 2;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t operations = data[0] % (kMaxOperations + 1);
  if (size < 1 + operations) return 0;
  std::vector<std::string> replies =
      SplitReplies(std::string_view(reinterpret_cast<const char*>(data) + 1 + operations, size - 1 - operations));

  int game, peer;
  if (!NetSocketPair(game, peer)) std::abort();
  ServerSocket = game;
  std::thread server(Peer, peer, replies);
  size_t used = 0;
  for (size_t k = 0; k < operations; ++k) used += Operate(data[1 + k], replies, used);
  SendTerm();
  NetClose(game);
  ServerSocket = kNoSocket;
  server.join();
  return 0;
}
