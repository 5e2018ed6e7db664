#include "credit/protocol.h"

namespace credit {

int64_t ParseAmount(std::string_view text) {
  // No leading zeros: the game never sends them, so "000100" is damage, not a hundred.
  if (text.empty() || text.size() > 6 || text[0] == '0') return -1;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= kMaxAmount ? value : -1;
}

Request ParseRequest(std::string_view line) {
  Request r;
  if (line.size() > kMaxLineLength) {
    r.reason = "line too long";
    return r;
  }
  if (line == "CGET") r.verb = Verb::CreditGet;
  if (line == "BGET") r.verb = Verb::BankGet;
  if (line == "TERM") r.verb = Verb::Term;
  if (r.verb != Verb::Invalid) return r;

  std::string_view command = line.substr(0, 5);
  Verb verb = command == "CUSE," ? Verb::CreditUse
              : command == "BADD," ? Verb::BankAdd
              : command == "CADD," ? Verb::CreditAdd
                                   : Verb::Invalid;
  if (verb == Verb::Invalid) {
    r.reason = "unknown command";
    return r;
  }
  int64_t amount = ParseAmount(line.substr(5));
  if (amount < 0) {
    r.reason = "bad amount";
    return r;
  }
  r.verb = verb;
  r.amount = amount;
  return r;
}

std::string Refusal(const std::string& reason) { return "FAIL," + reason + "\r\n"; }

}  // namespace credit
