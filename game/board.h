// Drawing the board and its windows.
#pragma once

void IdleStep();
