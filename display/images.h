// Picture files (24-bit BMP, run-length PCX) into picture surfaces.
#pragma once
#include "display/display.h"

void ReadSpriteInfo(Sprite& sprite, int assetId, int16_t frameCount);
void LoadSprite(Sprite& sprite, int assetId, int16_t frameCount);
