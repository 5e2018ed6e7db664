#include "game/offer_rules.h"

#include <cstdio>

#include "game/state.h"
#include "machine/meters.h"
#include "shell/timers.h"

int32_t lOffersMade = 0;
float fOffer = 0.0f;
char OfferText[kOfferTextSize];

const float OfferDivisor[4] = {3.0f, 2.5f, 2.0f, 1.5f};
const float OfferMultiplier[20] = {1.5f,  1.5f,  1.5f, 1.45f, 1.4f, 1.35f, 1.3f,
                                   1.25f, 1.2f,  1.15f, 1.1f, 1.05f, 1.0f, 0.95f,
                                   0.9f,  0.85f, 0.85f, 0.85f, 0.85f, 0.0f};

namespace {
constexpr int16_t kMeterOffersShown = 451;
constexpr int16_t kMeterOfferedTotal = 452;
constexpr int16_t kMeterOfferAboveTop = 191;
constexpr int16_t kMeterOfferedOther = 190;
constexpr int16_t kMeterTakenOther = 297;

int32_t Whole(float f) { return static_cast<int32_t>(f); }

// Meter of a value in the 5..50 (step 5) or 60..1000 (step 10) ranges, else `other`.
int16_t ValueMeter(int32_t v, int16_t fiveBase, int16_t tenBase, int16_t other) {
  if (v >= 5 && v <= 50 && v % 5 == 0) return static_cast<int16_t>(fiveBase + (v / 5 - 1));
  if (v >= 60 && v <= 1000 && v % 10 == 0) return static_cast<int16_t>(tenBase + (v - 60) / 10);
  return other;
}
}  // namespace

OfferFigures ComputeOffer(const int32_t* row, const uint8_t* inPlay, int32_t offersMade,
                          int32_t prizeAvailable) {
  OfferFigures f{-1, -1, 0, 0, 0.0f};
  for (int32_t i = kBoxCount - 1; i >= 0; --i) {
    if (!inPlay[i]) continue;
    if (f.BiggestLeft < 0)
      f.BiggestLeft = i;
    else if (f.SecondBiggestLeft < 0)
      f.SecondBiggestLeft = i;
    f.AmountLeft += row[i];
    f.BoxesLeft += 1;
  }

  // Nothing in play would divide by zero, and all twenty would read past the multiplier
  // table; both fall back to its last entry's zero, so the floors decide the offer.
  int32_t average = f.BoxesLeft > 0 ? f.AmountLeft / f.BoxesLeft : 0;
  f.offer = SteppedOffer(RawOffer(average, offersMade, f.BoxesLeft), prizeAvailable);
  return f;
}

int32_t RawOffer(int32_t average, int32_t offersMade, int32_t boxesLeft) {
  int32_t divisorIndex = offersMade < 0 ? 0 : (offersMade > 3 ? 3 : offersMade);
  int32_t multiplierIndex = boxesLeft < 0 ? 0 : (boxesLeft > 19 ? 19 : boxesLeft);
  double exact = static_cast<double>(average) / static_cast<double>(OfferDivisor[divisorIndex]) *
                 static_cast<double>(OfferMultiplier[multiplierIndex]);
  return static_cast<int32_t>(exact);
}

float SteppedOffer(int32_t raw, int32_t prizeAvailable) {
  float offer = static_cast<float>(raw);
  if (offer < 10.0f) offer = 10.0f;
  if (Whole(offer) >= 100) {
    while (Whole(offer) % 10 != 0) offer -= 1;
  } else if (Whole(offer) >= 55) {
    while (Whole(offer) % 5 != 0) offer += 1;
  } else {
    while (Whole(offer) % 5 != 0) offer -= 1;
  }
  if (Whole(offer) >= prizeAvailable) {
    offer = offer * 0.8f;
    while (Whole(offer) % 5 != 0) offer -= 1;
  }
  if (offer < 5.0f) offer = 5.0f;
  return offer;
}

float MakeOfferValue() {
  OfferFigures f = ComputeOffer(PrizeRows[PrizeRow], ValueInPlay, lOffersMade,
                                lPrizeAvailableThisGame);
  fOffer = f.offer;
  DebugTrace("lPrizeAvailableThisGame = <%d>\n", lPrizeAvailableThisGame);
  DebugTrace("fOffer = %f\n", static_cast<double>(fOffer));
  DebugTrace("AmountLeft = %d\n", f.AmountLeft);
  DebugTrace("BoxesLeft = %d\n", f.BoxesLeft);
  DebugTrace("BiggestLeft = %d\n", f.BiggestLeft);
  DebugTrace("SecondBiggestLeft = %d\n", f.SecondBiggestLeft);
  return fOffer;
}

void FormatOfferText(float offer, char* text, int size) {
  if (offer < 100.0f)
    std::snprintf(text, static_cast<size_t>(size), "%dP", Whole(offer));
  else
    std::snprintf(text, static_cast<size_t>(size), "\xA3%2.2f", static_cast<double>(offer / 100));
}

void FormatOfferText() { FormatOfferText(fOffer, OfferText, kOfferTextSize); }

int16_t OfferedValueMeter(int32_t v) { return ValueMeter(v, 85, 95, kMeterOfferedOther); }

int16_t OfferTakenMeter(int32_t v) { return ValueMeter(v, 192, 202, kMeterTakenOther); }

void CountOfferScreenStarted() { MeterIncrement(kMeterOffersShown); }

void CountOfferMeters(int32_t v) {
  MeterAdd(kMeterOfferedTotal, static_cast<int16_t>(v));
  if (v > lPrizeAvailableThisGame) MeterIncrement(kMeterOfferAboveTop);
  MeterIncrement(OfferedValueMeter(v));
}

void CountOfferTaken(int32_t v) { MeterIncrement(OfferTakenMeter(v)); }

int32_t NextOfferPick(int32_t pickNumber) {
  if (kLastPick - pickNumber <= 1) return kNoFurtherOffer;
  int32_t next = kNoFurtherOffer;
  for (int32_t k = 2;; ++k) {
    if (PercentChance(30)) {
      next = pickNumber + k;
      break;
    }
    if (pickNumber + k + 1 >= 19) return kNoFurtherOffer;
  }
  return next >= 19 ? kNoFurtherOffer : next;
}

void RescheduleOffer() { lOfferIt = NextOfferPick(PickNumber); }

void CountOfferMade() {
  if (lOffersMade < kMaxOffersCounted) lOffersMade += 1;
}
