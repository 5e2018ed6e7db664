#include "machine/money_due.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "machine/credit_link.h"
#include "machine/journal.h"
#include "machine/meters.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "shell/log.h"
#include "shell/shell.h"

MoneyDue Due;

namespace {
constexpr const char* kDueFile = "data\\morvane.due";
constexpr const char* kDueTempFile = "data\\morvane.dtmp";
constexpr int32_t kReadingLimit = 10000;
constexpr int32_t kHighestReading = 9999;
constexpr int kMeterPrizeTotal = 413;
constexpr int kMeterGamesPaid = 0;
constexpr uint32_t kServiceEveryMs = 1000;

bool dueWriteFailed = false;
bool prizeRegistered = false;  // this game's prize is in Due
bool prizeInMeters = false;    // and booked into the meters in memory
bool stakeInMeters = false;    // the stake in Due is booked in memory, its save failed
uint32_t nextService = 0;
bool refusalLogged = false;  // a refused payment is logged once, not at every retry

bool Empty(const MoneyDue& d) {
  return !d.game && d.stake == 0 && d.prize == 0 && d.bank.amount == 0 && d.credit.amount == 0 && !d.attendant;
}

bool WriteDue() {
  std::string why;
  bool ok;
  if (Empty(Due)) {
    ok = DeleteFileSafely(kDueFile);
    if (!ok) why = "cannot remove it";
  } else {
    std::string text = FormatDue(Due);
    ok = SaveFileSafely(kDueFile, kDueTempFile, text.data(), text.size(), why);
  }
  if (!ok && !dueWriteFailed) LogWrite("Due file not written (%s); no stakes are taken\n", why.c_str());
  if (ok && dueWriteFailed) LogWrite("Due file written again\n");
  dueWriteFailed = !ok;
  return ok;
}

// A reading, or -1 when the server cannot give one.
int32_t Reading(uint16_t raw) { return raw < kReadingLimit ? raw : -1; }

int32_t Total() {
  int32_t credit = Reading(QueryCredit());
  int32_t bank = credit < 0 ? -1 : Reading(QueryBank());
  return bank < 0 ? -1 : credit + bank;
}

void CallAttendant(const char* what) {
  if (!Due.attendant) LogWrite("Call attendant: %s; settle it by the ledger, then remove data/morvane.due\n", what);
  Due.attendant = true;
  WriteDue();
}

// The stake in the due file was sent; did the server take it? Unknown also when it cannot be read.
Outcome JudgeStake() {
  int32_t now = Total();
  if (now < 0) return Outcome::Unknown;
  Outcome o = JudgeSpend(Due.stakeCredit + Due.stakeBank, Due.stake, now);
  if (o == Outcome::Unknown) CallAttendant("a stake's reply was lost and the balance moved since");
  return o;
}

// Counts a stake the server took into the meters, as the game or the continue it paid for does.
void BookStake() {
  RateAdd(0, -static_cast<float>(Due.stake * PayoutPercent) / 100.0f);
  MeterIncrement(static_cast<int16_t>(Due.stakeMeter));
  if (Due.stakeMeter == kMeterGamesPaid)
    MeterIncrement(Due.stakeBank < 500 ? 422 : Due.stakeBank < 1000 ? 423 : 424);
}

// A stake left over from an outage or an earlier run. One the server took for a game that was
// then interrupted is booked; one whose fate was unknown, if taken, is handed back to the credit.
bool ResolveStaleStake() {
  if (Due.stake == 0) return true;
  if (stakeInMeters) {
    if (RecordSaveFailed()) return false;
    stakeInMeters = false;
    Due.stake = 0;
    WriteDue();
    return true;
  }
  if (Meters[Due.stakeMeter] != Due.stakeMeterBefore) {
    Due.stake = 0;  // in the saved record already
    WriteDue();
    return true;
  }
  if (Due.stakeTaken) {
    LogWrite("Booking the stake of %d of an interrupted game\n", Due.stake);
    BookStake();
    if (!SaveRecord()) return false;
    Due.stake = 0;
    WriteDue();
    return true;
  }
  if (Due.attendant) return false;
  Outcome o = JudgeStake();
  if (o == Outcome::Unknown) return false;
  if (o == Outcome::Applied) {
    if (Due.credit.sent) return false;  // judged first
    LogWrite("A stake of %d was taken with its reply lost and no game played: handed back\n", Due.stake);
    Due.credit.amount += Due.stake;
  } else {
    LogWrite("A stake of %d whose reply was lost was not taken\n", Due.stake);
  }
  Due.stake = 0;
  WriteDue();
  return true;
}

struct PartCommand {
  OwedPart& part;
  const char* format;
  const char* tag;
  const char* name;
  uint16_t (*query)();
};

// Pays one part; true when it is paid.
bool SettlePart(const PartCommand& c, bool& reconnected) {
  OwedPart& part = c.part;
  while (part.amount > 0) {
    if (part.sent) {
      int32_t now = Reading(c.query());
      if (now < 0) {
        if (reconnected || !ReconnectCreditServer()) return false;
        reconnected = true;
        continue;
      }
      Outcome o = JudgeAdd(part.before, part.amount, now);
      if (o == Outcome::Unknown) {
        char what[96];
        std::snprintf(what, sizeof what, "%s of %d sent, reply lost, %s now %d (was %d)", c.name, part.amount,
                      c.name, now, part.before);
        CallAttendant(what);
        return false;
      }
      if (o == Outcome::Applied) {
        LogWrite("Paid %d to the %s (its reply had been lost)\n", part.amount, c.name);
        part = {};
        WriteDue();
        return true;
      }
      part.sent = false;
    }
    int32_t before = Reading(c.query());
    if (before < 0) return false;
    part.before = before;
    part.sent = true;
    if (!WriteDue()) {
      part.sent = false;
      return false;  // what cannot be remembered is not sent
    }
    char format[16];
    std::snprintf(format, sizeof format, "%s,%%d\r\n", c.format);
    CommandResult r = SendCommand(format, part.amount, c.tag);
    if (r == CommandResult::Done) {
      LogWrite("Paid %d to the %s\n", part.amount, c.name);
      refusalLogged = false;
      part = {};
      WriteDue();
      return true;
    }
    if (r == CommandResult::Refused) {
      if (!refusalLogged)
        LogWrite("%s,%d refused (%.*s); %d stays owed\n", c.format, part.amount,
                 static_cast<int>(std::strcspn(LastReply(), "\r\n")), LastReply(), part.amount);
      refusalLogged = true;
      part.sent = false;
      WriteDue();
      return false;
    }
    // Lost: judged from the reading once the link is back.
  }
  return true;
}

int32_t Owed() { return Due.bank.amount + Due.credit.amount; }
}  // namespace

std::string FormatDue(const MoneyDue& d) {
  std::ostringstream out;
  if (d.game) out << "game\n";
  if (d.stake)
    out << "stake " << d.stake << ' ' << d.stakeMeter << ' ' << d.stakeCredit << ' ' << d.stakeBank << ' '
        << d.stakeMeterBefore << ' ' << d.stakeTaken << '\n';
  if (d.prize) out << "prize " << d.prize << ' ' << d.prizeTotalBefore << '\n';
  if (d.bank.amount) out << "bank " << d.bank.amount << ' ' << d.bank.before << ' ' << d.bank.sent << '\n';
  if (d.credit.amount) out << "credit " << d.credit.amount << ' ' << d.credit.before << ' ' << d.credit.sent << '\n';
  if (d.attendant) out << "attendant\n";
  return out.str();
}

bool ParseDue(const std::string& text, MoneyDue& d) {
  d = {};
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key;
    if (!(words >> key)) continue;
    bool ok = true;
    if (key == "game") {
      d.game = true;
    } else if (key == "stake") {
      ok = static_cast<bool>(words >> d.stake >> d.stakeMeter >> d.stakeCredit >> d.stakeBank >> d.stakeMeterBefore >> d.stakeTaken) &&
           d.stakeMeter >= 0 && d.stakeMeter < kMeterCount;
    } else if (key == "prize") {
      ok = static_cast<bool>(words >> d.prize >> d.prizeTotalBefore);
    } else if (key == "bank" || key == "credit") {
      OwedPart& p = key == "bank" ? d.bank : d.credit;
      ok = static_cast<bool>(words >> p.amount >> p.before >> p.sent) && p.amount >= 0;
    } else if (key == "attendant") {
      d.attendant = true;
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

bool ReadDueFile(MoneyDue& due) {
  std::string text, why;
  due = {};
  if (!ReadFileSafely(kDueFile, text, why)) return why.empty();
  return ParseDue(text, due);
}

Outcome JudgeAdd(int32_t before, int32_t amount, int32_t now) {
  int32_t applied = before + amount > kHighestReading ? kHighestReading : before + amount;
  if (applied == before) return Outcome::Unknown;
  if (now == applied) return Outcome::Applied;
  if (now == before) return Outcome::NotApplied;
  return Outcome::Unknown;
}

Outcome JudgeSpend(int32_t totalBefore, int32_t amount, int32_t totalNow) {
  if (totalNow == totalBefore - amount) return Outcome::Applied;
  if (totalNow == totalBefore) return Outcome::NotApplied;
  return Outcome::Unknown;
}

void RecoverDue() {
  prizeRegistered = prizeInMeters = stakeInMeters = false;
  if (!ReadDueFile(Due)) {
    CallAttendant("the due file is damaged");
    return;
  }
  if (Empty(Due)) return;
  if (Due.game) {
    LogWrite("The game of the last run was interrupted; its stake is in the meters\n");
    Due.game = false;
  }
  if (Due.prize) {
    if (Meters[kMeterPrizeTotal] == Due.prizeTotalBefore) {
      LogWrite("Booking the prize of %d the last run won\n", Due.prize);
      int32_t held = GamePrize;
      GamePrize = Due.prize;
      RecordPrize();
      GamePrize = held;
      if (SaveRecord()) Due.prize = 0;
      else prizeInMeters = true;
    } else {
      Due.prize = 0;
    }
  }
  WriteDue();
  ResolveStaleStake();
  if (Owed()) {
    LogWrite("The last run owes %d to the player; paying it\n", Owed());
    SettleOwed();
  }
}

bool TakeStake(int32_t amount, int meter) {
  bool forContinue = meter != kMeterGamesPaid;
  if (MachineService() != Service::Open) {
    JournalStake(amount, forContinue, false);
    return false;
  }
  int32_t credit = Reading(QueryCredit());
  int32_t bank = credit < 0 ? -1 : Reading(QueryBank());
  if (bank < 0) {
    JournalStake(amount, forContinue, false);
    return false;
  }
  Due.stake = amount;
  Due.stakeMeter = meter;
  Due.stakeCredit = credit;
  Due.stakeBank = bank;
  Due.stakeMeterBefore = Meters[meter];
  Due.stakeTaken = false;
  if (!WriteDue()) {
    Due.stake = 0;
    JournalStake(amount, forContinue, false);
    return false;
  }
  CommandResult r = SendCommand("CUSE,%d\r\n", amount, "CTEL");
  Outcome o = r == CommandResult::Done ? Outcome::Applied : Outcome::NotApplied;
  if (r == CommandResult::Lost) {
    o = ReconnectCreditServer() ? JudgeStake() : Outcome::Unknown;
    if (o == Outcome::Applied) LogWrite("A stake of %d was taken although its reply was lost\n", amount);
  }
  if (o == Outcome::Applied) {
    Due.stake = amount;
    Due.stakeTaken = true;
    WriteDue();
    JournalStake(amount, forContinue, true);
    return true;
  }
  JournalStake(amount, forContinue, false);
  if (o == Outcome::Unknown) {
    // Judged once the server can be read again; no game starts on it.
    LogWrite("A stake of %d was sent and its reply lost\n", amount);
    return false;
  }
  Due.stake = 0;
  WriteDue();
  return false;
}

void StakeBooked() {
  if (Due.stakeMeter == kMeterGamesPaid) Due.game = true;
  stakeInMeters = !SaveRecord();
  if (!stakeInMeters) Due.stake = 0;
  WriteDue();
}

void OwePrize(int32_t amount) {
  if (amount <= 0) return;
  prizeRegistered = true;
  prizeInMeters = false;
  Due.prize = amount;
  Due.prizeTotalBefore = Meters[kMeterPrizeTotal];
  if (amount >= 100) Due.bank.amount += amount / 100 * 100;
  if (amount % 100) Due.credit.amount += amount % 100;
  WriteDue();
  JournalPrize(amount);
}

bool SettleOwed() {
  if (Due.attendant) return false;
  bool reconnected = false;
  bool bank = SettlePart({Due.bank, "BADD", "BTEL", "bank", QueryBank}, reconnected);
  bool credit = SettlePart({Due.credit, "CADD", "CTEL", "credit", QueryCredit}, reconnected);
  if (bank && credit && !JournalGame()) JournalOwedPaid();
  return bank && credit;
}

void GameBooked() {
  prizeRegistered = false;
  Due.game = false;
  if (RecordSaveFailed()) prizeInMeters = Due.prize != 0;
  else Due.prize = 0;
  WriteDue();
}

Service MachineService(int32_t* owed) {
  if (owed) *owed = Owed();
  if (Owed() > 0 || Due.attendant) return Service::CallAttendant;
  if (!CreditLinkUp() || RecordSaveFailed() || dueWriteFailed || Due.stake) return Service::OutOfService;
  return Service::Open;
}

void ServiceStep() {
  if (MachineService() == Service::Open) return;
  if (static_cast<int32_t>(ClockPeek() - nextService) < 0) return;
  nextService = ClockPeek() + kServiceEveryMs;
  if (RecordSaveFailed() && SaveRecord()) {
    if (prizeInMeters) Due.prize = 0;
    if (stakeInMeters) Due.stake = 0;
    prizeInMeters = stakeInMeters = false;
    WriteDue();
  }
  if (dueWriteFailed) WriteDue();
  if (CreditLinkUp() && ResolveStaleStake() && Owed()) SettleOwed();
}

void PayPrize(int16_t amount) {
  if (amount <= 0) return;
  if (!prizeRegistered) OwePrize(amount);
  prizeRegistered = false;
  SettleOwed();
}

bool PayForGame() {
  GamePrize = 0;
  prizeRegistered = false;
  if (!TakeStake(Stake, kMeterGamesPaid)) return false;
  RateAdd(0, -static_cast<float>(Stake * PayoutPercent) / 100.0f);
  MeterIncrement(kMeterGamesPaid);
  uint16_t bank = QueryBank();
  if (bank < 500)
    MeterIncrement(422);
  else if (bank < 1000)
    MeterIncrement(423);
  else
    MeterIncrement(424);
  StakeBooked();
  return true;
}
