#include "game/model_game.h"

#include "game/flow.h"
#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/reveal_rules.h"
#include "game/state.h"
#include "machine/meters.h"
#include "questions/question_files.h"
#include "shell/shell.h"
#include "shell/timers.h"

namespace {
constexpr int16_t kMeterGamesPaid = 0;
constexpr int16_t kMeterBandBase = 1;
constexpr int16_t kMeterQuestionsAsked = 300, kMeterWrongAnswers = 301;
constexpr int16_t kMeterContinueOffered = 448, kMeterContinueBought = 449;
constexpr int16_t kMeterNoQuestionsBonus = 450, kMeterLastPickWon = 412;
constexpr int16_t kMeterPlayerBoxBase = 428;

void PayStake(ModelGameResult& r) {
  RateAdd(0, -static_cast<float>(Stake * PayoutPercent) / 100.0f);
  r.stakes += Stake;
}

// The question round: a right answer keeps the phase at 1, a wrong one takes a life, and
// the last life lost brings the continue offer (once a game).
uint8_t AskModelQuestion(ModelPlayer& player, ModelGameResult& r) {
  r.questions += 1;
  MeterIncrement(kMeterQuestionsAsked);
  if (player.Uniform() < player.AccuracyFor(CurrentQuestionCategory())) return kPhasePlaying;
  MeterIncrement(kMeterWrongAnswers);
  r.wrong += 1;
  Lives = Lives - 1 < -1 ? -1 : Lives - 1;
  if (Lives != -1) return kPhaseAfterLostQuestion;
  if (ContinueUsed) return kPhaseNone;
  MeterIncrement(kMeterContinueOffered);
  if (!player.buysContinue) return kPhaseNone;
  ContinueUsed = 1;
  Lives = 0;
  MeterIncrement(kMeterContinueBought);
  PayStake(r);
  r.continued = true;
  return kPhasePlaying;
}

bool TakesOffer(const ModelPlayer& player, const OfferFigures& f, int32_t offersMade) {
  switch (player.offers) {
    case OfferPolicy::TakeFirst: return offersMade == 0;
    case OfferPolicy::TakeIfAboveMean:
      return f.BoxesLeft > 0 &&
             static_cast<double>(f.offer) * f.BoxesLeft > static_cast<double>(f.AmountLeft);
    case OfferPolicy::Leave: break;
  }
  return false;
}

uint8_t ModelBankOffer(ModelPlayer& player, ModelGameResult& r) {
  CountOfferScreenStarted();
  OfferFigures f = ComputeOffer(PrizeRows[PrizeRow], ValueInPlay, lOffersMade,
                                lPrizeAvailableThisGame);
  fOffer = f.offer;
  int32_t v = static_cast<int32_t>(fOffer);
  CountOfferMeters(v);
  r.offersMade += 1;
  uint8_t result = kPhasePlaying;
  if (TakesOffer(player, f, lOffersMade)) {
    result = kPhaseWon;
    GamePrize = v;
    r.offersTaken += 1;
  } else {
    RescheduleOffer();
  }
  CountOfferMade();
  if (result == kPhaseWon) CountOfferTaken(v);
  return result;
}

// The rules of one reveal, in the reveal's order of draws.
uint8_t ModelReveal(int32_t value, int32_t box, uint8_t phase, ModelPlayer& player,
                    ModelGameResult& r) {
  FreePickPending = 0;
  int32_t slot = KnockOutValue(value, box);
  KnockOutSlot(slot);
  if (NoQuestionsBonusDue()) {
    NoQuestionsMode = 1;
    axBoxes[box].state = kMarkNoQuestions;
    MeterIncrement(kMeterNoQuestionsBonus);
  }
  if (BankOfferDue()) {
    axBoxes[box].state = kMarkBankOffer;
    phase = ModelBankOffer(player, r);
    OfferThisPick = 1;
  } else if (NoQuestionsMode == 0) {
    if (ExtraLifeFound()) {
      Lives = Lives + 1 > 5 ? 5 : Lives + 1;
      ExtraLivesLeft -= 1;
      axBoxes[box].state = kMarkExtraLife;
    } else if (FreePickFound()) {
      FreePicksLeft -= 1;
      FreePickPending = 1;
      axBoxes[box].state = kMarkFreePick;
    }
  }
  if (QuestionBoxDue(phase)) axBoxes[box].state = kMarkQuestion;
  return phase;
}

// Boxes below this one are all open: a box once opened stays open until the next set-up.
int32_t openBelow = 0;

// Any box still on the board: which one is opened does not change what it reveals.
int32_t ModelPick() {
  while (openBelow < kBoxCount && !axBoxes[openBelow].closed) ++openBelow;
  for (int32_t b = openBelow; b < kBoxCount; ++b)
    if (axBoxes[b].closed && !(b == CurrentBox && axBoxes[b].state == kMarkFreePick)) return b;
  return CurrentBox;
}
}  // namespace

double ModelPlayer::AccuracyFor(int32_t category) const {
  if (!byCategory || category < 1 || category > kQuestionCategories) return accuracy;
  return categoryAccuracy[category - 1];
}

void ModelPlayer::Seed(uint64_t seed) { state = seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull; }

double ModelPlayer::Uniform() {
  // splitmix64
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

ModelGameResult PlayModelGame(ModelPlayer& player) {
  ModelGameResult r{};
  PayStake(r);
  MeterIncrement(kMeterGamesPaid);
  r.band = PayoutBand();
  MeterIncrement(static_cast<int16_t>(kMeterBandBase + r.band));
  GamePrize = 0;

  ChooseGameTargets();
  GameSetUp();
  openBelow = 0;
  r.row = PrizeRow;
  uint8_t phase = kPhasePlaying;

  // The machine chooses the player's box; it stands again with the question marker.
  int32_t playerBox = static_cast<int32_t>(RandomBelow(kBoxCount));
  MeterIncrement(static_cast<int16_t>(kMeterPlayerBoxBase + playerBox));
  PlayerBox = CurrentBox = PreviousBox = playerBox;
  axBoxes[playerBox].state = kMarkQuestion;

  for (;;) {
    if (NoQuestionsMode == 0 && FreePickPending == 0) {
      axBoxes[CurrentBox].closed = 0;
      axBoxes[CurrentBox].state = kMarkNone;
      phase = AskModelQuestion(player, r);
    }
    if (phase == kPhaseNone) break;

    int32_t box = ModelPick();
    if (axBoxes[CurrentBox].state == kMarkFreePick) {
      axBoxes[CurrentBox].closed = 0;
      axBoxes[CurrentBox].state = kMarkNone;
    }
    PreviousBox = CurrentBox;
    CurrentBox = box;

    int32_t value = AllocateNextValue();
    axBoxes[box].cash = value;
    phase = ModelReveal(value, box, phase, player, r);
    r.picks += 1;
    if (axBoxes[box].state != kMarkQuestion && axBoxes[box].state != kMarkFreePick) {
      axBoxes[box].closed = 0;
      axBoxes[box].state = kMarkNone;
    }
    OfferThisPick = 0;
    if (phase == kPhaseNone || phase == kPhaseWon) break;
    if (PickNumber == kLastPick) {
      MeterIncrement(kMeterLastPickWon);
      GamePrize = lPrizeAvailableThisGame;
      phase = kPhaseWon;
      break;
    }
  }

  if (phase != kPhaseWon) GamePrize = 0;
  r.won = phase == kPhaseWon;
  r.prize = GamePrize;
  ClearGameTargets();
  RecordPrize();
  r.balanceAfter = PayoutBalance;
  return r;
}
