// The 28 sounds of the game, loaded on first play.
#pragma once
#include <cstdint>

bool InitSound();
void PlaySoundOnce(uint8_t id);
void PlaySoundLoop(uint8_t id);
bool SoundIsPlaying(uint8_t id);
void StopSound(uint8_t id);
void StopAllSounds();
