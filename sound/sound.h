// The 28 sounds of the game, loaded on first play.
#pragma once
#include <cstdint>

class SoundDevice;
class SoundBuffer;

constexpr int kSoundCount = 28;

// One for the whole program, made by InitSound; index = sound id - 1.
struct SoundSystem {
  SoundBuffer* buffers[kSoundCount] = {};
  uint8_t loaded[kSoundCount] = {};  // 1 once loading has been attempted
  SoundDevice* device = nullptr;
};

extern SoundSystem* Sounds;
extern const char* const SoundFiles[kSoundCount];

bool InitSound();
void PlaySoundOnce(uint8_t id);
void PlaySoundLoop(uint8_t id);
bool SoundIsPlaying(uint8_t id);
void StopSound(uint8_t id);
void StopAllSounds();

// Not called by the game, whose sound system lives until the process ends; tests start afresh.
void ReleaseSound();
