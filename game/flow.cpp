#include "game/flow.h"

namespace {
uint8_t gamePhase = kPhaseNone;
}

uint8_t GetGamePhase() { return gamePhase; }
void SetGamePhase(uint8_t phase) { gamePhase = phase; }
int PlayGame() { return 0; }
void RunGame() {}
bool PlayTurn() { return true; }
int32_t PickBox() { return 0; }
bool BoxSelectable(int32_t) { return false; }
void ChoosePlayerBox() {}
