#include "game/flow.h"

#include "display/assets.h"
#include "display/display.h"
#include "display/transitions.h"
#include "game/bank_offer.h"
#include "game/board.h"
#include "game/end_of_game.h"
#include "game/journal_events.h"
#include "game/payout.h"
#include "game/reveal.h"
#include "game/state.h"
#include "machine/meters.h"
#include "machine/money_due.h"
#include "questions/countdown.h"
#include "questions/question_round.h"
#include "screens/buttons.h"
#include "screens/continue_screen.h"
#include "shell/timers.h"
#include "sound/sound.h"

namespace {
constexpr uint8_t kMainTune = 8, kInGameTune = 9, kShowEndPrize = 14, kTileSpinNoise = 19;
constexpr int16_t kMeterTopPrizeWon = 412, kMeterPlayerBox = 428;
constexpr uint32_t kFadeMs = 800, kFlashMs = 250, kFlashFrameMs = 80;
constexpr int kSpeechPickBox = 0, kSpeechWelcome = 1, kSpeechYourBox = 3;

uint8_t gamePhase = kPhaseNone;

bool GameOver() {
  uint8_t phase = GetGamePhase();
  return phase == kPhaseNone || phase == kPhaseWon;
}

// A random box that may be picked now; the board always holds one while a pick is due.
int32_t RandomSelectableBox() {
  bool any = false;
  for (int32_t b = 0; b < kBoxCount && !any; ++b) any = BoxSelectable(b);
  if (!any) return CurrentBox;
  int32_t b;
  do b = static_cast<int32_t>(RandomBelow(kBoxCount));
  while (!BoxSelectable(b));
  return b;
}

// The board as it stands, with the win plan, on the back buffer.
void RedrawPlayArea() {
  RestoreBackground(kBoardCentreClip);
  DrawWinPlan();
  DrawBoard(kBackBuffer);
}

// The flip-mode flash: frames 1 and 2 in turn, one every flash frame, for the flash's length.
template <class DrawFrame>
void FlashFrames(DrawFrame draw) {
  StartTransition(kFlashMs);
  uint32_t deadline;
  StartDeadline(deadline, 0);
  bool flag = false;
  while (!TransitionDone()) {
    if (!DeadlinePassed(deadline)) continue;
    StartDeadline(deadline, kFlashFrameMs);
    flag = !flag;
    draw(flag ? 1 : 2);
    Present();
  }
}

// The player's box opened in the prize window: the top value of the row.
void OpenPlayerBoxInPrizeWindow() {
  PlaySoundOnce(kTileSpinNoise);
  FlashFrames([](int frame) {
    RestoreBackground(kPrizeWindowClip);
    DrawPicture(kBackBuffer, PicFlipMode, frame, kPrizeWindowX, kPrizeWindowY, &kPrizeWindowClip, kKeyed);
  });
  StopSound(kTileSpinNoise);
  RestoreBackground(kPrizeWindowClip);
  DrawPicture(kBackBuffer, PrizeBoxesPicture(), PrizeIndexOf(lPrizeAvailableThisGame), kPrizeWindowX,
              kPrizeWindowY, nullptr, kKeyed);
  Present();
  PlaySoundOnce(kShowEndPrize);
  WaitOrTouch(1000);
}

void WinAtLastPick() {
  MeterIncrement(kMeterTopPrizeWon);
  GamePrize = lPrizeAvailableThisGame;
  OwePrize(GamePrize);
  SetGamePhase(kPhaseWon);
  OpenPlayerBoxInPrizeWindow();
}

// Cross-fade from the screen as shown to the starting board.
void FadeInStartingBoard() {
  SaveToCanvas(1, 0, 0, 800, 600);
  CaptureCanvas(1, &kFullScreen);
  DrawPicture(0, PicTestMain2, 0, 0, 0, nullptr, kOpaque);
  DrawPicture(0, PicBonusBoxes, kBonusOpened, kPrizeWindowX, kPrizeWindowY, nullptr, kKeyed);
  DrawPicture(0, PicBonusBoxes, kBonusOffersStart, kOffersWindowX, kOffersWindowY, nullptr, kKeyed);
  DrawPicture(0, PicLives, 0, kLivesWindowX, kLivesWindowY, nullptr, kKeyed);
  DrawPicture(0, PicSpeechBar, kSpeechWelcome, kSpeechBarX, kSpeechBarY, nullptr, kKeyed);
  DrawBoard(0);
  CaptureCanvas(0, &kFullScreen);
  StartTransition(kFadeMs);
  while (!TransitionDone()) {
    BlendCanvas(static_cast<int32_t>(TransitionProgress(100)), &kFullScreen, kKeyed);
    Present();
  }
}

// The chosen box and the prize and offers windows flash together.
void FlashPlayerBox(int32_t box) {
  ClipBox boxClip = BoxClip(box);
  const BoxRecord& b = axBoxes[box];
  PlaySoundOnce(kTileSpinNoise);
  FlashFrames([&](int frame) {
    RestoreBackground(kPrizeWindowClip);
    RestoreBackground(boxClip);
    DrawPicture(kBackBuffer, PicFlipMode, frame, b.x, b.y, &boxClip, kKeyed);
    DrawPicture(kBackBuffer, PicFlipMode, frame, kPrizeWindowX, kPrizeWindowY, &kPrizeWindowClip, kKeyed);
    if (lOfferIt != kNoFurtherOffer)
      DrawPicture(kBackBuffer, PicFlipModeGreen, frame, kOffersWindowX, kOffersWindowY, &kOffersWindowClip, kKeyed);
  });
  RestoreBackground(kPrizeWindowClip);
  RestoreBackground(boxClip);
  RestoreBackground(kOffersWindowClip);
  Present();
  StopSound(kTileSpinNoise);
}
}  // namespace

uint8_t GetGamePhase() { return gamePhase; }
void SetGamePhase(uint8_t phase) { gamePhase = phase; }

int PlayGame() {
  ChooseGameTargets();
  RunGame();
  uint8_t phase = GetGamePhase();
  if (phase == kPhaseNone) {
    GamePrize = 0;
    ShowGameOver();
  } else if (phase == kPhaseWon) {
    ShowWin(GamePrize);
  }
  DrawPicture(kBackBuffer, PicOptionBackground, 0, 0, 0, nullptr, kOpaque);
  ClearGameTargets();
  return 0;
}

void RunGame() {
  GameSetUp();
  JournalSetUp();
  SetGamePhase(kPhasePlaying);
  StopSound(kMainTune);
  PlaySoundLoop(kInGameTune);
  ChoosePlayerBox();
  FlushInput();
  DrawWinPlan();
  DrawBoard(kBackBuffer);
  Present();
  SetGamePhase(kPhasePlaying);
  RunCountdown(MainCountdown);

  for (;;) {
    PlayTurn();
    if (GetGamePhase() == kPhaseNone) break;
    int32_t value = AllocateNextValue();
    BoxRecord& box = axBoxes[CurrentBox];
    box.cash = value;
    JournalPick(CurrentBox, value);
    DebugTrace("axBoxes[%d].cash = <%d>\n", CurrentBox, box.cash);
    RevealBox(value, CurrentBox);
    if (box.state != kMarkQuestion && box.state != kMarkFreePick) {
      box.closed = 0;
      box.state = kMarkNone;
    }
    OfferThisPick = 0;
    if (GameOver()) break;
    if (PickNumber == kLastPick) {
      WinAtLastPick();
      break;
    }
  }
  StopSound(kInGameTune);
  PlaySoundLoop(kMainTune);
}

bool PlayTurn() {
  FlushInput();
  RedrawPlayArea();
  Present();
  if (!NoQuestionsMode && !FreePickPending) {
    AskQuestion();
    if (GetGamePhase() == kPhaseAfterLostQuestion) {
      ChangeLives(0, false);
      DrawOffersWindow();
      Present();
      if (Lives == -1) SetGamePhase(ContinueUsed ? kPhaseNone : ContinueScreen());
    }
  }
  if (GameOver()) return true;
  RedrawPlayArea();
  DrawOffersWindow();
  Present();
  PickBox();
  return true;
}

int32_t PickBox() {
  FlushInput();
  StartCountdown(MainCountdown, kPickMs);
  RunCountdown(MainCountdown);
  for (;;) {
    int32_t picked = WaitBox();
    DrawWinPlan();
    DrawBoard(kBackBuffer);
    Present();
    if (picked == kBoxPickTimeUp) picked = RandomSelectableBox();
    if (picked < 0 || picked >= kBoxCount || !BoxSelectable(picked)) continue;
    BoxRecord& last = axBoxes[CurrentBox];
    if (last.state == kMarkFreePick) {
      last.closed = 0;
      last.state = kMarkNone;
      DrawPicture(kBackBuffer, PicBonusBoxes, kBonusOpened, last.x, last.y, nullptr, kKeyed);
      Present();
    }
    PreviousBox = CurrentBox;
    CurrentBox = picked;
    break;
  }
  DrawSpeechBar(kSpeechPickBox);
  return CurrentBox;
}

bool BoxSelectable(int32_t box) {
  if (box < 0 || box >= kBoxCount) return false;
  if (axBoxes[CurrentBox].state == kMarkFreePick && box == CurrentBox) return false;
  return axBoxes[box].closed != 0;
}

void ChoosePlayerBox() {
  FadeInStartingBoard();
  Present();
  DrawSpeechBar(kSpeechWelcome);
  Present();
  WaitOrTouch(1000);

  StartCountdown(MainCountdown, kPickMs);
  RunCountdown(MainCountdown);
  FlushInput();
  int32_t box = RandomSelectableBox();
  axBoxes[box].closed = 0;
  DrawSpeechBar(kSpeechPickBox);
  MeterIncrement(static_cast<int16_t>(kMeterPlayerBox + box));
  PlayerBox = box;
  CurrentBox = box;
  JournalPlayerBox(box);
  FlashPlayerBox(box);

  BoardShown = 1;
  DrawBoard(kBackBuffer);
  DrawOffersWindow();
  DrawSpeechBar(kSpeechYourBox);
  Present();
  WaitOrTouch(3000);
  ResetIdleAnimation();

  FlipBox(box);
  DrawPicture(kBackBuffer, PicBonusBoxes, kBonusQuestion, axBoxes[box].x, axBoxes[box].y, nullptr, kKeyed);
  Present();
  axBoxes[box].closed = 1;
  axBoxes[box].state = kMarkQuestion;
  WaitOrTouch(500);
}
