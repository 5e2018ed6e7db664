#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/avifile.h"
#include "unit/video/avi_bytes.h"

namespace fs = std::filesystem;

namespace {
class AviFileTest : public testing::Test {
 protected:
  void SetUp() override {
    AVIFileInit();
    dir_ = fs::temp_directory_path() / ("quibblo-avi-" + std::to_string(std::random_device{}()) + "-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (reader_) AVIStreamGetFrameClose(reader_);
    AVIStreamRelease(video_);
    AVIFileRelease(file_);
    fs::remove_all(dir_);
    AVIFileUseLibraryDir(nullptr);
    AVIFileExit();
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = (dir_ / name).string();
    WriteBytes(path, bytes);
    return path;
  }
  // Opens the clip and a frame reader on its first video stream.
  void Open(const std::string& path) {
    ASSERT_EQ(AVIFileOpen(&file_, path.c_str()), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file_, &video_, streamtypeVIDEO, 0), AVIERR_OK);
    reader_ = AVIStreamGetFrameOpen(video_);
    ASSERT_NE(reader_, nullptr);
  }
  static uint16_t Pixel(const DibHeader* h, int x, int y) {
    const uint8_t* row = DibBits(h) + static_cast<size_t>(y) * DibStride(h);
    return static_cast<uint16_t>(row[x * 2] | row[x * 2 + 1] << 8);
  }
  // The frame's number as its colour says, checking it is upright.
  static int FrameShown(const DibHeader* h) {
    if (!h) return -1;
    EXPECT_EQ(Pixel(h, 0, 0), kCornerColour565) << "top-left corner at the top";
    uint16_t c = Pixel(h, h->width - 1, -h->height - 1);
    for (int k = 0; k < 32; ++k)
      if (FrameColour565(k) == c) return k;
    return -2;
  }
  fs::path dir_;
  AviFile* file_ = nullptr;
  AviStream* video_ = nullptr;
  AviFrameReader* reader_ = nullptr;
};

TEST_F(AviFileTest, FramesComeOutAsTopDown565PicturesUntilTheEnd) {
  Open(Write("five.avi", MakeClip({32, 24, 5, false, true})));
  const DibHeader* h = AVIStreamGetFrame(reader_, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->size, 40u);
  EXPECT_EQ(h->width, 32);
  EXPECT_EQ(h->height, -24);
  EXPECT_EQ(h->bitCount, 16);
  EXPECT_EQ(h->compression, BI_BITFIELDS);
  EXPECT_EQ(h->sizeImage, 64u * 24);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, k)), k);
  EXPECT_EQ(AVIStreamGetFrame(reader_, 5), nullptr);
  EXPECT_EQ(AVIStreamGetFrame(reader_, 9), nullptr);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 4)), 4) << "the last frame is still there after the end";
  EXPECT_EQ(AVIStreamGetFrame(reader_, -1), nullptr);
}

TEST_F(AviFileTest, DecodesMicrosoftVideo1LikeTheGamesClips) {
  ClipSpec shape{32, 24, 4, true, true, true};
  Open(Write("cram.avi", MakeClip(shape)));
  for (int k : {0, 1, 2, 3, 1}) EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, k)), k);
  EXPECT_EQ(AVIStreamGetFrame(reader_, 4), nullptr);
}

TEST_F(AviFileTest, AnEmptyChunkRepeatsTheFrameBeforeAndShiftsNoLaterFrame) {
  for (bool video1 : {false, true}) {
    SCOPED_TRACE(video1 ? "Video 1" : "uncompressed");
    Open(Write(video1 ? "repeats-cram.avi" : "repeats.avi", MakeClip({32, 24, 8, true, true, video1}, {2, 3, 7})));
    const int want[8] = {0, 1, 1, 1, 4, 5, 6, 6};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, k)), want[k]) << k;
    EXPECT_EQ(AVIStreamGetFrame(reader_, 8), nullptr);
    for (int k : {3, 0, 5, 2}) EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, k)), want[k]) << "again " << k;
    AVIStreamGetFrameClose(reader_);
    reader_ = nullptr;
    AVIStreamRelease(video_);
    video_ = nullptr;
    AVIFileRelease(file_);
    file_ = nullptr;
  }
}

TEST_F(AviFileTest, SeeksBackAndSkipsForward) {
  Open(Write("seven.avi", MakeClip({16, 16, 7, false, true})));
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 5)), 5);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 1)), 1);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 0)), 0);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 6)), 6);
  EXPECT_EQ(AVIStreamGetFrame(reader_, 7), nullptr);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 2)), 2);
}

TEST_F(AviFileTest, WithoutAnIndexAFrameIsStillFoundAgain) {
  Open(Write("noindex.avi", MakeClip({16, 16, 4, false, false})));
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 3)), 3);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 0)), 0);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 2)), 2);
}

TEST_F(AviFileTest, CountsAndDescribesStreamsOfBothKinds) {
  std::string path = Write("audio.avi", MakeClip({32, 24, 3, true, true}));
  Open(path);
  AviStream* audio = nullptr;
  ASSERT_EQ(AVIFileGetStream(file_, &audio, streamtypeAUDIO, 0), AVIERR_OK);
  AviStream* none = reinterpret_cast<AviStream*>(1);
  EXPECT_EQ(AVIFileGetStream(file_, &none, streamtypeAUDIO, 1), AVIERR_NODATA);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(AVIFileGetStream(file_, &none, streamtypeVIDEO, 1), AVIERR_NODATA);
  EXPECT_EQ(AVIStreamGetFrameOpen(audio), nullptr) << "sound tracks are never decoded";

  int32_t size = 0;
  ASSERT_EQ(AVIStreamReadFormat(audio, AVIStreamStart(audio), nullptr, &size), AVIERR_OK);
  ASSERT_EQ(size, 18);
  AudioFormatRecord wave{};
  ASSERT_EQ(AVIStreamReadFormat(audio, 0, &wave, &size), AVIERR_OK);
  EXPECT_EQ(wave.channels, 1);
  EXPECT_EQ(wave.samplesPerSec, 8000u);

  ASSERT_EQ(AVIStreamReadFormat(video_, 0, nullptr, &size), AVIERR_OK);
  std::vector<uint8_t> record(static_cast<size_t>(size));
  int32_t small = 10;
  EXPECT_EQ(AVIStreamReadFormat(video_, 0, record.data(), &small), AVIERR_BUFFERTOOSMALL);
  ASSERT_EQ(AVIStreamReadFormat(video_, 0, record.data(), &size), AVIERR_OK);
  const auto* bih = reinterpret_cast<const DibHeader*>(record.data());
  EXPECT_EQ(bih->width, 32);
  EXPECT_EQ(std::abs(bih->height), 24);
  AVIStreamRelease(audio);

  for (int k = 0; k < 3; ++k) EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, k)), k) << "audio packets in between";
  EXPECT_EQ(AVIStreamGetFrame(reader_, 3), nullptr);
}

TEST_F(AviFileTest, StreamsOutliveTheCallersHoldOnTheFile) {
  Open(Write("held.avi", MakeClip({16, 16, 2, false, true})));
  AVIFileRelease(file_);
  file_ = nullptr;
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 1)), 1);
}

TEST_F(AviFileTest, DamagedFilesFailToOpenOrEndEarly) {
  AviFile* f = reinterpret_cast<AviFile*>(1);
  EXPECT_EQ(AVIFileOpen(&f, (dir_ / "missing.avi").c_str()), AVIERR_FILEOPEN);
  EXPECT_EQ(f, nullptr);
  EXPECT_NE(AVIFileOpen(&f, Write("empty.avi", {}).c_str()), AVIERR_OK);
  EXPECT_NE(AVIFileOpen(&f, Write("text.avi", std::vector<uint8_t>(300, 'x')).c_str()), AVIERR_OK);

  // Cut in the middle of the fourth of eight frames: the first three come out, then nothing.
  std::vector<uint8_t> whole = MakeClip({64, 48, 8, true, true});
  std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 45 / 100));
  Open(Write("cut.avi", cut));
  int shown = 0;
  for (int k = 0; k < 8; ++k)
    if (const DibHeader* h = AVIStreamGetFrame(reader_, k)) {
      EXPECT_EQ(FrameShown(h), k);
      ++shown;
    }
  EXPECT_GE(shown, 3);
  EXPECT_LT(shown, 8);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 0)), 0);
}

TEST_F(AviFileTest, AbsurdPictureSizesGetNoFrameReader) {
  // The stream format's width, after "strf" and its size: 60000 pixels, then a negative one.
  for (uint32_t width : {60000u, 0xE6E6E6E6u}) {
    std::vector<uint8_t> clip = MakeClip({16, 16, 2, false, true});
    for (size_t i = 0; i + 16 < clip.size(); ++i)
      if (std::string(clip.begin() + static_cast<long>(i), clip.begin() + static_cast<long>(i) + 4) == "strf") {
        for (int b = 0; b < 4; ++b) clip[i + 12 + b] = static_cast<uint8_t>(width >> (8 * b));
        break;
      }
    AviFile* f = nullptr;
    if (AVIFileOpen(&f, Write("wide.avi", clip).c_str()) != AVIERR_OK) continue;  // refused outright: as good
    AviStream* s = nullptr;
    if (AVIFileGetStream(f, &s, streamtypeVIDEO, 0) == AVIERR_OK) {
      int32_t size = 0;
      AVIStreamReadFormat(s, 0, nullptr, &size);
      if (AviFrameReader* r = AVIStreamGetFrameOpen(s)) {
        EXPECT_EQ(AVIStreamGetFrame(r, 0), nullptr);
        AVIStreamGetFrameClose(r);
      }
      AVIStreamRelease(s);
    }
    AVIFileRelease(f);
  }
}

// A clip the fuzzer made: its video stream claims a negative width (0xE6E6E6E6), whose row size
// once overflowed. The stream is described without a size it cannot have, and no picture is
// made of it.
TEST_F(AviFileTest, WithoutTheLibrariesEveryOpenFailsAndTheReasonIsSaidOnce) {
  if (FfmpegLoaded()) GTEST_SKIP() << "FFmpeg was loaded by an earlier test in this process";
  std::string clip = Write("five.avi", MakeClip({32, 24, 5, false, true}));
  fs::create_directories(dir_ / "empty");
  AVIFileUseLibraryDir((dir_ / "empty").c_str());

  testing::internal::CaptureStderr();
  AviFile* opened = reinterpret_cast<AviFile*>(&clip);  // must come back cleared
  HRESULT first = AVIFileOpen(&opened, clip.c_str());
  AviFile* again = nullptr;
  HRESULT second = AVIFileOpen(&again, clip.c_str());
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(first, AVIERR_FILEOPEN);
  EXPECT_EQ(opened, nullptr);
  EXPECT_EQ(second, AVIERR_FILEOPEN);
  EXPECT_EQ(again, nullptr);
  EXPECT_NE(said.find("clips cannot be played: libavutil.so"), std::string::npos) << said;
  EXPECT_EQ(said.find("clips cannot be played"), said.rfind("clips cannot be played")) << "said twice: " << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

  // Another place is a new attempt, said again if it fails too.
  AVIFileUseLibraryDir((dir_ / "nowhere").c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(AVIFileOpen(&again, clip.c_str()), AVIERR_FILEOPEN);
  EXPECT_EQ(AVIFileOpen(&again, clip.c_str()), AVIERR_FILEOPEN);
  said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_FALSE(FfmpegLoaded()) << "a failed load leaves nothing mapped";

  // Nothing of the failures sticks: with the system's libraries the same clip plays.
  AVIFileUseLibraryDir(nullptr);
  testing::internal::CaptureStderr();
  Open(clip);
  EXPECT_EQ(FrameShown(AVIStreamGetFrame(reader_, 4)), 4);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(AviFileTest, FuzzerFoundClipsStaySafe) {
  const char* source = std::getenv("QUIBBLO_SOURCE");
  if (!source) GTEST_SKIP() << "QUIBBLO_SOURCE not set";
  fs::path clip = fs::path(source) / "tests/fuzz/corpus/clip/stride_overflow.avi";
  ASSERT_TRUE(fs::exists(clip)) << clip;
  AviFile* f = nullptr;
  ASSERT_EQ(AVIFileOpen(&f, clip.c_str()), AVIERR_OK);
  AviStream* s = nullptr;
  ASSERT_EQ(AVIFileGetStream(f, &s, streamtypeVIDEO, 0), AVIERR_OK);
  int32_t size = 0;
  ASSERT_EQ(AVIStreamReadFormat(s, 0, nullptr, &size), AVIERR_OK);
  ASSERT_GE(size, 40);
  std::vector<uint8_t> record(static_cast<size_t>(size));
  ASSERT_EQ(AVIStreamReadFormat(s, 0, record.data(), &size), AVIERR_OK);
  const auto* format = reinterpret_cast<const DibHeader*>(record.data());
  EXPECT_LE(format->width, 0);
  EXPECT_EQ(format->sizeImage, 0u) << "no image size for an impossible width";
  AviFrameReader* r = AVIStreamGetFrameOpen(s);
  EXPECT_EQ(r, nullptr);
  if (r) AVIStreamGetFrameClose(r);
  AVIStreamRelease(s);
  AVIFileRelease(f);
}
}  // namespace
