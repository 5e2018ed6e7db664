#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
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

bool NetConnectWithin(int s, const char* ip, uint16_t port, int ms) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (s < 0 || inet_pton(AF_INET, ip, &addr.sin_addr) != 1) return false;
  int flags = fcntl(s, F_GETFL);
  if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  bool connected = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (!connected && (errno == EINPROGRESS || errno == EINTR)) {
    pollfd p{s, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    connected = poll(&p, 1, ms) == 1 && getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  if (fcntl(s, F_SETFL, flags) != 0) return false;
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return connected;
}

uint16_t NetLocalPort(int s) {
  sockaddr_in addr{};
  socklen_t size = sizeof addr;
  if (s < 0 || getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) != 0 || addr.sin_family != AF_INET)
    return 0;
  return ntohs(addr.sin_port);
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

int NetRecvWithin(int s, void* data, int length, int ms) {
  if (s < 0) return -1;
  pollfd p{s, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, ms);
  } while (ready < 0 && errno == EINTR);
  if (ready != 1) return -1;
  return NetRecvWaiting(s, data, length);
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
