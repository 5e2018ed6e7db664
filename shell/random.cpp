// The additive feedback generator of the C library's random(), degree 31, separation 3.
// Kept here rather than calling rand() so that its state can be saved and restored, and so
// that a draw takes no lock.
#include "shell/random.h"

#include <cstdio>
#include <sstream>

namespace {
constexpr int kDegree = 31;
constexpr int kSeparation = 3;
constexpr int kDiscard = 310;  // draws thrown away after seeding, as the library does
RandomState cabinet;
bool cabinetSeeded = false;
}  // namespace

void SeedRandomState(RandomState& state, uint32_t seed) {
  int32_t word = static_cast<int32_t>(seed == 0 ? 1u : seed);
  state.words[0] = word;
  for (int i = 1; i < kDegree; ++i) {
    // 16807 * word mod (2^31 - 1) without overflow (Schrage), truncated as the library does.
    int64_t hi = word / 127773;
    int64_t lo = word % 127773;
    word = static_cast<int32_t>(16807 * lo - 2836 * hi);
    if (word < 0) word += 2147483647;
    state.words[i] = word;
  }
  state.front = kSeparation;
  state.rear = 0;
  for (int i = 0; i < kDiscard; ++i) NextRandom(state);
}

int32_t NextRandom(RandomState& state) {
  uint32_t sum = static_cast<uint32_t>(state.words[state.front]) + static_cast<uint32_t>(state.words[state.rear]);
  state.words[state.front] = static_cast<int32_t>(sum);
  int32_t result = static_cast<int32_t>(sum >> 1);
  if (++state.front >= kDegree) state.front = 0;
  if (++state.rear >= kDegree) state.rear = 0;
  return result;
}

RandomState& CabinetRandom() {
  // rand() without srand() behaves as if seeded with 1.
  if (!cabinetSeeded) {
    SeedRandomState(cabinet, 1);
    cabinetSeeded = true;
  }
  return cabinet;
}

std::string FormatRandomState(const RandomState& state) {
  std::ostringstream out;
  out << int(state.front) << ' ' << int(state.rear);
  for (int32_t w : state.words) out << ' ' << w;
  return out.str();
}

std::optional<RandomState> ParseRandomState(const std::string& text) {
  std::istringstream in(text);
  long long front = -1, rear = -1;
  if (!(in >> front >> rear)) return std::nullopt;
  if (front < 0 || front >= kDegree || rear < 0 || rear >= kDegree) return std::nullopt;
  // The two indices always stay the separation apart.
  if ((front - rear + kDegree) % kDegree != kSeparation) return std::nullopt;
  RandomState state{};
  state.front = static_cast<uint8_t>(front);
  state.rear = static_cast<uint8_t>(rear);
  for (int32_t& w : state.words) {
    long long v;
    if (!(in >> v) || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    w = static_cast<int32_t>(v);
  }
  std::string rest;
  if (in >> rest) return std::nullopt;
  return state;
}
