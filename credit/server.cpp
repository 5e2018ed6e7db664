#include "credit/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>

#include "credit/ledger.h"
#include "credit/protocol.h"

namespace credit {

namespace {
volatile sig_atomic_t StopRequested = 0;

void OnStopSignal(int) { StopRequested = 1; }

// Replies a client has not taken yet; past this we stop reading its requests.
constexpr size_t kMaxPendingOutput = 64 * 1024;

struct Client {
  int fd = -1;
  std::string in, out;
  bool closing = false;  // close once `out` is sent
};

class Server {
 public:
  explicit Server(Ledger& ledger) : ledger_(ledger) {}
  bool Listen(uint16_t port);
  void Run(const sigset_t& waitMask);

 private:
  void Accept();
  void ReadFrom(Client& c);
  void HandleLines(Client& c);
  void Handle(Client& c, std::string_view line);
  std::string Answer(const Request& r);
  void Flush(Client& c);

  Ledger& ledger_;
  int listener_ = -1;
  std::list<Client> clients_;
};

bool Server::Listen(uint16_t port) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  int on = 1;
  // A restarted server must get its port back at once, whatever the old connections do.
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
         listen(listener_, 64) == 0;
}

void Server::Accept() {
  for (;;) {
    int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    clients_.push_back(Client{fd, {}, {}, false});
  }
}

std::string Server::Answer(const Request& r) {
  Balances b;
  Movement m = r.verb == Verb::CreditUse ? Movement::Spend
               : r.verb == Verb::BankAdd ? Movement::AddBank
                                         : Movement::AddCredit;
  if (r.verb == Verb::CreditGet || r.verb == Verb::BankGet) {
    if (!ledger_.Read(b)) return Refusal("ledger error");
  } else {
    Decision d = ledger_.Apply(Source::Game, m, r.amount);
    if (!d.accepted) return Refusal(d.reason);
    b = d.after;
  }
  bool bank = r.verb == Verb::BankGet || r.verb == Verb::BankAdd;
  return (bank ? "BTEL," + std::to_string(b.bank) : "CTEL," + std::to_string(b.credit)) + "\r\n";
}

void Server::Handle(Client& c, std::string_view line) {
  Request r = ParseRequest(line);
  if (r.verb == Verb::Term) {
    c.closing = true;
    c.in.clear();
    return;
  }
  c.out += r.verb == Verb::Invalid ? Refusal(r.reason) : Answer(r);
}

void Server::HandleLines(Client& c) {
  size_t start = 0;
  while (!c.closing && c.out.size() < kMaxPendingOutput) {
    size_t end = c.in.find("\r\n", start);
    if (end == std::string::npos) break;
    Handle(c, std::string_view(c.in).substr(start, end - start));
    start = end + 2;
  }
  if (c.closing) return;
  c.in.erase(0, start);
  // No line end within the longest request: it can only be refused, and the rest of it with it.
  if (c.in.find("\r\n") == std::string::npos && c.in.size() > kMaxLineLength + 1) {
    c.out += Refusal("line too long");
    c.in.clear();
    c.closing = true;
  }
}

void Server::ReadFrom(Client& c) {
  char buffer[4096];
  ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    c.closing = true;  // gone without a goodbye: nothing of it is pending
    c.out.clear();
    c.in.clear();
    return;
  }
  if (n > 0) c.in.append(buffer, static_cast<size_t>(n));
  HandleLines(c);
}

void Server::Flush(Client& c) {
  while (!c.out.empty()) {
    ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        c.out.clear();
        c.closing = true;
      }
      return;
    }
    c.out.erase(0, static_cast<size_t>(n));
  }
}

void Server::Run(const sigset_t& waitMask) {
  std::vector<pollfd> fds;
  while (!StopRequested) {
    fds.assign(1, pollfd{listener_, POLLIN, 0});
    for (Client& c : clients_) {
      short events = c.out.empty() ? 0 : POLLOUT;
      if (!c.closing && c.out.size() < kMaxPendingOutput) events |= POLLIN;
      fds.push_back(pollfd{c.fd, events, 0});
    }
    if (ppoll(fds.data(), fds.size(), nullptr, &waitMask) < 0) continue;  // a signal
    size_t i = 1;
    for (auto it = clients_.begin(); it != clients_.end(); ++i) {
      Client& c = *it;
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ReadFrom(c);
      // Requests wait while a client does not take its replies; once they drain, go on with
      // the backlog here, as no new input may come to wake us for it.
      for (;;) {
        if (!c.closing && c.out.size() < kMaxPendingOutput) HandleLines(c);
        Flush(c);
        if (c.closing || !c.out.empty() || c.in.find("\r\n") == std::string::npos) break;
      }
      if (c.closing && c.out.empty()) {
        close(c.fd);
        it = clients_.erase(it);
      } else {
        ++it;
      }
    }
    // After the loop over the polled clients: a new one has no poll entry yet.
    if (fds[0].revents & POLLIN) Accept();
  }
  for (Client& c : clients_) close(c.fd);
  close(listener_);
}
}  // namespace

int Serve(const std::string& dbPath, uint16_t port) {
  Ledger ledger;
  std::string error;
  if (!ledger.Open(dbPath, error)) {
    std::fprintf(stderr, "quibblo-credit: ledger %s: %s\n", dbPath.c_str(), error.c_str());
    return 1;
  }
  // Stop signals are only taken inside ppoll, so a request is never cut in half by one.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Server server(ledger);
  if (!server.Listen(port)) {
    std::fprintf(stderr, "quibblo-credit: cannot listen on 127.0.0.1:%u: %s\n", port,
                 std::strerror(errno));
    return 1;
  }
  std::fprintf(stderr, "quibblo-credit: serving on 127.0.0.1:%u, ledger %s\n", port, dbPath.c_str());
  server.Run(waitMask);
  return 0;
}

}  // namespace credit
