// The table of every picture of the game, and their program-wide Sprites.
#pragma once
#include "display/display.h"

// Sprites[id] is the Sprite of asset id (1 to 56); index 0 is unused.
extern Sprite Sprites[57];

void LoadAssets();
