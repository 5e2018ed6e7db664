#include "screens/buttons.h"

const ButtonRow MainMenuButtons[] = {{" Main Menu", 29, 487, 192, 113}, {" Rules", 304, 487, 192, 113},
                                     {" Start", 579, 487, 192, 113}, {nullptr, 0, 0, 0, 0}};
const ButtonRow TrueFalseButtons[] = {{" True", 20, 337, 228, 104}, {" False", 362, 337, 228, 104}, {nullptr, 0, 0, 0, 0}};
const ButtonRow TakeLeaveButtons[] = {{" Take", 20, 337, 228, 104}, {" Leave", 362, 337, 228, 104}, {nullptr, 0, 0, 0, 0}};
const ButtonRow YesNoButtons[] = {{" Yes", 20, 337, 228, 104}, {" No", 362, 337, 228, 104}, {nullptr, 0, 0, 0, 0}};
const ButtonRow BoxButtons[] = {{nullptr, 0, 0, 0, 0}};
WaitState ButtonWait;

// Minimal bodies until the money link lands; the waits come next.
int32_t HitTest(const ButtonRow*, int32_t, int32_t) { return -1; }
void ArmButtons(const ButtonRow*) {}
int32_t PollButtons(const ButtonRow*) { return 0; }
int32_t WaitForButton(const ButtonRow*) { return 0; }
int32_t WaitMainMenu() { return 0; }
int32_t WaitTrueFalse() { return 0; }
int32_t WaitTakeLeave() { return 0; }
int32_t WaitBox() { return 0; }
int32_t WaitYesNo() { return 0; }
void BoardWaitIdle() {}
void ContinueWaitIdle() {}
void OfferWaitIdle() {}
