// The game phase, and one whole game from set-up to its end: the player's box, the turns of
// question and pick, the reveals and the win at the twentieth pick.
#pragma once
#include <cstdint>

constexpr uint8_t kPhaseNone = 0, kPhasePlaying = 1, kPhaseWon = 2, kPhaseAfterLostQuestion = 5;
constexpr uint32_t kPickMs = 10000;

uint8_t GetGamePhase();
void SetGamePhase(uint8_t phase);
int PlayGame();
void RunGame();
bool PlayTurn();
int32_t PickBox();
bool BoxSelectable(int32_t box);
void ChoosePlayerBox();
