#include "platform/net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

int NetSocket() {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return s < 0 ? kNoSocket : s;
}

bool NetConnect(int s, const char* ip, uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, ip, &addr.sin_addr) != 1) return false;
  int r;
  do {
    r = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

int NetSend(int s, const void* data, int length) {
  if (s < 0) return -1;
  ssize_t n;
  do {
    n = send(s, data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int NetRecv(int s, void* data, int length) {
  if (s < 0) return -1;
  ssize_t n;
  do {
    n = recv(s, data, static_cast<size_t>(length), 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

void NetClose(int s) {
  if (s >= 0) close(s);
}

int NetRecvWaiting(int s, void* data, int length) {
  if (s < 0) return -1;
  ssize_t n;
  do {
    n = recv(s, data, static_cast<size_t>(length), MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

bool NetSocketPair(int& first, int& second) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  first = fds[0];
  second = fds[1];
  return true;
}

int NetListen(const char* ip, uint16_t port) {
  int s = NetSocket();
  if (s == kNoSocket) return kNoSocket;
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, ip, &addr.sin_addr) != 1 ||
      bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 8) != 0) {
    close(s);
    return kNoSocket;
  }
  return s;
}

int NetAccept(int listener) {
  int s;
  do {
    s = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  } while (s < 0 && errno == EINTR);
  return s < 0 ? kNoSocket : s;
}
