// Drawing the game screen from the game state: the board, the win plan, the offers, prize
// and lives windows, the prize window's idle animation and every change of lives.
#pragma once
#include <cstdint>

#include "display/display.h"

// Pictures of the game screen, by asset id.
enum BoardPicture : int {
  PicOptionBackground = 4,
  PicTransparency = 3,
  PicTestMain2 = 17,
  PicBonusBoxes = 18,
  PicTimer = 19,
  PicBar = 28,
  PicWinPlan = 32,
  PicPrizeBoxes1 = 33,  // to PicPrizeBoxes1 + 3, by prize row
  PicWinPlanOverLay = 37,  // to PicWinPlanOverLay + 3, by prize row
  PicWinPlanOverLayQMark = 41,
  PicBoxValues = 42,
  PicLives = 43,
  PicSpeechBar = 44,
  PicFlipMode = 47,
  PicFlipModeGreen = 48,
  PicFlipModeBlue = 49,
  PicOffers = 50,
  PicPrizeUpdate = 52,
};

// BonusBoxes frames.
constexpr int kBonusOpened = 0, kBonusQuestion = 1, kBonusFreePick = 2, kBonusBankOffer = 3,
              kBonusExtraLife = 4, kBonusNoQuestions = 5, kBonusOffersStart = 6, kBonusNoOfferLeft = 7;

// Places on the screen.
constexpr int32_t kOffersWindowX = 20, kOffersWindowY = 485;
constexpr int32_t kPrizeWindowX = 248, kPrizeWindowY = 485;
constexpr int32_t kLivesWindowX = 476, kLivesWindowY = 485;
constexpr int32_t kSpeechBarX = 23, kSpeechBarY = 445;
constexpr ClipBox kOffersWindowClip{25, 139, 482, 600};
constexpr ClipBox kOffersWindowClearClip{18, 143, 481, 600};
constexpr ClipBox kPrizeWindowClip{248, 362, 482, 600};
constexpr ClipBox kLivesWindowClip{476, 590, 485, 600};
constexpr ClipBox kBoardClip{0, 610, 0, 445};
constexpr ClipBox kBoardCentreClip{208, 593, 172, 429};
constexpr ClipBox kWinPlanClip{620, 800, 0, 600};
constexpr int32_t kBoxWidth = 114, kBoxHeight = 111;
constexpr int32_t kSideBarRows[] = {47, 158, 269, 380};
constexpr int32_t kSideBarBottomRow = 531;
constexpr int32_t kLeftBarX = 16, kRightBarX = 590;
constexpr int kMostLives = 5;

// Draw target: the back buffer, or canvas 0 or 1.
constexpr int kBackBuffer = -1;

// The prize window's idle animation.
struct IdleAnimation {
  int32_t frame = 0;
  int32_t step = 1;
  int32_t count = 0;
  uint32_t frameDeadline = 0;
  uint32_t pauseDeadline = 0;
};
extern IdleAnimation PrizeWindowAnimation;

// One picture frame onto a target (-1 the back buffer, 0 or 1 a canvas).
void DrawPicture(int target, int picture, int frame, int32_t x, int32_t y, const ClipBox* clip, int keyed);
// TestMain2 inside a clip box of the back buffer, unkeyed: restores what lies under an area.
void RestoreBackground(const ClipBox& clip);
ClipBox BoxClip(int32_t box);
// The opened-box picture of the current prize row.
int PrizeBoxesPicture();
void DrawSpeechBar(int frame);

void DrawBoard(int target);
void DrawBoxes(int target);
void DrawWinPlan();
void DrawOffersWindow();
void ChangeLives(uint16_t count, bool gain);
void IdleStep();
void ResetIdleAnimation();
