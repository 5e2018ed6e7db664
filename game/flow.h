// The game phase, and one whole game from set-up to its end.
#pragma once
#include <cstdint>

constexpr uint8_t kPhaseNone = 0, kPhasePlaying = 1, kPhaseWon = 2, kPhaseAfterLostQuestion = 5;

uint8_t GetGamePhase();
void SetGamePhase(uint8_t phase);
int PlayGame();
