// The audio callback's cost: mixing 10 ms of output (441 stereo frames) with 8 sounds playing.
// Run: build-*/bin/bench_sound_mixer
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/dsound.h"

namespace {
SoundBuffer* MakeBuffer(SoundDevice* device, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t ms) {
  WaveFormat f;
  f.formatTag = WAVE_FORMAT_PCM;
  f.channels = channels;
  f.samplesPerSec = rate;
  f.bitsPerSample = bits;
  f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
  f.avgBytesPerSec = rate * f.blockAlign;
  uint32_t size = f.avgBytesPerSec * ms / 1000;
  SoundBuffer* buffer = nullptr;
  device->CreateSoundBuffer({0xE2, size, &f}, &buffer);
  void* region;
  uint32_t n;
  buffer->Lock(0, size, &region, &n);
  for (uint32_t i = 0; i < n; ++i) static_cast<uint8_t*>(region)[i] = static_cast<uint8_t>(i * 7);
  buffer->Unlock(region, n);
  return buffer;
}

void BM_MixTenMilliseconds(benchmark::State& state) {
  SoundDevice* device = CreatePulledSoundDevice();
  int voices = static_cast<int>(state.range(0));
  for (int i = 0; i < voices; ++i) {
    // Tunes loop, effects play once: a mix of the formats the game's files come in.
    SoundBuffer* b = i % 2 ? MakeBuffer(device, 2, 44100, 16, 3000) : MakeBuffer(device, 1, 22050, 8, 3000);
    b->Play(i < 2 ? DSBPLAY_LOOPING : 0);
  }
  const int frames = device->OutputRate() / 100;
  std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
  int pulled = 0;
  for (auto _ : state) {
    device->Mix(out.data(), frames);
    benchmark::DoNotOptimize(out.data());
    if (++pulled == 250) {  // before the once-played sounds end, start them again
      state.PauseTiming();
      ReleaseSoundDevice(device);
      device = CreatePulledSoundDevice();
      for (int i = 0; i < voices; ++i) {
        SoundBuffer* b = i % 2 ? MakeBuffer(device, 2, 44100, 16, 3000) : MakeBuffer(device, 1, 22050, 8, 3000);
        b->Play(i < 2 ? DSBPLAY_LOOPING : 0);
      }
      pulled = 0;
      state.ResumeTiming();
    }
  }
  ReleaseSoundDevice(device);
}
BENCHMARK(BM_MixTenMilliseconds)->Arg(1)->Arg(8)->Arg(28)->Unit(benchmark::kMicrosecond);
}  // namespace
