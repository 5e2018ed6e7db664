#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "display/assets.h"
#include "display/display.h"
#include "display/images.h"
#include "display/surfaces.h"
#include "display/transitions.h"
#include "game/flow.h"
#include "game/journal_events.h"
#include "game/payout.h"
#include "machine/credit_link.h"
#include "machine/journal.h"
#include "machine/meters.h"
#include "machine/money_due.h"
#include "machine/replay.h"
#include "platform/clock.h"
#include "platform/files.h"
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
int ServerSocket = kNoSocket;

namespace {
constexpr int kMeterSecondsPlayed = 425;
constexpr int kReplayStartX = 675, kReplayStartY = 543;  // the menu's Start button
constexpr int kReplayDeparted = 3;
constexpr uint32_t kReplayStartAfterMs = 100;  // once the menu waits: a touch before is flushed
constexpr int kLoadingPicture = 1;

// A start-up failure is one line on standard error: what is wrong and what to do.
void Say(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(stderr, "quibblo: %s\n", text);
}

constexpr const char* kWriteTree = "`quibblo-assets --out .`";

bool DataTreeHere() { return FileExists("Graphic_resource") && FileExists("Questions"); }

// Every picture the game draws must load before a stake is taken: a cabinet playing on a
// black screen takes money for games nobody can see.
bool PicturesReady() {
  const char* reason = "";
  int broken = FirstBrokenPicture(reason);
  if (broken == 0 && Device) return true;
  if (!DataTreeHere()) {
    Say("no data tree here: run %s", kWriteTree);
  } else if (broken != 0) {
    const char* path = AssetTable[broken - 1].path;
    LogWrite("Picture %s cannot be loaded (%s)\n", path, reason);
    Say("picture %s cannot be loaded (%s): write the data tree again with %s", ResolvePath(path).c_str(), reason,
        kWriteTree);
  } else {
    Say("the display was lost while the pictures loaded: start the game again");
  }
  return false;
}

const char* FirstMissingQuestionFile() {
  for (const QuestionFileRow* row = QuestionFiles; row->path; ++row)
    if (FileSize(row->path) < 0) return row->path;
  return nullptr;
}

void SayQuestionsFailed() {
  const char* missing = FirstMissingQuestionFile();
  if (!DataTreeHere())
    Say("no data tree here: run %s", kWriteTree);
  else if (missing)
    Say("question file %s is missing: write the data tree again with %s", ResolvePath(missing).c_str(), kWriteTree);
  else
    Say("the question files cannot be read: write the data tree again with %s", kWriteTree);
}

void Disconnect() {
  SendTerm();
  NetClose(ServerSocket);
  ServerSocket = kNoSocket;
}

void ShowLoadingPicture() {
  ClearBackBuffer();
  Sprite loading;
  LoadSprite(loading, kLoadingPicture, 1);
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
  JournalPlayStarts();
  ReplayPlayStarts();
  MeterIncrement(static_cast<int16_t>(PayoutBand() + 1));
  uint32_t start = timeGetTime();
  PlayGame();
  uint32_t end = timeGetTime();
  MeterAdd(kMeterSecondsPlayed, static_cast<int16_t>((end - start) / 1000));
  RecordPrize();
  SaveRecord();
  GameBooked();
  JournalGameOver();
  ReplayEndShot();
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
      JournalTouch(TouchX, TouchY);
      return 1;
    default:
      return DefWindowProc(message, wParam, lParam);
  }
}

int QuibbloMain(int argc, char** argv) {
  if (int code = ParseOptions(argc, argv); code >= 0) return code;
  std::string why;
  if (Options.virtualClock) UseVirtualClock(Options.clockStart);
  if (!Options.replayPlan.empty()) {
    // A replay books a game: never into a cabinet's own record, journal or due file.
    if (FileExists("data")) {
      Say("--replay plays in a folder of its own, without data/ (quibblo-recall replay makes one)");
      return kUsageExit;
    }
    if (!ReplayLoad(Options.replayPlan, why)) {
      Say("%s", why.c_str());
      return kUsageExit;
    }
  }

  TouchX = TouchY = -1;
  Stake = 50;
  if (!CreateMainWindow(MainWindowProc)) return -1;

  if (int code = ConnectCreditServer(why); code != 0) {
    if (code == 2 && why.rfind("no credit server", 0) == 0)
      Say("%s: start `quibblo-credit serve`", why.c_str());
    else if (code == 1)
      Say("cannot make a network socket: check the system's limit on open files");
    else
      Say("%s", why.c_str());
    return code;
  }

  // No log can be written and nothing is said to the server: the process just ends.
  if (MakeSystemDirectories() != 0) {
    Say("cannot make the folders ~system/logs and ~system/upload here: run the game in a folder it can write");
    return 0;
  }
  OpenLog();

  if (!InitDisplay()) {
    Say("the display cannot be started: try --windowed, or --headless");
    Disconnect();
    DestroyMainWindow();
    return -6;
  }
  ShowLoadingPicture();
  LoadRecord();
  if (!IndexQuestionFiles()) {
    SayQuestionsFailed();
    return FailureExit(-7);
  }
  if (!InitSound()) {
    Say("the sound system cannot be started: try --headless");
    return FailureExit(-8);
  }
  SeedRandom(timeGetTime());
  if (!PicturesReady()) return FailureExit(-6);
  JournalOpen();
  MoneyDue left;
  ReadDueFile(left);
  RecoverDue();  // only a cabinet that can show a game settles what an earlier one owes
  int32_t owed = 0;
  MachineService(&owed);
  JournalMarkInterrupted(left, Due, owed > 0);
  LoadAssets();
  FadeToMainMenu();
  ReleaseImage(kLoadingPicture);  // never shown again: its million bytes are better free

  int code = 0;
  if (ReplayActive()) {
    // One game, then the end. Start is pressed on the menu as the player did, so that the game
    // begins from the same screens and sounds; the menu then restores the recorded state.
    ScriptEvent start{};
    start.kind = ScriptEvent::Touch;
    start.ms = ClockSinceStart() + kReplayStartAfterMs;
    start.x = kReplayStartX;
    start.y = kReplayStartY;
    Options.script.push_back(start);
    if (RunMainMenu()) PlayOneGameAndBook();
    else std::fprintf(stderr, "quibblo: replay: the recorded game did not start again\n");
    if (!ReplayDeparture().empty()) {
      std::fprintf(stderr, "quibblo: replay: %s\n", ReplayDeparture().c_str());
      code = kReplayDeparted;
    }
  } else {
    while (RunMainMenu()) PlayOneGameAndBook();
  }
  JournalClose();

  LogWrite("Closing log\n");
  CloseLog();
  ClearBackBuffer();
  FlipAndWait();
  ClearBackBuffer();
  ReleaseImages();
  ReleaseDisplay();
  Disconnect();
  DestroyMainWindow();
  return code;
}
