// Deadlines, the one program-wide transition timer, the message pump and the waits.
// Every wait spins on the clock and pumps messages; nothing sleeps.
#pragma once
#include <cstdint>

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

uint32_t RandomBelow(uint32_t n);
bool PercentChance(int32_t p);
void SeedRandom(uint32_t seed);

// The game's traces name its variables ("lOfferIt = <%d>\n"); they go to the debugger output
// (standard error with QUIBBLO_DEBUG set) and nowhere else.
int DebugTrace(const char* format, ...);
