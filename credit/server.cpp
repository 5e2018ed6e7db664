#include "credit/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <list>

#include "credit/ledger.h"
#include "credit/protocol.h"
#include "platform/peer_uid.h"

namespace credit {

namespace {
volatile sig_atomic_t StopRequested = 0;

void OnStopSignal(int) { StopRequested = 1; }

// Replies a client has not taken yet; past this we stop reading its requests.
constexpr size_t kMaxPendingOutput = 64 * 1024;

// While accept has no descriptor to give, the listener rests this long between tries.
constexpr double kAcceptPauseSeconds = 0.5;

// Events asked of the kernel for a descriptor not in the wait at all.
constexpr uint32_t kUnwatched = ~0u;
constexpr int kMaxEvents = 64;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Client {
  int fd = -1;
  int uid = -1;
  bool game = false;     // the game's account: it alone moves money
  std::string in, out;
  bool closing = false;  // close once `out` is sent
  double lastInput = 0;  // when it last sent anything
  double partialSince = 0, stalledSince = 0;  // a line begun, replies untaken: since when (0: no)
  uint32_t watched = kUnwatched;  // the events the wait has for it
  bool ready = false;             // the last wait found input or an end
};

class Server {
 public:
  Server(Ledger& ledger, const ServeOptions& options)
      : ledger_(ledger), options_(options), reserve_(open("/dev/null", O_RDONLY | O_CLOEXEC)) {}
  bool Listen(uint16_t port);
  void Run(const sigset_t& waitMask);

 private:
  void Accept();
  void Admit(Client& c);
  bool Expired(Client& c, double now);
  double NextDeadline(double now) const;
  void ReadFrom(Client& c, bool& mayCommit);
  bool HandleLines(Client& c, bool& mayCommit);
  bool Serve(Client& c, bool& mayCommit);
  void Handle(Client& c, std::string_view line, const Request& r);
  void Answer(Client& c, const Request& r);
  void Flush(Client& c);
  void Watch(int fd, uint32_t events, uint32_t& registered, void* owner);

  Ledger& ledger_;
  const ServeOptions& options_;
  int listener_ = -1;
  int epoll_ = -1;
  uint16_t port_ = 0;
  double acceptPausedUntil_ = 0;
  int reserve_ = -1;  // a descriptor kept back so that a client's owner can always be asked
  std::list<Client> clients_;
};

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("quibblo-credit: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
}

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
  port_ = port;
  return bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
         listen(listener_, 64) == 0;
}

void Server::Accept() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors or memory: the connection stays queued, and polling the listener
      // again at once would only spin. Rest it and try later.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        if (acceptPausedUntil_ == 0) Log("cannot accept a client: %s; trying again shortly", std::strerror(errno));
        acceptPausedUntil_ = Now() + kAcceptPauseSeconds;
      } else {
        acceptPausedUntil_ = 0;
      }
      return;
    }
    acceptPausedUntil_ = 0;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A peer that vanished without a word is found out within a minute or so.
    int idle = 30, interval = 5, count = 3;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    Client c;
    c.fd = fd;
    c.uid = TcpSocketUid(ntohs(peer.sin_port), port_);
    if (c.uid < 0 && (errno == EMFILE || errno == ENFILE) && reserve_ >= 0) {
      // The last descriptor went to the client: lend the lookup the one kept for it.
      close(reserve_);
      c.uid = TcpSocketUid(ntohs(peer.sin_port), port_);
      reserve_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    c.game = c.uid >= 0 && c.uid == options_.gameUid;
    c.lastInput = Now();
    clients_.push_back(c);
    Admit(clients_.back());
  }
}

// One game at a time, and a few onlookers; the others are told why and closed.
void Server::Admit(Client& c) {
  size_t onlookers = 0;
  for (Client& other : clients_) {
    if (&other == &c || other.closing) continue;
    if (c.game && other.game) {
      // A game that has just gone may not have been read yet: ask its socket.
      pollfd p{other.fd, POLLRDHUP, 0};
      if (poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        for (int i = 0; i < 16 && !other.closing; ++i) {  // its last requests, then its end
          bool mayCommit = true;
          ReadFrom(other, mayCommit);
        }
        if (other.closing) continue;
      }
      Log("refused a second game connection from uid %d while one is open", c.uid);
      c.out = Refusal("another game is connected");
      c.closing = true;
      return;
    }
    if (!other.game) ++onlookers;
  }
  if (!c.game && onlookers >= kMaxOnlookers) {
    c.out = Refusal("too many clients");
    c.closing = true;
  }
}

// The reply goes straight onto the client's output: a query is one short append.
void Server::Answer(Client& c, const Request& r) {
  Balances b;
  Movement m = r.verb == Verb::CreditUse ? Movement::Spend
               : r.verb == Verb::BankAdd ? Movement::AddBank
                                         : Movement::AddCredit;
  if (r.verb == Verb::CreditGet || r.verb == Verb::BankGet) {
    if (!ledger_.Current(b)) {
      c.out += Refusal("ledger error");
      return;
    }
  } else {
    Decision d = ledger_.Apply(Source::Game, m, r.amount);
    if (!d.accepted) {
      c.out += Refusal(d.reason);
      return;
    }
    b = d.after;
  }
  bool bank = r.verb == Verb::BankGet || r.verb == Verb::BankAdd;
  char reply[32] = {bank ? 'B' : 'C', 'T', 'E', 'L', ','};
  char* end = std::to_chars(reply + 5, reply + sizeof reply - 2, bank ? b.bank : b.credit).ptr;
  *end++ = '\r';
  *end++ = '\n';
  c.out.append(reply, static_cast<size_t>(end - reply));
}

bool IsMoney(Verb verb) { return verb == Verb::CreditUse || verb == Verb::BankAdd || verb == Verb::CreditAdd; }

void Server::Handle(Client& c, std::string_view line, const Request& r) {
  if (r.verb == Verb::Term) {
    c.closing = true;
    c.in.clear();
    return;
  }
  bool money = IsMoney(r.verb);
  if (money && !c.game) {
    // Whoever tries to move money without the right is no onlooker: answered, then closed.
    Log("refused %.*s from uid %d: not the game's account (uid %d)", static_cast<int>(line.size()),
        line.data(), c.uid, options_.gameUid);
    c.out += Refusal("not the game's account");
    c.in.clear();
    c.closing = true;
    return;
  }
  if (r.verb == Verb::Invalid) {
    c.out += Refusal(r.reason);
    return;
  }
  size_t before = c.out.size();
  Answer(c, r);
  if (money && std::string_view(c.out).substr(before) == Refusal("payout limit reached")) {
    Balances b;
    ledger_.Read(b);
    Log("refused %.*s: payout_due %lld would pass its limit of %lld; pay out with "
        "`quibblo-credit collect`", static_cast<int>(line.size()), line.data(),
        static_cast<long long>(b.payoutDue), static_cast<long long>(options_.payoutCap));
  }
}

// True when a durable command waits for its turn.
bool Server::HandleLines(Client& c, bool& mayCommit) {
  size_t start = 0;
  bool waiting = false;
  while (!c.closing && c.out.size() < kMaxPendingOutput) {
    size_t end = c.in.find("\r\n", start);
    if (end == std::string::npos) break;
    std::string_view line = std::string_view(c.in).substr(start, end - start);
    Request r = ParseRequest(line);
    // A durable command holds the whole loop through its sync; the queries of every client are
    // answered between two of them (mayCommit: one may run now, cleared once it has).
    if (c.game && IsMoney(r.verb)) {
      if (!mayCommit) {
        waiting = true;
        break;
      }
      mayCommit = false;
    }
    Handle(c, line, r);
    start = end + 2;
  }
  if (c.closing) return false;
  c.in.erase(0, start);
  // No line end within the longest request: it can only be refused, and the rest of it with it.
  if (c.in.find("\r\n") == std::string::npos && c.in.size() > kMaxLineLength + 1) {
    c.out += Refusal("line too long");
    c.in.clear();
    c.closing = true;
  }
  return waiting;
}

void Server::ReadFrom(Client& c, bool& mayCommit) {
  char buffer[4096];
  ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    c.closing = true;  // gone without a goodbye: nothing of it is pending
    c.out.clear();
    c.in.clear();
    return;
  }
  if (n > 0) {
    c.in.append(buffer, static_cast<size_t>(n));
    c.lastInput = Now();
  }
  HandleLines(c, mayCommit);
}

// Requests wait while a client does not take its replies; once they drain, go on with the
// backlog here, as no new input may come to wake us for it.
// True when a durable command of c waits for its turn.
bool Server::Serve(Client& c, bool& mayCommit) {
  for (;;) {
    bool waiting = !c.closing && c.out.size() < kMaxPendingOutput && HandleLines(c, mayCommit);
    Flush(c);
    if (waiting || c.closing || !c.out.empty() || c.in.find("\r\n") == std::string::npos) return waiting;
  }
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
    c.stalledSince = 0;
  }
}

// Idle clients, a line that never ends, replies never taken: each holds a descriptor (and the
// game's one place) for nothing.
bool Server::Expired(Client& c, double now) {
  if (c.in.empty() || c.in.find("\r\n") != std::string::npos) c.partialSince = 0;
  else if (c.partialSince == 0) c.partialSince = now;
  if (c.out.empty()) c.stalledSince = 0;
  else if (c.stalledSince == 0) c.stalledSince = now;
  const char* why = now - c.lastInput > options_.idleSeconds ? "idle"
                    : c.partialSince && now - c.partialSince > kRequestSeconds ? "an unfinished request"
                    : c.stalledSince && now - c.stalledSince > kRequestSeconds ? "replies not taken"
                                                                              : nullptr;
  if (why && c.game) Log("closed the game's connection: %s", why);
  return why != nullptr;
}

double Server::NextDeadline(double now) const {
  double next = now + options_.idleSeconds;
  for (const Client& c : clients_) {
    next = std::min(next, c.lastInput + options_.idleSeconds);
    if (c.partialSince) next = std::min(next, c.partialSince + kRequestSeconds);
    if (c.stalledSince) next = std::min(next, c.stalledSince + kRequestSeconds);
  }
  if (acceptPausedUntil_) next = std::min(next, acceptPausedUntil_);
  return next;
}

// The wanted events of one descriptor, told to the kernel only when they change: a query
// answered and flushed at once leaves them as they were, so it costs no call.
void Server::Watch(int fd, uint32_t events, uint32_t& registered, void* owner) {
  if (events == registered) return;
  epoll_event e{};
  e.events = events;
  e.data.ptr = owner;
  int op = registered == kUnwatched ? EPOLL_CTL_ADD : events == kUnwatched ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
  if (epoll_ctl(epoll_, op, fd, &e) == 0 || (op == EPOLL_CTL_DEL && errno == ENOENT)) registered = events;
}

void Server::Run(const sigset_t& waitMask) {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) {
    Log("cannot wait for clients: %s", std::strerror(errno));
    return;
  }
  uint32_t listening = kUnwatched;
  epoll_event events[kMaxEvents];
  bool deferred = false;
  double lastSignalCheck = Now();
  while (!StopRequested) {
    double now = Now();
    // While accept has no descriptor to give, the listener is left out of the wait.
    bool resting = acceptPausedUntil_ > now;
    Watch(listener_, resting ? kUnwatched : EPOLLIN, listening, nullptr);
    for (Client& c : clients_) {
      uint32_t wanted = 0;
      if (!c.out.empty()) wanted |= EPOLLOUT;
      if (!c.closing && c.out.size() < kMaxPendingOutput) wanted |= EPOLLIN;
      Watch(c.fd, wanted, c.watched, &c);
      c.ready = false;
      if (c.watched == kUnwatched && !c.closing) {
        // Never woken for: it would hold its place for nothing.
        Log("cannot wait for a client: %s", std::strerror(errno));
        c.closing = true;
        c.out.clear();
      }
    }
    // A command that waited for its turn goes on at once.
    int timeout = 0;
    if (!deferred) {
      double wait = std::max(0.0, NextDeadline(now) - now) + 0.001;
      timeout = static_cast<int>(std::min(std::ceil(wait * 1000), 1e9));
    }
    int n = epoll_pwait(epoll_, events, kMaxEvents, timeout, &waitMask);
    if (n < 0) continue;  // a signal
    bool incoming = false;
    for (int i = 0; i < n; ++i) {
      if (!events[i].data.ptr) incoming = true;
      else if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) static_cast<Client*>(events[i].data.ptr)->ready = true;
    }
    now = Now();
    // The wait lets a blocked stop signal in only when it has to wait, which a busy server or
    // one with a deferred command never does: look for one now and then.
    if (now - lastSignalCheck > 0.01) {
      lastSignalCheck = now;
      sigset_t pending;
      if (sigpending(&pending) == 0 && (sigismember(&pending, SIGTERM) || sigismember(&pending, SIGINT))) break;
    }
    // First every client's queries, up to its next durable command; then at most one of those.
    bool mayCommit = false;
    for (Client& c : clients_) {
      if (c.ready) ReadFrom(c, mayCommit);
      Serve(c, mayCommit);
    }
    mayCommit = true;
    deferred = false;
    for (Client& c : clients_) deferred = Serve(c, mayCommit) || deferred;
    for (auto it = clients_.begin(); it != clients_.end();) {
      Client& c = *it;
      if ((c.closing && c.out.empty()) || Expired(c, now)) {
        close(c.fd);  // leaves the wait with it
        it = clients_.erase(it);
      } else {
        ++it;
      }
    }
    // After the loop over the waited-on clients: a new one is in the wait from the next pass.
    if (incoming || (resting && acceptPausedUntil_ <= Now())) Accept();
  }
  for (Client& c : clients_) close(c.fd);
  close(listener_);
  close(epoll_);
  if (reserve_ >= 0) close(reserve_);
}
}  // namespace

int Serve(const ServeOptions& given) {
  ServeOptions options = given;
  if (options.gameUid < 0) options.gameUid = static_cast<int>(geteuid());
  const std::string& dbPath = options.db;
  umask(077);  // whatever the server makes is its owner's alone
  Ledger ledger;
  ledger.SetPayoutCap(options.payoutCap);
  std::string error;
  if (!ledger.Open(dbPath, error)) {
    std::fprintf(stderr, "quibblo-credit: ledger %s: %s\n", dbPath.c_str(), error.c_str());
    return 1;
  }
  // Stop signals are only taken inside the wait, so a request is never cut in half by one.
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

  Server server(ledger, options);
  uint16_t port = options.port;
  if (!server.Listen(port)) {
    std::fprintf(stderr, "quibblo-credit: cannot listen on 127.0.0.1:%u: %s\n", port,
                 std::strerror(errno));
    return 1;
  }
  // Without the peers' accounts anyone could move money: do not serve blind.
  if (TcpSocketUid(port, 0) != static_cast<int>(geteuid())) {
    std::fprintf(stderr, "quibblo-credit: the kernel does not say who owns loopback sockets "
                 "(socket diagnostics, module inet_diag/tcp_diag); cannot tell the game from "
                 "other users\n");
    return 1;
  }
  std::fprintf(stderr, "quibblo-credit: serving on 127.0.0.1:%u, ledger %s, money from uid %d, "
               "payout_due limit %lld\n", port, dbPath.c_str(), options.gameUid,
               static_cast<long long>(options.payoutCap));
  server.Run(waitMask);
  return 0;
}

}  // namespace credit
