// PLACEHOLDERS for operations that other subsystems build. Each is weak: the real definition,
// once linked, replaces it. Each does only what start-up and the main loop rely on. Delete a
// placeholder when its real operation lands; this file goes when the last one does.
#include <cstring>

#include "display/assets.h"
#include "display/display.h"
#include "display/images.h"
#include "display/transitions.h"
#include "game/board.h"
#include "game/flow.h"
#include "machine/credit_link.h"
#include "machine/meters.h"
#include "platform/net.h"
#include "platform/window.h"
#include "screens/main_menu.h"
#include "shell/shell.h"
#include "shell/timers.h"
#include "sound/sound.h"

#define PLACEHOLDER __attribute__((weak))

// Display: nothing is drawn; presents still pace and pump so the queue keeps moving.
PLACEHOLDER Sprite Sprites[57];
PLACEHOLDER bool InitDisplay() { return true; }
PLACEHOLDER bool ReleaseDisplay() { return false; }
PLACEHOLDER void DrawImage(Sprite&, int, int, int, const ClipBox*, int) {}
PLACEHOLDER void DrawImageToCanvas(int, Sprite&, int, int, int, const ClipBox*, int) {}
PLACEHOLDER void SaveToCanvas(int, int, int, int, int) {}
PLACEHOLDER void DrawCanvas(int, int, int, int, int, int, int, int) {}
PLACEHOLDER void ClearBackBuffer() {}
PLACEHOLDER void FlipAndWait() {
  static uint32_t pace = 0;
  do PumpMessages();
  while (!DeadlinePassed(pace));
  StartDeadline(pace, 15);
}
PLACEHOLDER void CopyFrontToBack() {}
PLACEHOLDER void Present() { FlipAndWait(); }
PLACEHOLDER void ReleaseImages() {}
PLACEHOLDER void ReadSpriteInfo(Sprite&, int, int16_t) {}
PLACEHOLDER void LoadSprite(Sprite&, int, int16_t) {}
PLACEHOLDER void LoadAssets() {}
PLACEHOLDER void CaptureCanvas(int, const ClipBox*) {}
PLACEHOLDER void BlendCanvas(int32_t, const ClipBox*, int) {}

// Main menu: waits out its thirty seconds untouched, then reports that the player left.
PLACEHOLDER bool RunMainMenu() {
  WaitOrTouch(30000);
  return false;
}
PLACEHOLDER void DrawBankPanel(int) {}
PLACEHOLDER void DrawCreditPanel(int) {}

// Game: no game is played.
PLACEHOLDER uint8_t GetGamePhase() { return kPhaseNone; }
PLACEHOLDER void SetGamePhase(uint8_t) {}
PLACEHOLDER int PlayGame() { return 0; }
PLACEHOLDER void IdleStep() {}
