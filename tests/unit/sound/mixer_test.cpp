#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/dsound.h"
#include "platform/options.h"
#include "unit/sound/wave_bytes.h"

namespace {
WaveFormat Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  WaveFormat f;
  f.formatTag = WAVE_FORMAT_PCM;
  f.channels = channels;
  f.samplesPerSec = rate;
  f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
  f.avgBytesPerSec = rate * f.blockAlign;
  f.bitsPerSample = bits;
  return f;
}

SoundBuffer* Filled(SoundDevice* device, const WaveFormat& format, const std::vector<uint8_t>& bytes) {
  SoundBufferDesc desc{0xE2, static_cast<uint32_t>(bytes.size()), &format};
  SoundBuffer* buffer = nullptr;
  EXPECT_EQ(device->CreateSoundBuffer(desc, &buffer), DS_OK);
  void* region;
  uint32_t n;
  EXPECT_EQ(buffer->Lock(0, desc.bufferBytes, &region, &n), DS_OK);
  std::copy(bytes.begin(), bytes.begin() + n, static_cast<uint8_t*>(region));
  buffer->Unlock(region, n);
  return buffer;
}

std::vector<uint8_t> Constant16(int16_t value, int frames, int channels) {
  std::vector<uint8_t> b;
  for (int i = 0; i < frames * channels; ++i) Put16(b, static_cast<uint16_t>(value));
  return b;
}

class Mixer : public testing::Test {
 protected:
  void SetUp() override { device_ = CreatePulledSoundDevice(); }
  void TearDown() override { ReleaseSoundDevice(device_); }
  std::vector<int16_t> Pull(int frames) {
    std::vector<int16_t> out(frames * 2, 1234);
    device_->Mix(out.data(), frames);
    return out;
  }
  SoundDevice* device_;
};

TEST_F(Mixer, ConvertsEightBitMonoAtAnyRateToStereoAtTheDeviceRate) {
  // 11025 Hz, 8-bit unsigned: 0xC0 is +64 of 128, so +16384 in 16 bits; 100 ms.
  SoundBuffer* b = Filled(device_, Pcm(1, 11025, 8), std::vector<uint8_t>(1103, 0xC0));
  b->Play(0);
  std::vector<int16_t> out = Pull(device_->OutputRate() / 10 + 100);
  EXPECT_EQ(out[0], 16384);
  EXPECT_EQ(out[1], 16384);
  EXPECT_EQ(out[2 * 4000 + 1], 16384);
  EXPECT_EQ(out.back(), 0) << "silence after a single play";
  uint32_t status = 99;
  b->GetStatus(&status);
  EXPECT_EQ(status, 0u);
}

TEST_F(Mixer, KeepsStereoChannelsApartAndSumsVoicesWithClipping) {
  std::vector<uint8_t> lr;
  for (int i = 0; i < 4410; ++i) {
    Put16(lr, 1000);
    Put16(lr, static_cast<uint16_t>(-2000));
  }
  SoundBuffer* a = Filled(device_, Pcm(2, 44100, 16), lr);
  SoundBuffer* loud = Filled(device_, Pcm(1, 44100, 16), Constant16(32000, 4410, 1));
  a->Play(0);
  EXPECT_EQ(Pull(1)[0], 1000);
  a->SetCurrentPosition(0);
  loud->Play(0);
  std::vector<int16_t> out = Pull(2);
  EXPECT_EQ(out[0], 32767) << "33000 clipped";
  EXPECT_EQ(out[1], 30000);
}

TEST_F(Mixer, LoopWrapsUntilStoppedAndStopKeepsThePosition) {
  SoundBuffer* b = Filled(device_, Pcm(1, 44100, 16), Constant16(500, 1000, 1));
  b->Play(DSBPLAY_LOOPING);
  Pull(2500);
  uint32_t status = 0;
  b->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  b->Stop();
  uint32_t position = 0;
  b->GetCurrentPosition(&position);
  EXPECT_EQ(position, 500u * 2) << "2500 frames into a 1000-frame loop";
  EXPECT_EQ(Pull(10)[0], 0);
  b->GetStatus(&status);
  EXPECT_EQ(status, 0u);
}

TEST_F(Mixer, UnplayableFormatsAreSilentButKeepTheirBuffer) {
  WaveFormat odd = Pcm(1, 44100, 24);
  SoundBuffer* b = Filled(device_, odd, std::vector<uint8_t>(3000, 0x40));
  EXPECT_EQ(b->Play(0), DS_OK);
  uint32_t status = 0;
  b->GetStatus(&status);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(Pull(10)[0], 0);
  EXPECT_EQ(b->Format().bitsPerSample, 24);

  WaveFormat lying = Pcm(2, 22050, 16);
  lying.blockAlign = 1;
  EXPECT_FALSE(WaveFormatPlayable(lying));
  WaveFormat extensible = Pcm(2, 22050, 16);
  extensible.formatTag = WAVE_FORMAT_EXTENSIBLE;
  extensible.extra.assign(22, 0);
  extensible.extra[6] = 1;  // the PCM sub-format
  EXPECT_TRUE(WaveFormatPlayable(extensible));
}

TEST_F(Mixer, NothingPlaysBeforeTheBufferIsFilled) {
  WaveFormat f = Pcm(1, 44100, 16);
  SoundBuffer* b = nullptr;
  ASSERT_EQ(device_->CreateSoundBuffer({0xE2, 400, &f}, &b), DS_OK);
  b->Play(DSBPLAY_LOOPING);
  uint32_t status = 0;
  b->GetStatus(&status);
  EXPECT_EQ(status, 0u);
}

TEST_F(Mixer, RefusesBuffersOutsideTheDeviceLimits) {
  WaveFormat f = Pcm(1, 44100, 16);
  SoundBuffer* b = reinterpret_cast<SoundBuffer*>(1);
  EXPECT_EQ(device_->CreateSoundBuffer({0xE2, 2, &f}, &b), DSERR_INVALIDPARAM);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(device_->CreateSoundBuffer({0xE2, DSBSIZE_MAX + 1, &f}, &b), DSERR_INVALIDPARAM);
  EXPECT_EQ(device_->CreateSoundBuffer({0xE2, 100, nullptr}, &b), DSERR_INVALIDPARAM);
  // 100 Hz stretched to the device rate would not fit: kept, but silent.
  WaveFormat slow = Pcm(1, 100, 8);
  ASSERT_EQ(device_->CreateSoundBuffer({0xE2, 200000, &slow}, &b), DS_OK);
  b->Play(0);
  uint32_t status = 0;
  b->GetStatus(&status);
  EXPECT_EQ(status, 0u);
}

// SDL's disk driver stands in for a sound card: the callback runs on SDL's thread in real time.
TEST(SoundOutput, PlaysThroughSdlDiskDriver) {
  std::filesystem::path out = std::filesystem::temp_directory_path() / ("quibblo-disk-audio-" + std::to_string(std::random_device{}()) + ".raw");
  std::filesystem::remove(out);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "5", 1);
  bool headless = Options.headless;
  Options.headless = false;
  SoundDevice* device = nullptr;
  HRESULT hr = DirectSoundCreate(&device);
  Options.headless = headless;
  ASSERT_EQ(hr, DS_OK);
  ASSERT_TRUE(device->HasOutput());
  SoundBuffer* b = Filled(device, Pcm(1, 22050, 16), Constant16(7000, 2205, 1));  // 100 ms
  b->Play(0);
  uint32_t status = DSBSTATUS_PLAYING;
  for (int i = 0; i < 300 && status; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    b->GetStatus(&status);
  }
  EXPECT_EQ(status, 0u) << "a 100 ms sound ends";
  ReleaseSoundDevice(device);
  std::ifstream raw(out, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(raw)), {});
  int loud = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    if (static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | bytes[i + 1] << 8) == 7000) ++loud;
  EXPECT_NEAR(loud, 2 * 4410, 8) << "every frame of the sound reached the output, on both channels";
  std::filesystem::remove(out);
}
}  // namespace
