#include "game/play_area.h"

#include "display/assets.h"
#include "game/board.h"
#include "shell/timers.h"
#include "sound/sound.h"

namespace {
constexpr uint8_t kTileSpinNoise = 19;
}

void ClearCanvas0() { DrawImageToCanvas(0, Sprites[PicTransparency], 0, 0, 0, nullptr, kOpaque); }

void DrawUpperSideBarsOnCanvas() {
  for (int32_t row : kSideBarRows) {
    DrawImageToCanvas(0, Sprites[PicBar], 1, kLeftBarX, row, nullptr, kKeyed);
    DrawImageToCanvas(0, Sprites[PicBar], 2, kRightBarX, row, nullptr, kKeyed);
  }
}

void ComposeBoardOnCanvas() {
  ClearCanvas0();
  DrawBoard(0);
  DrawUpperSideBarsOnCanvas();
}

void SlideCanvas(Slide direction, int backgroundKeyed) {
  StartTransition(kSlideMs);
  do {
    DrawImage(Sprites[PicTestMain2], 0, 0, 0, &kPlayArea, backgroundKeyed);
    int32_t v = static_cast<int32_t>(TransitionProgress(kSlideDistance));
    int32_t offset = direction == Slide::Out ? -v : v - kSlideDistance;
    DrawCanvas(0, 0, offset, kKeyed, kPlayArea.left, kPlayArea.top, kPlayArea.right, kPlayArea.bottom);
    IdleStep();
    Present();
  } while (!TransitionDone());
}

void IdleFor(uint32_t ms) {
  uint32_t until;
  StartDeadline(until, static_cast<int32_t>(ms));
  do {
    IdleStep();
    Present();
  } while (!DeadlinePassed(until));
}

void StopFlashNoise() { StopSound(kTileSpinNoise); }

void FlashPieces(const FlashPiece* pieces, int count, uint8_t& flag, bool stopNoise) {
  PlaySoundOnce(kTileSpinNoise);
  StartTransition(250);
  uint32_t toggle;
  StartDeadline(toggle, 0);
  do {
    if (DeadlinePassed(toggle)) {
      StartDeadline(toggle, 80);
      flag = !flag;
    }
    for (int i = 0; i < count; i++) {
      const FlashPiece& p = pieces[i];
      DrawImage(Sprites[PicTestMain2], 0, 0, 0, &p.box, kOpaque);
      DrawImage(Sprites[p.picture], flag ? 1 : 2, p.x, p.y, &p.box, kKeyed);
    }
    IdleStep();
    Present();
  } while (!TransitionDone());
  for (int i = 0; i < count; i++) DrawImage(Sprites[PicTestMain2], 0, 0, 0, &pieces[i].box, kOpaque);
  if (stopNoise) StopFlashNoise();
}
