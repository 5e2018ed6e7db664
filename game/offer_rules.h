// The bank offer's arithmetic, text, meters and the choice of the next offer's pick.
// Nothing here draws or plays: the offer screen and the simulator call these directly.
#pragma once
#include <cstdint>

constexpr int kOfferTextSize = 10;
constexpr int32_t kMaxOffersCounted = 3;

extern int32_t lOffersMade;  // 0..3, zeroed by GameSetUp
extern float fOffer;
extern char OfferText[kOfferTextSize];
extern const float OfferDivisor[4];
extern const float OfferMultiplier[20];

// What the scan of the values still in play found, and the offer made from it.
struct OfferFigures {
  int32_t BiggestLeft;        // -1 when nothing is in play
  int32_t SecondBiggestLeft;  // -1 when fewer than two are in play
  int32_t AmountLeft;
  int32_t BoxesLeft;
  float offer;
};

// Step 3: average / divisor * multiplier in double from the single-precision tables,
// truncated. Indexes outside the tables take their nearest entry.
int32_t RawOffer(int32_t average, int32_t offersMade, int32_t boxesLeft);
// Steps 4 to 7: the floor of 10, the steps of 5 and 10, the cut to 80 % at or above the
// game's top value, the floor of 5.
float SteppedOffer(int32_t raw, int32_t prizeAvailable);

// The offer for a prize row with its in-play flags, `offersMade` offers already made and the
// game's top value. Pure: reads no game state.
OfferFigures ComputeOffer(const int32_t* row, const uint8_t* inPlay, int32_t offersMade,
                          int32_t prizeAvailable);

// The offer of the current game state: sets fOffer and traces the six figures.
float MakeOfferValue();

// "%dP" below 100 pence, else "£%2.2f" (pound sign byte 0xA3), cut to the 10-byte buffer.
void FormatOfferText(float offer, char* text, int size);
void FormatOfferText();  // fOffer into OfferText

// The meter numbers for a final offer v; OfferTakenMeter when it is taken.
int16_t OfferedValueMeter(int32_t v);
int16_t OfferTakenMeter(int32_t v);

// Meters for an offer put on screen (451 is counted when the screen starts, not here):
// 452 += v, 191 when v is above the top value, and the offered-value meter.
void CountOfferMeters(int32_t v);
void CountOfferTaken(int32_t v);
void CountOfferScreenStarted();

// After a Leave (or the time running out) at pick `pickNumber`: the new lOfferIt, 21 for none.
int32_t NextOfferPick(int32_t pickNumber);
void RescheduleOffer();  // lOfferIt = NextOfferPick(PickNumber)

// lOffersMade + 1, held at 3.
void CountOfferMade();
