// Cross-fades between canvas 1 (the old picture) and canvas 0 (the new one).
#pragma once
#include "display/display.h"

void CaptureCanvas(int canvas, const ClipBox* box);
void BlendCanvas(int32_t percent, const ClipBox* box, int keyed);
