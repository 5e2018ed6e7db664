// What the player sees when a game ends: the prize counted into the bank and credit and paid,
// or the game-over clip.
#pragma once
#include <cstdint>

void ShowWin(int32_t amount);
void ShowGameOver();

// The counting of a prize into the displays, step by step (for the presentation and its tests).
struct WinCountStep {
  int32_t shown;     // the working value after the step
  int32_t toBank;    // the step added to the bank display (0 or 10)
  int32_t toCredit;  // the step added to the credit display (0 or 5)
};
// The step that follows a working value (no step, both 0, once the value is 0 or less).
WinCountStep NextWinStep(int32_t amount, float working);
// Fills up to `capacity` steps and returns how many the prize counts.
int WinCountSteps(int32_t amount, WinCountStep* steps, int capacity);

// Where the amount text stands for a shown value of a prize: its box's x and y.
struct WinTextPlace {
  int32_t x, y, width, height;
};
WinTextPlace WinAmountPlace(int32_t amount, int32_t shown);
