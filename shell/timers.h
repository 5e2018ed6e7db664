// Deadlines, the one program-wide transition timer, the message pump and the waits.
// Every wait spins on the clock and pumps messages; nothing sleeps.
#pragma once
#include <cstdint>

#include "shell/random.h"

uint32_t StartDeadline(uint32_t& deadline, int32_t duration);
bool DeadlinePassed(uint32_t deadline);

void PumpMessages();
void FlushInput();
void PumpFor(uint32_t duration);
int32_t WaitOrTouch(uint32_t duration);
void IgnoreInputFor(uint16_t duration);

void StartTransition(uint32_t duration);
uint32_t TransitionProgress(uint32_t scale);
bool TransitionDone();

// Inline, as the game rules draw in their inner loops (and the simulator plays millions of games).
inline uint32_t RandomBelow(uint32_t n) {
  if (n == 0) n = 1;
  return static_cast<uint32_t>(NextRandom(CabinetRandom())) % n;
}
inline bool PercentChance(int32_t p) { return static_cast<int32_t>(RandomBelow(100)) < p; }

// RandomBelow(n) for an n known only at run time, with magic = UINT64_MAX / n + 1 worked out
// beforehand: the remainder by two multiplies, exact for every draw, where a division would
// take a sizeable share of a simulated game.
constexpr uint64_t RandomMagic(uint32_t n) { return UINT64_MAX / n + 1; }
inline uint32_t RandomBelowByMagic(uint32_t n, uint64_t magic) {
  uint64_t fraction = magic * static_cast<uint32_t>(NextRandom(CabinetRandom()));
  return static_cast<uint32_t>((static_cast<unsigned __int128>(fraction) * n) >> 64);
}
void SeedRandom(uint32_t seed);

// The game's traces name its variables ("lOfferIt = <%d>\n"); they go to the debugger output
// (standard error with QUIBBLO_DEBUG set) and nowhere else.
int DebugTrace(const char* format, ...);
