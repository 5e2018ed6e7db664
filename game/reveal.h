// Opening a picked box: the spin, the knocked-out win plan slot, and what the box brings.
#pragma once
#include <cstdint>

void RevealBox(int32_t value, int32_t box);
void FlipBox(int32_t box);
