#include "platform/window.h"

#include <SDL.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>

#include "platform/clock.h"
#include "platform/ddraw.h"
#include "platform/options.h"
#include "platform/png.h"
#include "platform/touch_record.h"

namespace {
constexpr int kScreenW = 800, kScreenH = 600;

WindowProc windowProc = nullptr;
std::deque<MSG> queue;
size_t nextScriptEvent = 0;

SDL_Window* window = nullptr;
// A window of the screen's own size is drawn straight into its surface, so a frame converts and
// sends only what changed; any other size is scaled by a renderer, which redraws it whole.
SDL_Surface* windowSurface = nullptr;
SDL_Surface* frameSurface = nullptr;  // wraps the picture last shown; remade when it moves
bool windowResized = false;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;

const uint16_t* shownPixels = nullptr;
volatile sig_atomic_t quitRequested = 0;
bool quitRecorded = false;
bool redrawWhole = true;  // the window has lost what it showed
int shownPitch = kScreenW;

struct Monkey {
  std::mt19937 rng;
  uint32_t nextMs = 0;
  void Start(uint32_t seed) {
    rng.seed(seed);
    Plan(0);
  }
  // A touch every 0.1 to 1.1 s hammers the glass.
  void Plan(uint32_t from) { nextMs = from + 100 + rng() % 1000; }
  // A soak wants game after game from one process, so the monkey spares the bottom-left corner,
  // where the main menu's "Main Menu" button ends the program, and hits the bottom-right corner,
  // where Start is, one touch in five: at the touch rate above, the idle menu's thirty seconds
  // pass without a game about once in 70,000 visits.
  void Pick(int& x, int& y) {
    if (rng() % 5 == 0) {
      x = 579 + static_cast<int>(rng() % 192);
      y = 487 + static_cast<int>(rng() % 113);
      return;
    }
    do {
      x = static_cast<int>(rng() % kScreenW);
      y = static_cast<int>(rng() % kScreenH);
    } while (x < 240 && y >= 470);
  }
} monkey;

// Written with the time it happens, as ClockSinceStart moves the same way when played again.
void Record(ScriptEvent::Kind kind, int x = 0, int y = 0, const std::string& file = {}) {
  if (TouchRecordOpen()) RecordScriptEvent({kind, ClockSinceStart(), x, y, file});
}

// The window's close button, a script's "close" and a stop signal all ask the game to end. The
// destroy message still goes through the queue; the request itself survives a flush of it.
void QueueDestroy() {
  quitRequested = 1;
  quitRecorded = true;
  Record(ScriptEvent::Close);
  queue.push_back({WM_DESTROY, 0, 0});
}

void OnStopSignal(int) { quitRequested = 1; }

// A second SIGINT or SIGTERM (the handler is reset once taken) stops a game that will not end.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// SDL falls back on drivers that show nothing; a cabinet that nobody can see must say so. A
// driver asked for by name is taken as meant.
bool NoScreen() {
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  if (asked && *asked) return false;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return !(x11 && *x11) && !(wayland && *wayland);
}

bool ShowsNothing() {
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  const char* driver = SDL_GetCurrentVideoDriver();
  if ((asked && *asked) || !driver) return false;
  return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

constexpr const char* kNoScreen = "quibblo: no display here (DISPLAY and WAYLAND_DISPLAY are not set): "
                                  "run it on the cabinet's screen, or add --headless\n";

// Every touch comes through here, so it is recorded as it enters the queue: a script line of
// that time enters the queue at the same read of the clock when played again.
void QueueTouch(int x, int y) {
  Record(ScriptEvent::Touch, x, y);
  queue.push_back({WM_LBUTTONDOWN, 1, MakePositionWord(x, y)});
}

// Window positions to the 800 x 600 screen the game draws.
void QueueWindowTouch(int wx, int wy) {
  int w = kScreenW, h = kScreenH;
  if (window) SDL_GetWindowSize(window, &w, &h);
  if (w <= 0 || h <= 0) return;
  QueueTouch(static_cast<int>(static_cast<int64_t>(wx) * kScreenW / w),
             static_cast<int>(static_cast<int64_t>(wy) * kScreenH / h));
}

void PollWindowSystem() {
  if (!window) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT && e.button.which != SDL_TOUCH_MOUSEID)
          QueueWindowTouch(e.button.x, e.button.y);
        break;
      case SDL_FINGERDOWN:
        QueueTouch(static_cast<int>(e.tfinger.x * kScreenW), static_cast<int>(e.tfinger.y * kScreenH));
        break;
      case SDL_QUIT:
        QueueDestroy();
        break;
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED) redrawWhole = true;
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) redrawWhole = windowResized = true;
        break;
      default:
        break;
    }
  }
}

void RunDueScriptEvents() {
  const auto& script = Options.script;
  if (nextScriptEvent >= script.size() && !Options.monkey) return;
  uint32_t now = ClockSinceStart();
  while (nextScriptEvent < script.size() && script[nextScriptEvent].ms <= now) {
    const ScriptEvent& e = script[nextScriptEvent++];
    switch (e.kind) {
      case ScriptEvent::Touch: QueueTouch(e.x, e.y); break;
      case ScriptEvent::Close: QueueDestroy(); break;
      case ScriptEvent::Shot:
        // at the time it is taken: the script's own time could be earlier than a touch before it
        Record(ScriptEvent::Shot, 0, 0, e.file);
        if (!SaveScreenshot(e.file.c_str())) std::fprintf(stderr, "quibblo: cannot save %s\n", e.file.c_str());
        break;
    }
  }
  if (Options.monkey && now >= monkey.nextMs) {
    int x, y;
    monkey.Pick(x, y);
    QueueTouch(x, y);
    monkey.Plan(now);
  }
}

bool MakeRenderer() {
  renderer = SDL_CreateRenderer(window, -1, 0);
  if (renderer)
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, kScreenW, kScreenH);
  return texture != nullptr;
}

void MakeWindowDrawable() {
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  if (w == kScreenW && h == kScreenH) windowSurface = SDL_GetWindowSurface(window);
  if (!windowSurface) MakeRenderer();
}

// After a resize the window's surface is a new one; a window no longer of the screen's size
// gets its frames scaled whole.
void RefreshWindowSurface() {
  windowResized = false;
  windowSurface = SDL_GetWindowSurface(window);
}

SDL_Surface* FrameSurface(const uint16_t* pixels, int pitchPixels) {
  if (frameSurface && frameSurface->pixels == pixels && frameSurface->pitch == pitchPixels * 2) return frameSurface;
  if (frameSurface) SDL_FreeSurface(frameSurface);
  frameSurface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint16_t*>(pixels), kScreenW, kScreenH, 16,
                                                    pitchPixels * 2, SDL_PIXELFORMAT_RGB565);
  return frameSurface;
}

void SurfaceShow(const uint16_t* pixels, int pitchPixels, const RECT* changed, int count) {
  if (windowResized) RefreshWindowSurface();
  if (!windowSurface) return;
  SDL_Surface* frame = pixels ? FrameSurface(pixels, pitchPixels) : nullptr;
  if (!frame) {
    SDL_FillRect(windowSurface, nullptr, 0);
    SDL_UpdateWindowSurface(window);
    return;
  }
  if (windowSurface->w != kScreenW || windowSurface->h != kScreenH) {
    SDL_BlitScaled(frame, nullptr, windowSurface, nullptr);
    SDL_UpdateWindowSurface(window);
    return;
  }
  if (count < 0) {
    SDL_BlitSurface(frame, nullptr, windowSurface, nullptr);
    SDL_UpdateWindowSurface(window);
    return;
  }
  SDL_Rect areas[64];
  int sent = 0;
  for (int i = 0; i < count; ++i) {
    const RECT& r = changed[i];
    SDL_Rect area{r.left, r.top, r.right - r.left, r.bottom - r.top};
    SDL_Rect to = area;  // a blit writes its clipped rectangle back into the destination
    SDL_BlitSurface(frame, &area, windowSurface, &to);
    areas[sent++] = area;
    if (sent == 64) {
      SDL_UpdateWindowSurfaceRects(window, areas, sent);
      sent = 0;
    }
  }
  if (sent) SDL_UpdateWindowSurfaceRects(window, areas, sent);
}

void RendererShow(const uint16_t* pixels, int pitchPixels, const RECT* changed, int count) {
  if (!texture) return;
  if (!pixels) {
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    return;
  }
  if (count < 0) {
    SDL_UpdateTexture(texture, nullptr, pixels, pitchPixels * 2);
  } else {
    for (int i = 0; i < count; ++i) {
      const RECT& r = changed[i];
      SDL_Rect area{r.left, r.top, r.right - r.left, r.bottom - r.top};
      SDL_UpdateTexture(texture, &area, pixels + static_cast<size_t>(r.top) * pitchPixels + r.left, pitchPixels * 2);
    }
  }
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}
}  // namespace

bool CreateMainWindow(WindowProc proc) {
  windowProc = proc;
  nextScriptEvent = 0;
  quitRequested = 0;
  quitRecorded = false;
  if (Options.monkey) monkey.Start(Options.monkeySeed);
  if (Options.headless) {
    CatchStopSignals();
    return true;
  }
  if (NoScreen()) {
    std::fputs(kNoScreen, stderr);
    return false;
  }
  SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // The window's own shared-memory surface takes just the rectangles that changed; SDL's
  // OpenGL stand-in for it would upload and draw the whole frame each time.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "quibblo: no display (%s): run it on the cabinet's screen, or add --headless\n",
                 SDL_GetError());
    return false;
  }
  if (ShowsNothing()) {
    std::fputs(kNoScreen, stderr);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  CatchStopSignals();
  // The cabinet's screen is all game; a window on a desktop is one among others.
  Uint32 flags = Options.windowed ? 0 : (SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS);
  int at = Options.windowed ? SDL_WINDOWPOS_CENTERED : 0;
  window = SDL_CreateWindow(Options.windowed ? "Quibblo" : "", at, at, kScreenW, kScreenH, flags | SDL_WINDOW_SHOWN);
  if (window) MakeWindowDrawable();
  if (!windowSurface && !texture) {
    std::fprintf(stderr, "quibblo: cannot create the window (%s): try --windowed, or --headless\n", SDL_GetError());
    DestroyMainWindow();
    return false;
  }
  SDL_ShowCursor(Options.windowed ? SDL_ENABLE : SDL_DISABLE);
  return true;
}

void DestroyMainWindow() {
  if (frameSurface) SDL_FreeSurface(frameSurface);
  frameSurface = nullptr;
  windowSurface = nullptr;  // the window owns it
  windowResized = false;
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
  shownPixels = nullptr;
  redrawWhole = true;
  if (!Options.headless) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool MainWindowExists() { return window != nullptr; }

bool QuitRequested() { return quitRequested != 0; }

bool PeekMessage(MSG* msg) {
  PollWindowSystem();
  RunDueScriptEvents();
  // A stop signal ends the game as a close does; the handler itself cannot write the line.
  if (quitRequested && !quitRecorded) {
    quitRecorded = true;
    Record(ScriptEvent::Close);
  }
  if (queue.empty()) return false;
  *msg = queue.front();
  queue.pop_front();
  return true;
}

void TranslateMessage(const MSG*) {}

intptr_t DispatchMessage(const MSG* msg) {
  if (windowProc) return windowProc(msg->message, msg->wParam, msg->lParam);
  return DefWindowProc(msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) { queue.push_back({WM_QUIT, static_cast<uintptr_t>(exitCode), 0}); }

intptr_t DefWindowProc(uint32_t, uintptr_t, intptr_t) { return 0; }

void PostMessageForTest(const MSG& msg) { queue.push_back(msg); }

namespace {
FrameWatcher frameWatcher = nullptr;
}
void WatchFrames(FrameWatcher watcher) { frameWatcher = watcher; }

void ShowFrame565(const uint16_t* pixels, int pitchPixels, const RECT* changed, int count) {
  if (frameWatcher) frameWatcher(pixels, pitchPixels, changed, count);
  bool whole = count < 0 || !shownPixels || redrawWhole;
  shownPixels = pixels;
  shownPitch = pitchPixels;
  if (!window) return;
  if (!whole && count == 0 && pixels) return;  // the same picture: the window already shows it
  redrawWhole = false;
  if (windowSurface) {
    SurfaceShow(pixels, pitchPixels, whole ? nullptr : changed, whole ? -1 : count);
  } else {
    RendererShow(pixels, pitchPixels, whole ? nullptr : changed, whole ? -1 : count);
  }
}

bool SaveScreenshot(const char* path) { return WritePng565(path, shownPixels, kScreenW, kScreenH, shownPitch); }

uint64_t ShownFrameHash() {
  if (!shownPixels) return 0;
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < kScreenH; ++y) {
    const uint16_t* row = shownPixels + static_cast<size_t>(y) * shownPitch;
    for (int x = 0; x < kScreenW; ++x) {
      h = (h ^ (row[x] & 0xFF)) * 1099511628211ull;
      h = (h ^ (row[x] >> 8)) * 1099511628211ull;
    }
  }
  return h;
}

void ShowMessageBox(const char* title, const char* text) {
  if (window && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, window) == 0) return;
  std::fprintf(stderr, "quibblo: %s: %s\n", title, text);
}
