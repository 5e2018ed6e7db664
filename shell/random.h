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

constexpr int kRandomDegree = 31;
constexpr int kRandomSeparation = 3;

// Inline: the payout simulator makes tens of millions of draws a second.
constexpr int32_t NextRandom(RandomState& state) {  // 0..2^31-1
  uint32_t sum = static_cast<uint32_t>(state.words[state.front]) + static_cast<uint32_t>(state.words[state.rear]);
  state.words[state.front] = static_cast<int32_t>(sum);
  if (++state.front >= kRandomDegree) state.front = 0;
  if (++state.rear >= kRandomDegree) state.rear = 0;
  return static_cast<int32_t>(sum >> 1);
}

constexpr void SeedRandomState(RandomState& state, uint32_t seed) {
  int32_t word = static_cast<int32_t>(seed == 0 ? 1u : seed);
  state.words[0] = word;
  for (int i = 1; i < kRandomDegree; ++i) {
    // 16807 * word mod (2^31 - 1) without overflow (Schrage), truncated as the library does.
    int64_t hi = word / 127773;
    int64_t lo = word % 127773;
    word = static_cast<int32_t>(16807 * lo - 2836 * hi);
    if (word < 0) word += 2147483647;
    state.words[i] = word;
  }
  state.front = kRandomSeparation;
  state.rear = 0;
  for (int i = 0; i < 310; ++i) NextRandom(state);  // thrown away after seeding, as the library does
}

// The program-wide generator behind RandomBelow; before any seeding it is seeded with 1, as
// rand() is without srand().
extern RandomState CabinetRandomState;
inline RandomState& CabinetRandom() { return CabinetRandomState; }

// "f r w0 w1 ... w30", for the journal; Parse refuses anything else.
std::string FormatRandomState(const RandomState& state);
std::optional<RandomState> ParseRandomState(const std::string& text);
