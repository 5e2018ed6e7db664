#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/clock.h"
#include "platform/dsound.h"
#include "platform/options.h"
#include "sound/sound.h"
#include "unit/sound/wave_bytes.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
// Headless, on the virtual clock, in a fresh working folder with a "sounds" folder.
class SoundTable : public testing::Test {
 protected:
  void SetUp() override {
    Options.headless = true;
    UseVirtualClock(5000);
    saved_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("quibblo-sound-" + std::to_string(std::random_device{}()) +
                                        "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sounds");
    fs::current_path(dir_);
    ASSERT_TRUE(InitSound());
  }
  void TearDown() override {
    ReleaseSound();
    fs::current_path(saved_);
    fs::remove_all(dir_);
  }
  static void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(fs::path("sounds") / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                     static_cast<std::streamsize>(bytes.size()));
  }
  static void Advance(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) timeGetTime();
  }
  fs::path saved_, dir_;
};

const WaveSpec kMono16{1, 1, 22050, 16, {}};

TEST_F(SoundTable, TableNamesTheFilesOfAllTwentyEightIds) {
  EXPECT_STREQ(SoundFiles[0], "sounds\\TimeUp.WAV");
  EXPECT_STREQ(SoundFiles[6], "sounds\\MenuPress.wav");
  EXPECT_STREQ(SoundFiles[14], "sounds\\CouldHaveWonNoise.wav");
  EXPECT_STREQ(SoundFiles[15], "sounds\\EndprizeShow.wav");
  EXPECT_STREQ(SoundFiles[27], "sounds\\TimerWarning.wav");
}

TEST_F(SoundTable, FileIsOpenedOnceHoweverOftenItPlays) {
  Write("MenuPress.wav", MakeWave(kMono16, 200));
  EXPECT_FALSE(SoundIsPlaying(7));
  EXPECT_EQ(Sounds->loaded[6], 0) << "asking about a sound never loads it";
  PlaySoundOnce(7);
  EXPECT_TRUE(SoundIsPlaying(7));
  EXPECT_EQ(Sounds->loaded[6], 1);
  // Gone from disk: a second play that opened the file again would fail and say so.
  fs::remove("sounds/MenuPress.wav");
  CaptureStderr();
  Advance(300);
  PlaySoundOnce(7);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_TRUE(SoundIsPlaying(7));
}

TEST_F(SoundTable, MissingFileGivesOneMessageThenSilence) {
  CaptureStderr();
  PlaySoundOnce(1);
  std::string first = GetCapturedStderr();
  EXPECT_NE(first.find("Couldn't open WAV file sounds\\TimeUp.WAV!"), std::string::npos) << first;
  EXPECT_NE(first.find("Game Failed."), std::string::npos);
  CaptureStderr();
  PlaySoundOnce(1);
  StopSound(1);
  EXPECT_EQ(GetCapturedStderr(), "") << "the file is not looked for again";
  // Appearing later changes nothing: the attempt was made.
  Write("TimeUp.WAV", MakeWave(kMono16, 200));
  PlaySoundLoop(1);
  EXPECT_FALSE(SoundIsPlaying(1));
}

TEST_F(SoundTable, NamesAreFoundWhateverTheirCaseOnDisk) {
  Write("timeup.wav", MakeWave(kMono16, 100));
  PlaySoundOnce(1);
  EXPECT_TRUE(SoundIsPlaying(1));
}

TEST_F(SoundTable, PlaysForItsRealLengthOnTheClock) {
  Write("MenuPress.wav", MakeWave(kMono16, 500));
  PlaySoundOnce(7);
  Advance(495);
  EXPECT_TRUE(SoundIsPlaying(7));
  Advance(10);
  EXPECT_FALSE(SoundIsPlaying(7));
}

TEST_F(SoundTable, AWaitThatOnlyAsksSeesTheSoundEndOnTheVirtualClock) {
  Write("MenuPress.wav", MakeWave(kMono16, 2000));
  uint32_t start = ClockPeek();
  PlaySoundOnce(7);
  int asked = 0;
  while (SoundIsPlaying(7) && asked < 1000000) ++asked;
  EXPECT_FALSE(SoundIsPlaying(7));
  EXPECT_GE(ClockPeek() - start, 2000u);
  EXPECT_LT(ClockPeek() - start, 2100u);
}

TEST_F(SoundTable, PlayAgainRestartsFromTheBeginning) {
  Write("TileSpinNoise.wav", MakeWave(WaveSpec{1, 2, 11025, 8, {}}, 400));
  PlaySoundOnce(19);
  Advance(300);
  PlaySoundOnce(19);
  Advance(300);  // 600 ms after the first start: only a restart keeps it going
  EXPECT_TRUE(SoundIsPlaying(19));
  Advance(110);
  EXPECT_FALSE(SoundIsPlaying(19));
}

TEST_F(SoundTable, LoopPlaysUntilStoppedAndKeepsItsPosition) {
  Write("MainTune.wav", MakeWave(kMono16, 100));
  PlaySoundLoop(8);
  Advance(1050);
  EXPECT_TRUE(SoundIsPlaying(8));
  StopSound(8);
  EXPECT_FALSE(SoundIsPlaying(8));
  uint32_t stoppedAt = 0;
  Sounds->buffers[7]->GetCurrentPosition(&stoppedAt);
  EXPECT_NEAR(stoppedAt, 2 * 22050 * 50 / 1000, 2 * 22050 * 3 / 1000) << "half way through its eleventh pass";
  Advance(500);
  uint32_t later = 0;
  Sounds->buffers[7]->GetCurrentPosition(&later);
  EXPECT_EQ(later, stoppedAt);
}

TEST_F(SoundTable, OncePlayTurnsALoopIntoASinglePlay) {
  Write("MainTune.wav", MakeWave(kMono16, 100));
  PlaySoundLoop(8);
  Advance(250);
  PlaySoundOnce(8);
  Advance(110);
  EXPECT_FALSE(SoundIsPlaying(8));
}

TEST_F(SoundTable, StopAllStopsEverySoundPlayedSoFar) {
  Write("MainTune.wav", MakeWave(kMono16, 100));
  Write("TileSpinNoise.wav", MakeWave(kMono16, 1000));
  PlaySoundLoop(8);
  PlaySoundOnce(19);
  StopAllSounds();
  EXPECT_FALSE(SoundIsPlaying(8));
  EXPECT_FALSE(SoundIsPlaying(19));
}

TEST_F(SoundTable, IdsOutsideTheTableAreSilent) {
  CaptureStderr();
  for (int id : {0, 29, 255}) {
    PlaySoundOnce(static_cast<uint8_t>(id));
    PlaySoundLoop(static_cast<uint8_t>(id));
    StopSound(static_cast<uint8_t>(id));
    EXPECT_FALSE(SoundIsPlaying(static_cast<uint8_t>(id)));
  }
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(SoundTable, NonPcmFormatKeepsItsExtraBytesAndStaysSilent) {
  WaveSpec adpcm{2, 1, 22050, 4, {0xF4, 0x01, 0x07, 0x00}};
  Write("BankOffer.wav", Riff({FormatChunk(adpcm), DataChunk(std::vector<uint8_t>(512, 0x11), 512)}));
  PlaySoundOnce(27);
  ASSERT_NE(Sounds->buffers[26], nullptr);
  const WaveFormat& f = Sounds->buffers[26]->Format();
  EXPECT_EQ(f.formatTag, 2);
  EXPECT_EQ(f.extraSize, 4);
  EXPECT_EQ(f.extra, (std::vector<uint8_t>{0xF4, 0x01, 0x07, 0x00}));
  EXPECT_EQ(Sounds->buffers[26]->Size(), 512u);
  EXPECT_FALSE(SoundIsPlaying(27));
}

TEST_F(SoundTable, HostileFilesStaySilentOrPlayWhatWasRead) {
  std::vector<uint8_t> samples(22050 * 2 / 10);  // 100 ms
  Write("FreePick.wav", Riff({DataChunk(samples, 4410)}));                           // no "fmt "
  Write("ExtraLife.wav", Riff({FormatChunk(kMono16)}));                              // no "data"
  Write("BankingNoise.wav", Riff({FormatChunk(kMono16), DataChunk(samples, 0xFFFFFFF0)}));  // claims 4 GB
  Write("CorrectAnswer.wav", {'R', 'I', 'F', 'F', 0xFF, 0xFF});                        // cut short
  Write("TileStopNoise.wav", Riff({FormatChunk(WaveSpec{1, 6, 22050, 16, {}}), DataChunk(samples, 4410)}));
  CaptureStderr();
  for (uint8_t id : {21, 22, 17, 18, 20}) PlaySoundOnce(id);
  EXPECT_EQ(GetCapturedStderr(), "") << "a file that opens is no failure to report";
  EXPECT_FALSE(SoundIsPlaying(21));
  EXPECT_FALSE(SoundIsPlaying(22));
  EXPECT_FALSE(SoundIsPlaying(18));
  EXPECT_FALSE(SoundIsPlaying(20)) << "six channels cannot be played";
  EXPECT_TRUE(SoundIsPlaying(17));
  Advance(105);
  EXPECT_FALSE(SoundIsPlaying(17)) << "plays the 100 ms it has, not the size it claims";
}
}  // namespace
