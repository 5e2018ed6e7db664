// The continue screen: after the last life, one more turn for the price of a game.
#pragma once
#include <cstdint>

// 1 when the player bought a continue (Lives is then 0), 0 otherwise; the game phase is set
// to the same value.
uint8_t ContinueScreen();
