// The state of one game and its set-up: the prize row, the boxes, the win plan, the picks,
// the lives and the bonuses still to be found. One instance, program-wide.
#pragma once
#include <cstdint>

constexpr int kBoxCount = 20;
constexpr int kPrizeRowCount = 4;
constexpr int32_t kNoFurtherOffer = 21;
constexpr int32_t kLastPick = 20;

// Box markers (axBoxes[i].state).
constexpr int32_t kMarkNone = 0, kMarkQuestion = 1, kMarkFreePick = 2, kMarkBankOffer = 3,
                  kMarkExtraLife = 4, kMarkNoQuestions = 5;

struct BoxRecord {
  int32_t x;
  int32_t y;
  int32_t state;
  int32_t prizeFrame;  // set at reveal; set-up leaves it alone
  int32_t cash;
  uint8_t closed;
};

struct WinPlanEntry {
  int32_t x;
  int32_t y;
  int32_t cash;
  uint8_t inPlay;
};

struct ScreenPosition {
  int32_t x;
  int32_t y;
};

extern const int32_t PrizeRows[kPrizeRowCount][kBoxCount];
extern const ScreenPosition BoxPositions[kBoxCount];
extern const ScreenPosition WinPlanPositions[kBoxCount];
extern const uint8_t ExtraLivesByLevel[5];
extern const uint8_t FreePicksByLevel[5];

extern BoxRecord axBoxes[kBoxCount];
extern WinPlanEntry axWinplan[kBoxCount];
extern int32_t BoxOrder[kBoxCount];
extern int32_t PrizeRow;
extern int32_t lPrizeAvailableThisGame;
extern int32_t lOfferIt;
extern int32_t lNoQuestionsActivate;
extern uint8_t ValueInPlay[kBoxCount];
extern int32_t NextValueIndex;
extern int32_t PickNumber;
extern int32_t Lives;
extern uint8_t ExtraLivesLeft;
extern uint8_t FreePicksLeft;
extern uint8_t NoQuestionsMode;
extern uint8_t FreePickPending;
extern uint8_t OfferThisPick;
extern uint8_t ContinueUsed;
extern int32_t CurrentBox;
extern int32_t PreviousBox;
extern int32_t PlayerBox;
extern uint8_t BoardShown;

// Sets up the state of a new game from GameTargets (choose them first), in the set-up's
// order of steps and random draws, with its meters. What follows in a cabinet game -- the
// game phase 1, the tunes, the player's box choice, the first drawing of the board and
// MainCountdown -- belongs to the game flow, which runs it right after this.
void GameSetUp();

// The value the box being opened reveals: the next-smallest of the row, never the top.
int32_t AllocateNextValue();

void ShuffleOrder(int32_t* order, int32_t count);

// First index of the current prize row with a value >= `value`, 20 if none.
int32_t PrizeIndexOf(int32_t value);
// First win plan slot showing `value`, 20 if none.
int32_t WinPlanIndexOf(int32_t value);
// 19 - (index of `value` in the current prize row), -1 when the row does not hold it.
int32_t WinPlanFrameOf(int32_t value);
