#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "display/display.h"
#include "display/surfaces.h"
#include "platform/avifile.h"
#include "platform/clock.h"
#include "platform/options.h"
#include "unit/video/avi_bytes.h"
#include "video/clip.h"

namespace fs = std::filesystem;

namespace {
constexpr uint16_t kBackground = 0x1234;

// The display up on the virtual clock, in a fresh folder holding "Graphic_resource/avis".
class ClipPlayerTest : public testing::Test {
 protected:
  void SetUp() override {
    Options.headless = true;
    UseVirtualClock(20000);
    saved_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("quibblo-clip-" + std::to_string(std::random_device{}()) + "-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "Graphic_resource" / "avis");
    fs::current_path(dir_);
    ASSERT_TRUE(InitDisplay());
    DDBLTFX fx;
    fx.dwFillColor = kBackground;
    ASSERT_EQ(BackBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
  }
  void TearDown() override {
    EndClip();
    ReleaseDisplay();
    fs::current_path(saved_);
    fs::remove_all(dir_);
  }
  static void Write(const char* name, const std::vector<uint8_t>& bytes) {
    WriteBytes((fs::path("Graphic_resource") / "avis" / name).string(), bytes);
  }
  static uint16_t Pixel(int x, int y) {
    DDSURFACEDESC2 desc;
    if (BackBuffer->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return 0xDEAD;
    uint16_t v = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch)[x];
    BackBuffer->Unlock(nullptr);
    return v;
  }
  // Which frame the back buffer shows, read at a point inside a clip drawn at (x, y).
  static int FrameOnScreen(int x, int y) {
    uint16_t c = Pixel(x + 5, y + 5);
    for (int k = 0; k < 32; ++k)
      if (FrameColour565(k) == c) return k;
    return c == kBackground ? -1 : -2;
  }
  static void Advance(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) GetTickCount();
  }
  fs::path saved_, dir_;
};

TEST_F(ClipPlayerTest, RestartShowsFrameZeroAtItsPlace) {
  Write("Congrats.avi", MakeClip({32, 24, 6, false, true}));
  ASSERT_EQ(StartClip("Graphic_resource/avis/Congrats.avi", 30), 0);
  EXPECT_EQ(ShowClipFrame(-1, 100, 50), 0);
  EXPECT_EQ(ClipPosition, 0);
  EXPECT_EQ(ClipState(), 0);
  EXPECT_EQ(FrameOnScreen(100, 50), 0);
  EXPECT_EQ(Pixel(100, 50), kCornerColour565);
  EXPECT_EQ(Pixel(99, 50), kBackground);
  EXPECT_EQ(Pixel(132, 74), kBackground);
  EXPECT_EQ(Pixel(131, 73), FrameColour565(0));

  for (int i = 0; i < 3; ++i) {
    Advance(31);
    ShowClipFrame(1, 100, 50);
  }
  EXPECT_EQ(FrameOnScreen(100, 50), 3);
  ShowClipFrame(-1, 100, 50);
  EXPECT_EQ(ClipPosition, 0);
  EXPECT_EQ(FrameOnScreen(100, 50), 0) << "back to the first frame";
}

TEST_F(ClipPlayerTest, EmptyChunksHoldTheFrameBeforeAndTheClipKeepsItsLength) {
  Write("Congrats.avi", MakeClip({32, 24, 6, false, true}, {1, 2, 5}));
  StartClip("Graphic_resource/avis/Congrats.avi", 30);
  ShowClipFrame(-1, 0, 0);
  std::vector<int> shown{FrameOnScreen(0, 0)};
  while (ClipState() == 0 && shown.size() < 100) {
    Advance(31);
    ShowClipFrame(1, 0, 0);
    shown.push_back(FrameOnScreen(0, 0));
  }
  // Six samples, then the end noticed on the seventh call with the last picture left on view.
  EXPECT_EQ(shown, (std::vector<int>{0, 0, 0, 3, 4, 4, 4}));
}

TEST_F(ClipPlayerTest, AdvancesAtMostOncePerInterval) {
  Write("Congrats.avi", MakeClip({32, 24, 20, false, true}));
  StartClip("Graphic_resource/avis/Congrats.avi", 30);
  ShowClipFrame(-1, 0, 0);
  ShowClipFrame(1, 0, 0);
  EXPECT_EQ(ClipPosition, 0) << "the interval has not passed since the restart";
  Advance(30);
  ShowClipFrame(1, 0, 0);
  EXPECT_EQ(ClipPosition, 1);
  Advance(10);
  ShowClipFrame(1, 0, 0);
  EXPECT_EQ(ClipPosition, 1) << "10 ms later";
  EXPECT_EQ(FrameOnScreen(0, 0), 1);
  Advance(20);
  ShowClipFrame(1, 0, 0);
  EXPECT_EQ(ClipPosition, 2);
}

TEST_F(ClipPlayerTest, LastFrameStaysOnViewAfterTheEnd) {
  Write("Gameover.avi", MakeClip({32, 24, 4, false, true}));
  StartClip("Graphic_resource/avis/Gameover.avi", 30);
  ShowClipFrame(-1, 0, 0);
  int calls = 0;
  while (ClipState() == 0 && calls < 1000) {
    Advance(31);
    ShowClipFrame(1, 0, 0);
    ++calls;
  }
  EXPECT_EQ(ClipState(), 1);
  EXPECT_EQ(calls, 4) << "three advances to the last frame, one past it";
  EXPECT_EQ(FrameOnScreen(0, 0), 3);
  DDBLTFX fx;
  fx.dwFillColor = kBackground;
  BackBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
  Advance(100);
  ShowClipFrame(1, 0, 0);
  EXPECT_EQ(FrameOnScreen(0, 0), 3) << "drawn again, not advanced";
  EXPECT_EQ(ClipState(), 1);
  EndClip();
  EXPECT_EQ(ClipState(), 2);
  EXPECT_EQ(ClipCurrentFrame, nullptr);
  EXPECT_EQ(Clips.file, nullptr);
}

TEST_F(ClipPlayerTest, MissingClipEndsAtOnceAndDrawsNothing) {
  EXPECT_EQ(StartClip("Graphic_resource/avis/WellDone.avi", 30), -1);
  ShowClipFrame(-1, 0, 0);
  EXPECT_EQ(ClipState(), 1);
  EXPECT_EQ(Pixel(5, 5), kBackground);
  EndClip();
  EXPECT_EQ(ClipState(), 2);

  Write("OnlyWon.avi", std::vector<uint8_t>(2000, 0x5A));
  EXPECT_EQ(StartClip("Graphic_resource/avis/OnlyWon.avi", 30), -1) << "not a clip at all";
  ShowClipFrame(-1, 0, 0);
  EXPECT_EQ(ClipState(), 1);
}

// Without FFmpeg a clip is as good as missing: the game goes on without it.
TEST_F(ClipPlayerTest, WithoutTheLibrariesAClipEndsAtOnceLikeAMissingOne) {
  if (FfmpegLoaded()) GTEST_SKIP() << "FFmpeg was loaded by an earlier test in this process";
  Write("WellDone.avi", MakeClip({32, 24, 3, false, true}));
  fs::create_directories("empty");
  AVIFileUseLibraryDir((dir_ / "empty").c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(StartClip("Graphic_resource/avis/WellDone.avi", 30), -1);
  ShowClipFrame(-1, 0, 0);
  EXPECT_EQ(ClipState(), 1);
  EXPECT_EQ(Pixel(5, 5), kBackground);
  EndClip();
  EXPECT_EQ(StartClip("Graphic_resource/avis/WellDone.avi", 30), -1);
  std::string said = testing::internal::GetCapturedStderr();
  AVIFileUseLibraryDir(nullptr);
  EXPECT_NE(said.find("clips cannot be played"), std::string::npos) << said;
  EXPECT_EQ(said.find("clips cannot be played"), said.rfind("clips cannot be played")) << said;

  ASSERT_EQ(StartClip("Graphic_resource/avis/WellDone.avi", 30), 0) << "plays once the libraries are found";
}

TEST_F(ClipPlayerTest, ClipWithSoundTrackPlaysSilentlyToTheEnd) {
  Write("WellDone.avi", MakeClip({32, 24, 3, true, true}));
  ASSERT_EQ(StartClip("Graphic_resource/avis/WellDone.avi", 30), 0);
  EXPECT_EQ(Clips.audioCount, 1);
  EXPECT_EQ(Clips.videoCount, 1);
  ASSERT_NE(Clips.audioFormats[0], nullptr);
  EXPECT_EQ(reinterpret_cast<const AudioFormatRecord*>(Clips.audioFormats[0])->samplesPerSec, 8000u);
  ShowClipFrame(-1, 0, 0);
  std::vector<int> seen{FrameOnScreen(0, 0)};
  while (ClipState() == 0) {
    Advance(31);
    ShowClipFrame(1, 0, 0);
    seen.push_back(FrameOnScreen(0, 0));
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 2}));
}

TEST_F(ClipPlayerTest, TruncatedClipEndsOnItsLastWholeFrame) {
  std::vector<uint8_t> whole = MakeClip({64, 48, 10, true, true});
  Write("Gameover.avi", std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
  StartClip("Graphic_resource/avis/Gameover.avi", 30);
  ShowClipFrame(-1, 0, 0);
  int calls = 0;
  while (ClipState() == 0 && calls < 100) {
    Advance(31);
    ShowClipFrame(1, 0, 0);
    ++calls;
  }
  EXPECT_EQ(ClipState(), 1);
  int last = FrameOnScreen(0, 0);
  EXPECT_GE(last, 3);
  EXPECT_LT(last, 9);
}

TEST_F(ClipPlayerTest, FramesAreCutAtTheScreenEdges) {
  Write("Congrats.avi", MakeClip({32, 24, 2, false, true}));
  StartClip("Graphic_resource/avis/Congrats.avi", 30);
  ShowClipFrame(-1, 790, 590);
  EXPECT_EQ(Pixel(790, 590), kCornerColour565);
  EXPECT_EQ(Pixel(799, 599), FrameColour565(0));
  ShowClipFrame(-1, -10, -20);
  EXPECT_EQ(Pixel(0, 0), FrameColour565(0));
  EXPECT_EQ(Pixel(21, 3), FrameColour565(0));
  EXPECT_EQ(Pixel(22, 3), kBackground);
  ShowClipFrame(-1, 5000, -5000);  // wholly off the screen
  EXPECT_EQ(Pixel(400, 300), kBackground);
}
}  // namespace
