// What the question, offer and continue screens share: panels composed on canvas 0 and slid
// through the play area, and the flashing of a touched face.
#pragma once
#include <cstdint>

#include "display/display.h"

constexpr ClipBox kPlayArea{16, 611, 0, 443};
constexpr int32_t kSlideDistance = 444;
constexpr uint32_t kSlideMs = 600;

// Canvas 0 emptied to the transparent colour.
void ClearCanvas0();
// The board of boxes composed on canvas 0, with the eight side bars over it.
void ComposeBoardOnCanvas();
// The side bars on canvas 0 at the four upper rows.
void DrawUpperSideBarsOnCanvas();

// Canvas 0 slid through the play area over 600 ms: out moves it up and away, in brings it
// into place. The background under it is TestMain2, keyed or not.
enum class Slide { Out, In };
void SlideCanvas(Slide direction, int backgroundKeyed);

// `ms` of the board's idle animation, presenting every frame.
void IdleFor(uint32_t ms);

// One picture that flashes: frames 1 and 2 of `picture` at (x, y) inside `box`.
struct FlashPiece {
  int picture;
  int32_t x, y;
  ClipBox box;
};
// TileSpinNoise and 250 ms of flashing, the flag toggled every 80 ms starting at once; the
// background is put back in each box at the end and, unless the caller still draws over it,
// the noise stopped. `flag` belongs to the screen and persists.
void FlashPieces(const FlashPiece* pieces, int count, uint8_t& flag, bool stopNoise = true);
void StopFlashNoise();
