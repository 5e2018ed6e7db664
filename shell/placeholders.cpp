// PLACEHOLDERS for operations that other subsystems build. Each is weak: the real definition,
// once linked, replaces it. Each does only what start-up and the main loop rely on. Delete a
// placeholder when its real operation lands; this file goes when the last one does.
#include <cstring>

#include "game/board.h"
#include "game/flow.h"
#include "machine/credit_link.h"
#include "machine/meters.h"
#include "platform/net.h"
#include "platform/window.h"
#include "shell/shell.h"
#include "shell/timers.h"
#include "sound/sound.h"

#define PLACEHOLDER __attribute__((weak))

// Game: no game is played.
PLACEHOLDER uint8_t GetGamePhase() { return kPhaseNone; }
PLACEHOLDER void SetGamePhase(uint8_t) {}
PLACEHOLDER int PlayGame() { return 0; }
PLACEHOLDER void IdleStep() {}
