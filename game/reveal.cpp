#include "game/reveal.h"

void RevealBox(int32_t, int32_t) {}
void FlipBox(int32_t) {}
