// Any bytes as what one client sends the running credit server over TCP: the server reads them
// as it reads the game, answers and hangs up when the client does. Every reply must be one of the
// protocol's, and the ledger must stay balanced and within what the game can read.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "credit/ledger.h"
#include "credit/protocol.h"
#include "credit/server.h"
#include "fuzz_support.h"

namespace {
uint16_t port = 0;
credit::Ledger* checker = nullptr;
constexpr int kReplyWaitMs = 20000;  // a server that stops answering is a finding

int Connect() {
  for (int attempt = 0; attempt < 500; ++attempt) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    close(fd);
    usleep(10000);
  }
  std::abort();
}

bool ValidReply(const std::string& line) {
  std::string tag = line.substr(0, 5);
  if (tag == "FAIL,") return line.size() > 5;
  if (tag != "CTEL," && tag != "BTEL,") return false;
  std::string digits = line.substr(5);
  if (digits.empty() || digits.size() > 4) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  return true;
}

void CheckLedger() {
  credit::Balances b;
  std::string error;
  if (!checker->Read(b) || !checker->Balanced(error)) std::abort();
  if (b.credit < 0 || b.bank < 0 || b.payoutDue < 0 || b.credit > credit::kMaxReading || b.bank > credit::kMaxReading)
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder("fuzz_credit_server");
  port = static_cast<uint16_t>(20000 + getpid() % 20000);
  std::thread([] { std::exit(credit::Serve("credit.db", port)); }).detach();
  close(Connect());
  checker = new credit::Ledger;
  std::string error;
  if (!checker->Open("credit.db", error)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = Connect();
  for (size_t sent = 0; sent < size;) {
    ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server hung up on a line too long
    sent += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);

  std::string replies;
  char buffer[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kReplyWaitMs) != 1) std::abort();
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    replies.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  for (size_t start = 0; start < replies.size();) {
    size_t end = replies.find("\r\n", start);
    if (end == std::string::npos || !ValidReply(replies.substr(start, end - start))) std::abort();
    start = end + 2;
  }
  static unsigned inputs = 0;
  if (++inputs % 64 == 0) CheckLedger();
  return 0;
}
