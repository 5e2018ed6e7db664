// The main menu, the information screen and the money panels.
#pragma once
#include <cstdint>

bool RunMainMenu();
void DrawBankPanel(int target);
void DrawCreditPanel(int target);
