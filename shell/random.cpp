// The additive feedback generator of the C library's random(), degree 31, separation 3.
// Kept here rather than calling rand() so that its state can be saved and restored, and so
// that a draw takes no lock.
#include "shell/random.h"

#include <cstdio>
#include <sstream>

namespace {
constexpr int kDegree = kRandomDegree;
constexpr int kSeparation = kRandomSeparation;

constexpr RandomState SeededWith(uint32_t seed) {
  RandomState state{};
  SeedRandomState(state, seed);
  return state;
}
}  // namespace

// Worked out by the compiler: no draw needs to ask whether the generator was seeded yet.
constinit RandomState CabinetRandomState = SeededWith(1);

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
