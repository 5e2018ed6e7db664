#include <cstdint>
#include <cstdio>
#include <string>

#include "display/assets.h"
#include "display/display.h"
#include "display/images.h"
#include "display/transitions.h"
#include "game/flow.h"
#include "game/payout.h"
#include "machine/credit_link.h"
#include "machine/meters.h"
#include "machine/money_due.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/options.h"
#include "platform/window.h"
#include "questions/question_files.h"
#include "screens/main_menu.h"
#include "shell/log.h"
#include "shell/shell.h"
#include "shell/timers.h"
#include "sound/sound.h"

int16_t TouchX = -1, TouchY = -1;
int16_t Stake = 50;
int ServerSocket = kNoSocket;

namespace {
constexpr int kMeterSecondsPlayed = 425;

void Disconnect() {
  SendTerm();
  NetClose(ServerSocket);
  ServerSocket = kNoSocket;
}

void ShowLoadingPicture() {
  ClearBackBuffer();
  Sprite loading;
  LoadSprite(loading, 1, 1);
  PumpFor(1);
  DrawImage(loading, 0, 0, 0, nullptr, kOpaque);
  Present();
}

void FadeToMainMenu() {
  SaveToCanvas(1, 0, 0, 800, 600);
  CaptureCanvas(1, &kFullScreen);
  DrawImageToCanvas(0, Sprites[4], 0, 0, 0, nullptr, kOpaque);
  DrawBankPanel(0);
  DrawCreditPanel(0);
  CaptureCanvas(0, &kFullScreen);
  StartTransition(800);
  do {
    BlendCanvas(static_cast<int32_t>(TransitionProgress(100)), &kFullScreen, kKeyed);
    Present();
  } while (!TransitionDone());
}

void PlayOneGameAndBook() {
  MeterIncrement(static_cast<int16_t>(PayoutBand() + 1));
  uint32_t start = timeGetTime();
  PlayGame();
  uint32_t end = timeGetTime();
  MeterAdd(kMeterSecondsPlayed, static_cast<int16_t>((end - start) / 1000));
  RecordPrize();
  SaveRecord();
  GameBooked();
  IgnoreInputFor(200);
}

int FailureExit(int code) {
  ReleaseImages();
  ReleaseDisplay();
  Disconnect();
  DestroyMainWindow();
  return code;
}
}  // namespace

intptr_t MainWindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 1;
    case WM_LBUTTONDOWN:
      TouchX = static_cast<int16_t>(lParam & 0xFFFF);
      TouchY = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
      return 1;
    default:
      return DefWindowProc(message, wParam, lParam);
  }
}

int QuibbloMain(int argc, char** argv) {
  if (int code = ParseOptions(argc, argv); code >= 0) return code;
  if (Options.virtualClock) UseVirtualClock(Options.clockStart);

  TouchX = TouchY = -1;
  Stake = 50;
  if (!CreateMainWindow(MainWindowProc)) return -1;

  std::string why;
  if (int code = ConnectCreditServer(why); code != 0) {
    std::fprintf(stderr, "quibblo: %s\n", why.c_str());
    return code;
  }

  // No log can be written and nothing is said to the server: the process just ends.
  if (MakeSystemDirectories() != 0) return 0;
  OpenLog();

  if (!InitDisplay()) {
    Disconnect();
    DestroyMainWindow();
    return -6;
  }
  ShowLoadingPicture();
  LoadRecord();
  RecoverDue();
  if (!IndexQuestionFiles()) return FailureExit(-7);
  if (!InitSound()) return FailureExit(-8);
  SeedRandom(timeGetTime());
  LoadAssets();
  FadeToMainMenu();

  while (RunMainMenu()) PlayOneGameAndBook();

  LogWrite("Closing log\n");
  CloseLog();
  ClearBackBuffer();
  FlipAndWait();
  ClearBackBuffer();
  ReleaseImages();
  ReleaseDisplay();
  Disconnect();
  DestroyMainWindow();
  return 0;
}
