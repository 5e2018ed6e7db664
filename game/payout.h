// The payout band and the per-game target levels.
#pragma once
#include <cstdint>

int8_t PayoutBand();
