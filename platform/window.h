// The main window and its message queue, in the shape of the Win32 calls the game was written
// for: a queue drained by peek / translate / dispatch, and a window procedure run by dispatch.
// With --headless there is no window, but the queue, the touch script and the monkey still work.
#pragma once
#include <cstdint>

constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;

struct MSG {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;  // for WM_LBUTTONDOWN: x in the low 16 bits, y in the high 16 bits
};

using WindowProc = intptr_t (*)(uint32_t message, uintptr_t wParam, intptr_t lParam);

constexpr intptr_t MakePositionWord(int x, int y) {
  return static_cast<intptr_t>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// Full screen with the cursor hidden, or a titled 800 x 600 window with the pointer shown
// (--windowed), or nothing (--headless). False, with a line on standard error, when there is no
// screen to show it on. SIGTERM and SIGINT are caught from here on.
bool CreateMainWindow(WindowProc proc);
void DestroyMainWindow();
bool MainWindowExists();  // a real window on a screen
// The window was closed, a script said "close", or SIGTERM or SIGINT came: the game should end.
bool QuitRequested();

// Removes the next message, if any; never waits. Script events and the monkey's touches whose
// time has come, and the window system's events, enter the queue here.
bool PeekMessage(MSG* msg);
void TranslateMessage(const MSG* msg);
intptr_t DispatchMessage(const MSG* msg);
void PostQuitMessage(int exitCode);
intptr_t DefWindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
void PostMessageForTest(const MSG& msg);

struct RECT;

// Shows an 800 x 600 picture of 5:6:5 pixels; the picture is also what a screenshot saves, so
// the caller keeps it alive until the next call (nullptr: the screen shows nothing). `changed`
// lists where it differs from the picture shown before (count 0: nowhere, so nothing is
// redrawn); count < 0 means anywhere.
void ShowFrame565(const uint16_t* pixels, int pitchPixels, const RECT* changed = nullptr, int count = -1);
bool SaveScreenshot(const char* path);
// Tests see each frame as the window is sent it.
using FrameWatcher = void (*)(const uint16_t* pixels, int pitchPixels, const RECT* changed, int count);
void WatchFrames(FrameWatcher watcher);
// FNV-1a (64 bits) of the 800 x 600 pixels shown, row by row, each pixel low byte first; 0 when
// nothing is shown. Two runs that end on the same picture give the same value.
uint64_t ShownFrameHash();

// A modal message box where a window exists; otherwise the message goes to standard error.
void ShowMessageBox(const char* title, const char* text);
