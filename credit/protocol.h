// The game's requests as the server reads them. Strict: anything the game would not send is
// refused, so a damaged or hostile line can never move money.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace credit {

constexpr size_t kMaxLineLength = 64;  // request text, line end excluded
constexpr int64_t kMaxAmount = 999999;
constexpr int64_t kMaxReading = 9999;  // the game reads 10000 and more as nothing

enum class Verb { CreditGet, BankGet, CreditUse, BankAdd, CreditAdd, Term, Invalid };

struct Request {
  Verb verb = Verb::Invalid;
  int64_t amount = 0;
  std::string reason;  // why an invalid request is refused
};

Request ParseRequest(std::string_view line);
// A whole positive decimal amount, digits only without leading zeros, at most kMaxAmount;
// -1 otherwise.
int64_t ParseAmount(std::string_view text);
std::string Refusal(const std::string& reason);  // "FAIL,<reason>\r\n"

}  // namespace credit
