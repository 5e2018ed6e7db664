#include "machine/credit_link.h"

#include <cstdio>
#include <cstring>

#include "machine/meters.h"
#include "platform/net.h"
#include "shell/shell.h"

namespace {
constexpr uint16_t kQueryFailed = 65535;
constexpr uint16_t kReadingLimit = 10000;
constexpr int kReplyRoom = 4095;

char RequestBuffer[64];
char ReplyBuffer[kReplyRoom + 1];
char ValueText[kReplyRoom + 1];

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

// One reply line, however the stream splits it. Anything after its line end is dropped.
bool ReceiveReply() {
  int filled = 0;
  while (filled < kReplyRoom) {
    int n = NetRecv(ServerSocket, ReplyBuffer + filled, kReplyRoom - filled);
    if (n <= 0) return false;
    char* end = static_cast<char*>(std::memchr(ReplyBuffer + filled, '\n', static_cast<size_t>(n)));
    filled += n;
    if (end) {
      end[1] = '\0';
      return true;
    }
  }
  return false;  // a line longer than any reply of the protocol
}

// Request already formatted: send it, read the reply, check the tag, keep the value text.
bool Exchange(const char* tag) {
  DiscardStaleBytes();
  if (!SendRequest() || !ReceiveReply()) return false;
  if (std::strncmp(ReplyBuffer, tag, 4) != 0) return false;
  const char* comma = std::strchr(ReplyBuffer, ',');
  if (!comma) return false;
  std::snprintf(ValueText, sizeof ValueText, "%s", comma + 1);
  return true;
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
  if (!Exchange(tag)) return kQueryFailed;
  return ValueAsNumber();
}

bool Command(const char* format, int32_t amount, const char* tag) {
  std::snprintf(RequestBuffer, sizeof RequestBuffer, format, amount);
  return Exchange(tag);
}

uint16_t ZeroWhenOutOfRange(uint16_t value) { return value >= kReadingLimit ? 0 : value; }
}  // namespace

uint16_t QueryCredit() { return Query("CGET\r\n", "CTEL"); }
uint16_t QueryBank() { return Query("BGET\r\n", "BTEL"); }
uint16_t ReadCredit() { return ZeroWhenOutOfRange(QueryCredit()); }
uint16_t ReadBank() { return ZeroWhenOutOfRange(QueryBank()); }

bool SpendCredit(int32_t amount) { return Command("CUSE,%d\r\n", amount, "CTEL"); }
bool AddBank(int32_t amount) { return Command("BADD,%d\r\n", amount, "BTEL"); }
bool AddCredit(int32_t amount) { return Command("CADD,%d\r\n", amount, "CTEL"); }

void SendTerm() {
  std::snprintf(RequestBuffer, sizeof RequestBuffer, "%s", "TERM\r\n");
  SendRequest();
}

void PayPrize(int16_t amount) {
  if (amount == 0) return;
  if (amount < 100) {
    AddCredit(amount);
  } else if (amount % 100 == 0) {
    AddBank(amount);
  } else {
    AddBank(amount / 100 * 100);
    AddCredit(amount % 100);
  }
}

bool PayForGame() {
  GamePrize = 0;
  if (!SpendCredit(Stake)) return false;
  RateAdd(0, -static_cast<float>(Stake * PayoutPercent) / 100.0f);
  MeterIncrement(0);
  uint16_t bank = QueryBank();
  if (bank < 500)
    MeterIncrement(422);
  else if (bank < 1000)
    MeterIncrement(423);
  else
    MeterIncrement(424);
  return true;
}
