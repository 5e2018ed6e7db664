// Touch buttons: the fixed button tables, the hit test and the wait for a press that keeps its
// screen alive, watches its countdown and gives up after thirty seconds without a result.
#pragma once
#include <cstdint>

struct ButtonRow {
  const char* label;  // null ends a table
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

extern const ButtonRow MainMenuButtons[];
extern const ButtonRow TrueFalseButtons[];
extern const ButtonRow TakeLeaveButtons[];
extern const ButtonRow YesNoButtons[];
extern const ButtonRow BoxButtons[];

// Results other than a button number.
constexpr int32_t kWaitGoesOn = -1;
constexpr int32_t kInactivityResult = 0;
constexpr int32_t kOfferTimeUp = 3;      // Take/Leave and Yes/No: MainCountdown ran out
constexpr int32_t kQuestionTimeUp = 4;   // True/False: QuestionCountdown ran out
constexpr int32_t kBoxPickTimeUp = 21;   // the board: MainCountdown ran out
constexpr uint32_t kInactivityMs = 30000;

// The wait's program-wide state; one wait at a time.
struct WaitState {
  int32_t rows = 0;
  uint32_t inactivityDeadline = 0;
  int32_t lastResult = kWaitGoesOn;
  int32_t creditDrawn = -1;
  int32_t totalSeen = -1;
};
extern WaitState ButtonWait;

// Index of the last row containing (x, y) (left and top edges inside, right and bottom
// outside), -1 when none or when x is negative.
int32_t HitTest(const ButtonRow* table, int32_t x, int32_t y);

void ArmButtons(const ButtonRow* table);
int32_t PollButtons(const ButtonRow* table);
int32_t WaitForButton(const ButtonRow* table);
int32_t WaitMainMenu();
int32_t WaitTrueFalse();
int32_t WaitTakeLeave();
int32_t WaitBox();
int32_t WaitYesNo();

// The idle steps of the board, continue and bank offer waits.
void BoardWaitIdle();
void ContinueWaitIdle();
void OfferWaitIdle();
