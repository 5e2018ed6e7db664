#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/peer_uid.h"

namespace {
uint16_t PortOf(int fd, bool peer = false) {
  sockaddr_in a{};
  socklen_t n = sizeof a;
  if ((peer ? getpeername : getsockname)(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0) return 0;
  return ntohs(a.sin_port);
}

int ListenOn(uint32_t address) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ConnectTo(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST(PeerUid, EachEndOfARealLoopbackConnectionAndItsListener) {
  int listener = ListenOn(INADDR_LOOPBACK);
  ASSERT_GE(listener, 0);
  uint16_t port = PortOf(listener);
  int me = static_cast<int>(geteuid());
  EXPECT_EQ(TcpSocketUid(port, 0), me);

  int client = ConnectTo(port);
  ASSERT_GE(client, 0);
  uint16_t clientPort = PortOf(client);
  EXPECT_EQ(TcpSocketUid(clientPort, port), me);
  // Still in the accept queue: the server's end belongs to the listener's owner already.
  EXPECT_EQ(TcpSocketUid(port, clientPort), me);
  int served = accept(listener, nullptr, nullptr);
  ASSERT_GE(served, 0);
  EXPECT_EQ(TcpSocketUid(port, clientPort), me);

  // Ports in the wrong order, or of nothing, name no socket.
  EXPECT_EQ(TcpSocketUid(clientPort, 0), -1);
  EXPECT_EQ(TcpSocketUid(port, static_cast<uint16_t>(clientPort + 1)), -1);
  EXPECT_EQ(TcpSocketUid(0, 0), -1);

  // Once closed, time-wait remains are nobody's (they would read as root).
  close(client);
  close(served);
  EXPECT_EQ(TcpSocketUid(clientPort, port), -1);
  EXPECT_EQ(TcpSocketUid(port, clientPort), -1);
  close(listener);
  EXPECT_EQ(TcpSocketUid(port, 0), -1);
}

TEST(PeerUid, AnotherAccountsSocketsAreReportedAsTheirs) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second account";
  constexpr int kNobody = 65534;
  int listener = ListenOn(INADDR_LOOPBACK);
  ASSERT_GE(listener, 0);
  uint16_t port = PortOf(listener);

  int toChild[2], fromChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(fromChild), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Another account listens on every address and connects to us.
    if (setresgid(kNobody, kNobody, kNobody) != 0 || setresuid(kNobody, kNobody, kNobody) != 0)
      _exit(1);
    int own = ListenOn(INADDR_ANY);
    int out = ConnectTo(port);
    uint16_t ports[2] = {PortOf(own), PortOf(out)};
    if (own < 0 || out < 0 || write(fromChild[1], ports, sizeof ports) != sizeof ports) _exit(2);
    char done;
    (void)!read(toChild[0], &done, 1);
    _exit(0);
  }
  uint16_t ports[2] = {0, 0};
  ASSERT_EQ(read(fromChild[0], ports, sizeof ports), static_cast<ssize_t>(sizeof ports));
  int served = accept(listener, nullptr, nullptr);
  ASSERT_GE(served, 0);
  EXPECT_EQ(PortOf(served, true), ports[1]);
  EXPECT_EQ(TcpSocketUid(ports[0], 0), kNobody);          // its listener on 0.0.0.0
  EXPECT_EQ(TcpSocketUid(ports[1], port), kNobody);       // its end of the connection
  EXPECT_EQ(TcpSocketUid(port, ports[1]), 0);             // our end stays ours
  EXPECT_EQ(write(toChild[1], "x", 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  for (int fd : {served, listener, toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
}
}  // namespace
