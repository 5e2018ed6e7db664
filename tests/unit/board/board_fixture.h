// A headless game screen for tests: the window and its queue, the display, and pictures
// written as small BMP files whose every frame is one solid colour that names the picture and
// the frame, so a pixel of the back buffer tells which frame of which picture lies there.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../../support/temp_dir.h"
#include "display/assets.h"
#include "display/display.h"
#include "display/images.h"
#include "display/surfaces.h"
#include "game/board.h"
#include "game/flow.h"
#include "game/state.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/options.h"
#include "platform/window.h"
#include "shell/shell.h"
#include "shell/timers.h"

// Frame f of picture id: red = f + 1, green = id, blue = 3 (never the transparent colour).
constexpr uint16_t Code(int id, int frame) {
  return static_cast<uint16_t>(((frame + 1) << 11) | (id << 5) | 3);
}
constexpr uint16_t kUntouched = 0x0841;

struct TestPicture {
  int id;
  int width;
  int frameHeight;
  int frames;
};

// Sizes close to the real pictures, so the places of the screen keep their meaning.
inline const std::vector<TestPicture>& BoardPictures() {
  static const std::vector<TestPicture> pictures = {
      {PicOptionBackground, 800, 600, 1}, {PicTestMain2, 800, 600, 1}, {PicBonusBoxes, 114, 111, 8},
      {PicTimer, 580, 16, 2},         {29, 570, 110, 1},            {30, 24, 30, 96},            {PicBar, 20, 16, 3},
      {PicWinPlan, 170, 26, 1},       {33, 114, 111, 20},           {34, 114, 111, 20},
      {35, 114, 111, 20},             {36, 114, 111, 20},           {37, 170, 30, 20},
      {38, 170, 30, 20},              {39, 170, 30, 20},            {40, 170, 30, 20},
      {PicWinPlanOverLayQMark, 30, 30, 20}, {PicBoxValues, 114, 111, 20}, {PicLives, 114, 115, 6},
      {PicSpeechBar, 560, 40, 6},     {PicFlipMode, 114, 111, 4},   {PicFlipModeGreen, 114, 115, 4},
      {PicFlipModeBlue, 114, 115, 4}, {PicOffers, 114, 115, 19},    {PicPrizeUpdate, 114, 115, 10},
  };
  return pictures;
}

inline void WriteCodedBmp(const TestPicture& p) {
  int height = p.frameHeight * p.frames;
  size_t stride = (static_cast<size_t>(p.width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> b(54 + stride * height, 0);
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, static_cast<uint32_t>(b.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<uint32_t>(p.width), 4);
  put(22, static_cast<uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int fileRow = 0; fileRow < height; ++fileRow) {
    int frame = (height - 1 - fileRow) / p.frameHeight;
    uint16_t c = Code(p.id, frame);
    for (int x = 0; x < p.width; ++x) {
      size_t at = 54 + fileRow * stride + x * 3;
      b[at] = static_cast<uint8_t>((c & 31) << 3);
      b[at + 1] = static_cast<uint8_t>(((c >> 5) & 63) << 2);
      b[at + 2] = static_cast<uint8_t>((c >> 11) << 3);
    }
  }
  std::string path = ResolvePath(AssetTable[p.id - 1].path);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline uint16_t BackPixel(int x, int y) {
  DDSURFACEDESC2 desc;
  if (!BackBuffer || BackBuffer->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return 0xDEAD;
  auto* row = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(desc.lpSurface) +
                                                static_cast<size_t>(y) * desc.lPitch);
  uint16_t v = row[x];
  BackBuffer->Unlock(nullptr);
  return v;
}

inline void FillBackBuffer(uint16_t colour) {
  DDBLTFX fx;
  fx.dwFillColor = colour;
  BackBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

// A game on the board: prize row 0, every box closed, every slot in play, one life.
inline void SetUpBoardState() {
  PrizeRow = 0;
  lPrizeAvailableThisGame = PrizeRows[0][19];
  lOfferIt = 7;
  lNoQuestionsActivate = 19;
  PickNumber = 1;
  Lives = 1;
  ExtraLivesLeft = FreePicksLeft = 0;
  NoQuestionsMode = FreePickPending = OfferThisPick = ContinueUsed = 0;
  CurrentBox = PreviousBox = PlayerBox = 0;
  BoardShown = 0;
  for (int i = 0; i < kBoxCount; ++i) {
    axBoxes[i] = BoxRecord{BoxPositions[i].x, BoxPositions[i].y, 0, 0, 0, 1};
    axWinplan[i] = WinPlanEntry{WinPlanPositions[i].x, WinPlanPositions[i].y, PrizeRows[0][i], 1};
    BoxOrder[i] = i;
    ValueInPlay[i] = 1;
  }
  NextValueIndex = 0;
  SetGamePhase(kPhasePlaying);
}

class BoardScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    Options = PlatformOptions{};
    Options.headless = true;
    UseVirtualClock(1000);
    ASSERT_TRUE(CreateMainWindow(MainWindowProc));
    FlushInput();
    ASSERT_TRUE(InitDisplay());
    PaceDeadline = 0;
    for (const TestPicture& p : BoardPictures()) {
      WriteCodedBmp(p);
      LoadSprite(Sprites[p.id], p.id, static_cast<int16_t>(p.frames));
    }
    ASSERT_NE(BackBuffer, nullptr) << "a test picture failed to load";
    FillBackBuffer(kUntouched);
    SetUpBoardState();
  }
  void TearDown() override {
    ReleaseImages();
    ReleaseDisplay();
    for (Sprite& s : Sprites) s = Sprite{};
    DestroyMainWindow();
    SetGamePhase(kPhaseNone);
  }
  static void Touch(int x, int y) { PostMessageForTest({WM_LBUTTONDOWN, 1, MakePositionWord(x, y)}); }

  TempWorkDir dir_;
};
