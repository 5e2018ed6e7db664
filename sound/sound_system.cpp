#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/dsound.h"
#include "platform/files.h"
#include "platform/window.h"
#include "shell/log.h"
#include "sound/sound.h"
#include "sound/wave_file.h"

SoundSystem* Sounds = nullptr;

const char* const SoundFiles[kSoundCount] = {
    "sounds\\TimeUp.WAV",         "sounds\\teletype.wav",         "sounds\\Incorrect1.wav",
    "sounds\\Incorrect2.wav",     "sounds\\Incorrect3.wav",       "sounds\\Incorrect4.wav",
    "sounds\\MenuPress.wav",      "sounds\\MainTune.wav",         "sounds\\InGameTune.wav",
    "sounds\\Question1.wav",      "sounds\\Question2.wav",        "sounds\\Question3.wav",
    "sounds\\Question4.wav",      "sounds\\ShowEndPrize.wav",     "sounds\\CouldHaveWonNoise.wav",
    "sounds\\EndprizeShow.wav",   "sounds\\BankingNoise.wav",     "sounds\\CorrectAnswer.wav",
    "sounds\\TileSpinNoise.wav",  "sounds\\TileStopNoise.wav",    "sounds\\FreePick.wav",
    "sounds\\ExtraLife.wav",      "sounds\\PrizeElimGood.wav",    "sounds\\PrizeElimVGood.wav",
    "sounds\\PrizeElimBad.wav",   "sounds\\PrizeElimVBad.wav",    "sounds\\BankOffer.wav",
    "sounds\\TimerWarning.wav",
};

namespace {
constexpr int kTitleSize = 256;
constexpr uint32_t kBufferFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;

void ShowSoundFailure(const char* title) {
  ShowMessageBox(title, "Game Failed.");
  // Without a window nobody sees the box, so the log keeps it.
  if (!MainWindowExists()) LogWrite("%s - Game Failed.\n", title);
}

bool ReadWholeFile(std::FILE* file, std::vector<uint8_t>& bytes) {
  uint8_t block[65536];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, file)) > 0) {
    if (bytes.size() + n > DSBSIZE_MAX + size_t{65536}) return false;  // far longer than any buffer
    bytes.insert(bytes.end(), block, block + n);
  }
  return !std::ferror(file);
}

SoundBuffer* LoadWave(const char* path) {
  std::FILE* file = OpenFile(path, "rb");
  if (!file) {
    char title[kTitleSize];
    std::snprintf(title, sizeof title, "Couldn't open WAV file %s!", path);
    ShowSoundFailure(title);
    return nullptr;
  }
  std::vector<uint8_t> bytes;
  bool read = ReadWholeFile(file, bytes);
  std::fclose(file);
  if (!read || !Sounds->device) return nullptr;

  WaveFile wave = ReadWaveFile(bytes.data(), bytes.size());
  if (!wave.hasFormat || !wave.hasData) return nullptr;
  SoundBufferDesc desc;
  desc.flags = kBufferFlags;
  desc.bufferBytes = wave.dataSize;
  desc.format = &wave.format;
  SoundBuffer* buffer = nullptr;
  if (Failed(Sounds->device->CreateSoundBuffer(desc, &buffer))) return nullptr;

  void* region = nullptr;
  uint32_t regionBytes = 0;
  if (!Failed(buffer->Lock(0, wave.dataSize, &region, &regionBytes))) {
    uint32_t n = std::min(regionBytes, wave.dataSize);
    std::copy(bytes.begin() + static_cast<long>(wave.dataOffset), bytes.begin() + static_cast<long>(wave.dataOffset + n),
              static_cast<uint8_t*>(region));
    buffer->Unlock(region, regionBytes);
  }
  return buffer;
}

// The buffer of a loaded sound, or nullptr for a silent one (never loads).
SoundBuffer* Buffer(uint8_t id) {
  if (!Sounds || id < 1 || id > kSoundCount) return nullptr;
  return Sounds->buffers[id - 1];
}

void EnsureLoaded(uint8_t id) {
  if (!Sounds || id < 1 || id > kSoundCount) return;
  int slot = id - 1;
  if (Sounds->loaded[slot]) return;
  Sounds->loaded[slot] = 1;  // set before the attempt: a failed file is never opened again
  Sounds->buffers[slot] = LoadWave(SoundFiles[slot]);
}

void PlayFromStart(uint8_t id, uint32_t flags) {
  EnsureLoaded(id);
  SoundBuffer* buffer = Buffer(id);
  if (!buffer) return;
  buffer->SetCurrentPosition(0);
  buffer->Play(flags);
}
}  // namespace

bool InitSound() {
  ReleaseSound();
  Sounds = new (std::nothrow) SoundSystem;
  if (!Sounds) return false;
  if (Failed(DirectSoundCreate(&Sounds->device))) {
    Sounds->device = nullptr;
    ShowSoundFailure("Couldn't init DirectSound");
  } else if (Failed(Sounds->device->SetCooperativeLevel(DSSCL_NORMAL))) {
    ShowSoundFailure("Couldn't init DirectSound Cooperative level!");
  }
  for (uint8_t& flag : Sounds->loaded) flag = 0;
  return true;
}

void PlaySoundOnce(uint8_t id) { PlayFromStart(id, 0); }

void PlaySoundLoop(uint8_t id) { PlayFromStart(id, DSBPLAY_LOOPING); }

bool SoundIsPlaying(uint8_t id) {
  SoundBuffer* buffer = Buffer(id);
  uint32_t status = 0;
  if (!buffer || Failed(buffer->GetStatus(&status))) return false;
  return (status & (DSBSTATUS_LOOPING | DSBSTATUS_PLAYING)) != 0;
}

void StopSound(uint8_t id) {
  if (SoundBuffer* buffer = Buffer(id)) buffer->Stop();
}

void StopAllSounds() {
  if (!Sounds) return;
  for (int slot = 0; slot < kSoundCount; ++slot)
    if (Sounds->loaded[slot] && Sounds->buffers[slot]) Sounds->buffers[slot]->Stop();
}

void ReleaseSound() {
  if (!Sounds) return;
  ReleaseSoundDevice(Sounds->device);
  delete Sounds;
  Sounds = nullptr;
}
