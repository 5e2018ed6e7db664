// The cabinet's random numbers: the same sequence as the C library's rand() after srand(),
// held in a state the game can save at a game's start and restore to replay it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

struct RandomState {
  int32_t words[31];
  uint8_t front;  // index of the word the next draw adds into
  uint8_t rear;   // index of the word added to it
};

void SeedRandomState(RandomState& state, uint32_t seed);
int32_t NextRandom(RandomState& state);  // 0..2^31-1

// The program-wide generator behind RandomBelow.
RandomState& CabinetRandom();

// "f r w0 w1 ... w30", for the journal; Parse refuses anything else.
std::string FormatRandomState(const RandomState& state);
std::optional<RandomState> ParseRandomState(const std::string& text);
