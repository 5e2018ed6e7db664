// Cross-fades between canvas 1 (the old picture) and canvas 0 (the new one).
#pragma once
#include <cstdint>

#include "display/display.h"

// Store 0 holds the new picture, store 1 the old; one 5:6:5 pixel per screen position.
extern uint16_t PixelStores[2][800 * 600];

void CaptureCanvas(int canvas, const ClipBox* box);
void BlendCanvas(int32_t percent, const ClipBox* box, int keyed);

// One pixel of a fade: each channel old + (new - old) x percent / 100, truncated toward zero;
// with `keyed`, a transparent new pixel stays transparent.
uint16_t BlendedPixel(uint16_t now, uint16_t old, int32_t percent, int keyed);
