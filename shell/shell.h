// Program-wide state of the machine shell, and the program itself.
#pragma once
#include <cstdint>

extern int16_t TouchX, TouchY;  // the last touch; -1, -1 when there is none
extern int16_t Stake;           // the price of one game in pence
extern int ServerSocket;        // the connection to the credit server

// The window procedure: stores touches, posts quit on destroy.
intptr_t MainWindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

// The whole program: start-up, games, shut-down; returns the exit code.
int QuibbloMain(int argc, char** argv);
