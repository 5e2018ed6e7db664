#include "platform/peer_uid.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr int kUnknown = -1;
constexpr int kTwoOwners = -2;

bool Loopback(int family, const __be32* address, bool anyToo) {
  if (family == AF_INET) {
    uint32_t a = ntohl(address[0]);
    return (a >> 24) == 127 || (anyToo && a == INADDR_ANY);
  }
  // A dual-stack socket meets IPv4 loopback as ::ffff:127.x.x.x, or listens on ::.
  bool zeroPrefix = address[0] == 0 && address[1] == 0;
  if (zeroPrefix && address[2] == htonl(0xffff)) return (ntohl(address[3]) >> 24) == 127;
  return anyToo && zeroPrefix && address[2] == 0 && address[3] == 0;
}

// Folds the owners of the matching sockets of one address family into `owner`.
bool Scan(int family, uint16_t localPort, uint16_t remotePort, int& owner) {
  int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0) return false;
  timeval timeout{1, 0};  // the kernel answers at once; never hang on it
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.request.sdiag_family = static_cast<uint8_t>(family);
  message.request.sdiag_protocol = IPPROTO_TCP;
  // Time-wait and half-open sockets carry no owner (they read as root): never count them.
  constexpr uint32_t kConnected = (1u << TCP_ESTABLISHED) | (1u << TCP_SYN_SENT) |
                                  (1u << TCP_FIN_WAIT1) | (1u << TCP_FIN_WAIT2) |
                                  (1u << TCP_CLOSE_WAIT) | (1u << TCP_LAST_ACK) |
                                  (1u << TCP_CLOSING);
  message.request.idiag_states = remotePort == 0 ? (1u << TCP_LISTEN) : kConnected;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  bool ok = sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                   sizeof kernel) == static_cast<ssize_t>(sizeof message);

  alignas(nlmsghdr) char buffer[16384];
  bool done = false;
  while (ok && !done) {
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    int left = static_cast<int>(n);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
      if (h->nlmsg_type == NLMSG_DONE) {
        done = true;
        break;
      }
      if (h->nlmsg_type == NLMSG_ERROR || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        ok = false;
        break;
      }
      const auto* m = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
      if (ntohs(m->id.idiag_sport) != localPort || ntohs(m->id.idiag_dport) != remotePort) continue;
      bool listening = remotePort == 0;
      if (!Loopback(m->idiag_family, m->id.idiag_src, listening) ||
          (!listening && !Loopback(m->idiag_family, m->id.idiag_dst, false)))
        continue;
      int uid = static_cast<int>(m->idiag_uid);
      if (owner == kUnknown) owner = uid;
      else if (owner != uid) owner = kTwoOwners;
    }
  }
  close(fd);
  return ok;
}
}  // namespace

int TcpSocketUid(uint16_t local_port, uint16_t remote_port) {
  if (local_port == 0) return kUnknown;
  int owner = kUnknown;
  // Where IPv6 is missing its dump fails; the IPv4 answer still stands.
  if (!Scan(AF_INET, local_port, remote_port, owner)) return kUnknown;
  Scan(AF_INET6, local_port, remote_port, owner);
  return owner < 0 ? kUnknown : owner;
}
