#include "machine/credit_link.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "machine/journal.h"
#include "machine/replay.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/peer_uid.h"
#include "shell/log.h"
#include "shell/shell.h"

uint16_t CreditServerPort = 6667;

namespace {
constexpr const char* kServerAddress = "127.0.0.1";
constexpr uint16_t kQueryFailed = 65535;
constexpr uint16_t kReadingLimit = 10000;
constexpr int kReplyRoom = 4095;
// A reply, or a connection, that takes longer than this is not coming: the cabinet must not
// freeze on a stalled or mute server.
constexpr int kReplyWaitMs = 1500;
constexpr int kConnectWaitMs = 1000;
// Between attempts to reconnect, on the game's clock; longer after a server that went mute.
constexpr uint32_t kRetryAfterMs = 1000;
constexpr uint32_t kRetryAfterMuteMs = 5000;

char RequestBuffer[64];
char ReplyBuffer[kReplyRoom + 1];
char ValueText[kReplyRoom + 1];

uint32_t nextAttempt = 0;
bool attemptDue = true;
bool outageLogged = false;

bool SendRequest() {
  int length = static_cast<int>(std::strlen(RequestBuffer));
  for (int sent = 0; sent < length;) {
    int n = NetSend(ServerSocket, RequestBuffer + sent, length - sent);
    if (n <= 0) return false;
    sent += n;
  }
  return true;
}

// Bytes that arrived after an earlier reply's line end answer no request of ours; left in the
// socket they would be read as the next reply.
void DiscardStaleBytes() {
  char junk[256];
  while (NetRecvWaiting(ServerSocket, junk, sizeof junk) > 0) {
  }
}

// One reply line, however the stream splits it, within the reply wait. Anything after its line
// end is dropped.
bool ReceiveReply() {
  int filled = 0;
  // Real time, whatever clock the game runs on: it is the server's time that is bounded.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyWaitMs);
  int left = kReplyWaitMs;
  while (filled < kReplyRoom && left > 0) {
    int n = NetRecvWithin(ServerSocket, ReplyBuffer + filled, kReplyRoom - filled, left);
    if (n <= 0) return false;
    char* end = static_cast<char*>(std::memchr(ReplyBuffer + filled, '\n', static_cast<size_t>(n)));
    filled += n;
    if (end) {
      end[1] = '\0';
      return true;
    }
    // A server that trickles bytes without a line end gets one wait in all, not one per byte.
    left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now()).count());
  }
  return false;  // a line longer than any reply of the protocol, or too slow
}

void DropLink(const char* why, uint32_t retryAfter) {
  LogWrite("Credit server link lost (%s after \"%.*s\"); reconnecting\n", why,
           static_cast<int>(std::strcspn(RequestBuffer, "\r\n")), RequestBuffer);
  NetClose(ServerSocket);
  ServerSocket = kNoSocket;
  nextAttempt = ClockPeek() + retryAfter;
  attemptDue = false;
  outageLogged = true;
}

bool LinkReady() {
  if (ServerSocket != kNoSocket) return true;
  if (!attemptDue && static_cast<int32_t>(ClockPeek() - nextAttempt) < 0) return false;
  return ReconnectCreditServer();
}

// The reply in ReplyBuffer judged: done, refused, or a line that leaves the command's fate unknown.
CommandResult Judge(const char* tag, bool replaying) {
  const char* comma = std::strchr(ReplyBuffer, ',');
  if (std::strncmp(ReplyBuffer, tag, 4) == 0 && comma) {
    std::snprintf(ValueText, sizeof ValueText, "%s", comma + 1);
    return CommandResult::Done;
  }
  // A refusal is the server's final word; anything else leaves the command's fate unknown.
  if (std::strncmp(ReplyBuffer, "FAIL", 4) == 0) return CommandResult::Refused;
  if (!replaying) DropLink("unexpected reply", kRetryAfterMs);
  return CommandResult::Lost;
}

// A replay is answered from the plan, never the network.
CommandResult ReplayExchange(const char* tag) {
  std::string reply, result;
  if (!ReplayAnswer(RequestBuffer, reply, result) || result == "lost") {
    ReplyBuffer[0] = '\0';
    return CommandResult::Lost;
  }
  std::snprintf(ReplyBuffer, sizeof ReplyBuffer, "%s\r\n", reply.c_str());
  return Judge(tag, true);
}

const char* ResultName(CommandResult r) {
  return r == CommandResult::Done ? "done" : r == CommandResult::Refused ? "refused" : "lost";
}

CommandResult Talk(const char* tag) {
  if (ReplayActive()) return ReplayExchange(tag);
  ReplyBuffer[0] = '\0';
  if (!LinkReady()) return CommandResult::Lost;
  DiscardStaleBytes();
  if (!SendRequest()) {
    DropLink("send failed", kRetryAfterMs);
    return CommandResult::Lost;
  }
  if (!ReceiveReply()) {
    ReplyBuffer[0] = '\0';
    DropLink("no whole reply in time", kRetryAfterMuteMs);
    return CommandResult::Lost;
  }
  return Judge(tag, false);
}

// Request already formatted: send it, read the reply, check the tag, keep the value text.
CommandResult Exchange(const char* tag) {
  JournalCreditSending(RequestBuffer);
  CommandResult r = Talk(tag);
  JournalCredit(RequestBuffer, ReplyBuffer, ResultName(r));
  return r;
}

// Leading decimal digits as the C library reads an integer, kept to the low 16 bits.
uint16_t ValueAsNumber() {
  const char* p = ValueText;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint32_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
  if (negative) value = 0u - value;
  return static_cast<uint16_t>(value);
}

uint16_t Query(const char* request, const char* tag) {
  std::snprintf(RequestBuffer, sizeof RequestBuffer, "%s", request);
  if (Exchange(tag) != CommandResult::Done) return kQueryFailed;
  return ValueAsNumber();
}

uint16_t ZeroWhenOutOfRange(uint16_t value) { return value >= kReadingLimit ? 0 : value; }

int ExpectedServerUid() {
  const char* text = std::getenv("QUIBBLO_CREDIT_UID");
  if (text && *text) {
    char* end;
    long uid = std::strtol(text, &end, 10);
    if (*end == '\0' && uid >= 0) return static_cast<int>(uid);
  }
  return static_cast<int>(getuid());
}
}  // namespace

int ConnectCreditServer(std::string& why) {
  if (ReplayActive()) return 0;
  NetClose(ServerSocket);
  ServerSocket = NetSocket();
  if (ServerSocket == kNoSocket) {
    why = "no socket can be made";
    return 1;
  }
  char text[160];
  bool connected = NetConnectWithin(ServerSocket, kServerAddress, CreditServerPort, kConnectWaitMs);
  // Any local account can listen on the port first: only the expected one's server is trusted.
  // The listening socket names its owner; the far end of a connection not yet accepted reads as
  // root whoever listens, so it may only confirm the listener, never stand in for it.
  int expected = ExpectedServerUid();
  int owner = connected ? TcpSocketUid(CreditServerPort, 0) : -1;
  if (owner == expected) {
    int far = TcpSocketUid(CreditServerPort, NetLocalPort(ServerSocket));
    if (far != expected && far != 0) owner = far;
  }
  if (!connected)
    std::snprintf(text, sizeof text, "no credit server on %s:%u", kServerAddress, CreditServerPort);
  else if (owner != expected)
    std::snprintf(text, sizeof text, "the credit server port %s:%u belongs to uid %d, not %d: not trusted",
                  kServerAddress, CreditServerPort, owner, expected);
  if (!connected || owner != expected) {
    why = text;
    NetClose(ServerSocket);
    ServerSocket = kNoSocket;
    return 2;
  }
  return 0;
}

bool ReconnectCreditServer() {
  std::string why;
  bool up = ConnectCreditServer(why) == 0;
  nextAttempt = ClockPeek() + kRetryAfterMs;
  attemptDue = false;
  if (up && outageLogged) LogWrite("Credit server link back\n");
  if (!up && !outageLogged) LogWrite("Credit server unreachable (%s)\n", why.c_str());
  outageLogged = !up;
  return up;
}

bool CreditLinkUp() { return ReplayActive() || ServerSocket != kNoSocket; }

CommandResult SendCommand(const char* format, int32_t amount, const char* tag) {
  std::snprintf(RequestBuffer, sizeof RequestBuffer, format, amount);
  return Exchange(tag);
}

const char* LastReply() { return ReplyBuffer; }

uint16_t QueryCredit() { return Query("CGET\r\n", "CTEL"); }
uint16_t QueryBank() { return Query("BGET\r\n", "BTEL"); }
uint16_t ReadCredit() { return ZeroWhenOutOfRange(QueryCredit()); }
uint16_t ReadBank() { return ZeroWhenOutOfRange(QueryBank()); }

bool SpendCredit(int32_t amount) { return SendCommand("CUSE,%d\r\n", amount, "CTEL") == CommandResult::Done; }
bool AddBank(int32_t amount) { return SendCommand("BADD,%d\r\n", amount, "BTEL") == CommandResult::Done; }
bool AddCredit(int32_t amount) { return SendCommand("CADD,%d\r\n", amount, "CTEL") == CommandResult::Done; }

void SendTerm() {
  std::snprintf(RequestBuffer, sizeof RequestBuffer, "%s", "TERM\r\n");
  SendRequest();
}
