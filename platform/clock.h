// The millisecond clocks of the original platform: unsigned 32-bit, wrapping.
#pragma once
#include <cstdint>

uint32_t timeGetTime();
uint32_t GetTickCount();

// Makes both clocks deterministic: they start at `start` and move one step only when read.
void UseVirtualClock(uint32_t start);
bool VirtualClockInUse();

// The clock without moving it, and the milliseconds since the program started; used by the
// platform's own scheduling (touch scripts, headless sound timing) so it never shifts the game's time.
uint32_t ClockPeek();
uint32_t ClockSinceStart();
