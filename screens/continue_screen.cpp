#include "screens/continue_screen.h"

#include "game/flow.h"

uint8_t ContinueScreen() {
  SetGamePhase(0);
  return 0;
}
