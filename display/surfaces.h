// The display objects behind display.h, for the picture, font and transition code that locks
// surfaces directly. Each is null when absent (before InitDisplay, after ReleaseDisplay).
#pragma once
#include <cstdint>

#include "platform/ddraw.h"

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

extern IDirectDraw7* Device;
extern IDirectDrawSurface7* FrontSurface;
extern IDirectDrawSurface7* BackBuffer;
extern IDirectDrawSurface7* Canvases[2];
extern DDCOLORKEY TransparentKey;
extern int32_t DisplayDepth;
extern uint32_t PaceDeadline;

// Locks the whole surface, waiting while busy and restoring it when lost. A failed restore or
// any other failure releases the display and yields false.
bool LockSurface(IDirectDrawSurface7* surface, DDSURFACEDESC2& desc);
