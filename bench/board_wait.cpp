// One pass of the board's wait: PollButtons on the box table, with the board screen's idle step
// (background, offers window, speech bar, win plan, board, lives window), the prize window's
// animation step and the presents. Headless, on the virtual clock, so the frame pacing costs only
// its clock reads and the figure is the pass's own work.
#include <benchmark/benchmark.h>

#include "display_bench_util.h"
#include "game/board.h"
#include "game/flow.h"
#include "game/state.h"
#include "platform/clock.h"
#include "platform/options.h"
#include "platform/window.h"
#include "questions/countdown.h"
#include "screens/buttons.h"
#include "shell/shell.h"

using namespace bench_display;

namespace {
struct Picture {
  int id, width, frameHeight, frames;
};
constexpr Picture kPictures[] = {
    {PicTestMain2, 800, 600, 1},   {PicBonusBoxes, 114, 111, 8},    {PicBar, 114, 8, 3},
    {PicWinPlan, 168, 22, 1},      {37, 168, 30, 20},               {38, 168, 30, 20},
    {39, 168, 30, 20},             {40, 168, 30, 20},               {PicWinPlanOverLayQMark, 168, 30, 20},
    {PicBoxValues, 114, 111, 20},  {PicLives, 114, 115, 6},         {PicSpeechBar, 564, 40, 6},
    {PicOffers, 114, 115, 19},     {PicPrizeUpdate, 114, 115, 10},  {PicTimer, 594, 16, 2},
};

struct BoardScreen {
  ScratchDir scratch;
  BoardScreen() {
    Options.headless = true;
    UseVirtualClock(0);
    CreateMainWindow(MainWindowProc);
    InitDisplay();
    for (const Picture& p : kPictures) {
      WriteAsset(p.id, Bmp(p.width, p.frameHeight * p.frames, p.id == PicTestMain2 ? Photo : Boxes));
      LoadSprite(Sprites[p.id], p.id, static_cast<int16_t>(p.frames));
    }
    PrizeRow = 0;
    PickNumber = 3;
    lOfferIt = 9;
    Lives = 2;
    BoardShown = 1;
    PlayerBox = 4;
    for (int i = 0; i < kBoxCount; ++i) {
      axBoxes[i] = BoxRecord{BoxPositions[i].x, BoxPositions[i].y, i == 7 ? kMarkQuestion : kMarkNone, 0, 0,
                             static_cast<uint8_t>(i % 6 != 0)};
      axWinplan[i] = WinPlanEntry{WinPlanPositions[i].x, WinPlanPositions[i].y, PrizeRows[0][i],
                                  static_cast<uint8_t>(i > 2)};
    }
    SetGamePhase(kPhasePlaying);
    StartCountdown(MainCountdown, 0x7FFFFFFF);
    RunCountdown(MainCountdown);
  }
  ~BoardScreen() {
    ReleaseImages();
    ReleaseDisplay();
    DestroyMainWindow();
  }
};

BoardScreen& TheBoard() {
  static BoardScreen screen;
  return screen;
}

void BM_BoardWaitPass(benchmark::State& state) {
  TheBoard();
  ArmButtons(BoxButtons);
  for (auto _ : state) {
    if (ButtonWait.lastResult != kWaitGoesOn) ArmButtons(BoxButtons);  // the 30 s ran out
    benchmark::DoNotOptimize(PollButtons(BoxButtons));
  }
}
BENCHMARK(BM_BoardWaitPass)->Unit(benchmark::kMicrosecond);

// The same pass's drawing without the presents and the pacing.
void BM_BoardIdleDrawing(benchmark::State& state) {
  TheBoard();
  for (auto _ : state) {
    BoardWaitIdle();
    IdleStep();
  }
}
BENCHMARK(BM_BoardIdleDrawing)->Unit(benchmark::kMicrosecond);
}  // namespace
