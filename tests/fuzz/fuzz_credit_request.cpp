// Any bytes as what a client sends the credit server: cut into lines at "\r\n" as the server
// reads them, each parsed and, when it is a request, carried out on a ledger. Whatever arrives,
// the balances stay within what the game can read, never go negative, and equal the journal.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "credit/ledger.h"
#include "credit/protocol.h"

using namespace credit;

namespace {
void CheckBalances(const Balances& b) {
  if (b.credit < 0 || b.bank < 0 || b.payoutDue < 0) std::abort();
  if (b.credit > kMaxReading || b.bank > kMaxReading) std::abort();
}

Movement MovementOf(Verb verb) {
  return verb == Verb::CreditUse ? Movement::Spend : verb == Verb::BankAdd ? Movement::AddBank : Movement::AddCredit;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ParseAmount(text);

  Ledger ledger;
  std::string error;
  if (!ledger.Open(":memory:", error)) std::abort();
  int64_t expectedTotal = 0;  // credit + bank + held for payout, from what was accepted
  bool operatorTurn = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) break;
    std::string_view line = text.substr(start, end - start);
    start = end + 2;

    Request r = ParseRequest(line);
    if (r.verb == Verb::Invalid) {
      if (r.reason.empty() || Refusal(r.reason).find("\r\n") != Refusal(r.reason).size() - 2) std::abort();
      continue;
    }
    if (line.size() > kMaxLineLength) std::abort();
    if (r.verb == Verb::Term) break;
    Balances b;
    if (r.verb == Verb::CreditGet || r.verb == Verb::BankGet) {
      if (!ledger.Read(b)) std::abort();
      CheckBalances(b);
      continue;
    }
    if (r.amount < 1 || r.amount > kMaxAmount) std::abort();
    Decision d = ledger.Apply(Source::Game, MovementOf(r.verb), r.amount);
    if (d.accepted) expectedTotal += r.verb == Verb::CreditUse ? -r.amount : r.amount;
    // Between the game's commands the operator inserts what the request asked for, or collects.
    operatorTurn = !operatorTurn;
    if (operatorTurn) {
      Decision o = ledger.Apply(Source::Operator, Movement::Insert, r.amount);
      if (o.accepted) expectedTotal += r.amount;
    } else if (r.amount % 7 == 0) {
      Balances before;
      Decision o = ledger.Apply(Source::Operator, Movement::Collect, 0, &before);
      if (!o.accepted) std::abort();
      expectedTotal -= before.bank + before.payoutDue;
    }
  }
  Balances b;
  if (!ledger.Read(b)) std::abort();
  CheckBalances(b);
  if (b.credit + b.bank + b.payoutDue != expectedTotal) std::abort();
  if (!ledger.Balanced(error)) std::abort();
  return 0;
}
