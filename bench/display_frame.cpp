// One step of a full-screen cross-fade, Present (headless and in a window when one can be
// made), a question of 150 characters, and picture decoding, each beside its baseline.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "display/fonts.h"
#include "display/surfaces.h"
#include "display/transitions.h"
#include "display_bench_util.h"
#include "platform/clock.h"
#include "platform/options.h"
#include "platform/window.h"

using namespace bench_display;

namespace {
intptr_t NoProc(uint32_t, uintptr_t, intptr_t) { return 0; }

struct Screen {
  ScratchDir scratch;
  Screen() {
    UseVirtualClock(0);  // presents pace on a clock that moves only when read
    InitDisplay();
    WriteAsset(4, Bmp(800, 600, Photo));
    WriteAsset(14, Bmp(24, 96 * 30, [](int x, int y) {
                 return x <= 4 + (y / 30) % 15 ? Rgb{255, 255, 255} : kKey;
               }));
    LoadSprite(Sprites[4], 4, 1);
    LoadSprite(Sprites[14], 14, 96);
  }
  ~Screen() {
    ReleaseImages();
    ReleaseDisplay();
  }
};
Screen& TheScreen() {
  static Screen screen;
  return screen;
}

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint16_t> a(800 * 600, 1), b(800 * 600);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 2);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFrame);

void BM_BlendCanvasStep(benchmark::State& state) {
  TheScreen();
  DrawImageToCanvas(1, Sprites[4], 0, 0, 0, nullptr, kOpaque);
  DrawImageToCanvas(0, Sprites[4], 0, 0, 0, nullptr, kOpaque);
  DrawImageToCanvas(0, Sprites[14], 3, 0, 0, nullptr, kOpaque);  // some transparent pixels
  CaptureCanvas(1, &kFullScreen);
  CaptureCanvas(0, &kFullScreen);
  int p = 0;
  for (auto _ : state) {
    BlendCanvas(p, &kFullScreen, kKeyed);
    p = (p + 7) % 101;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BlendCanvasStep);

// A frame as the game draws one: a panel of `changed` pixels a side (a 200 x 150 panel is the
// usual frame, 800 x 600 a whole screen, 0 nothing at all) drawn, then presented.
const ClipBox* FrameArea(int64_t kind) {
  static const ClipBox panel{300, 500, 225, 375}, none{0, 0, 0, 0};
  return kind == 0 ? &none : kind == 1 ? &panel : &kFullScreen;
}
const char* FrameName(int64_t kind) { return kind == 0 ? "nothing changed" : kind == 1 ? "200x150 changed" : "whole screen changed"; }

void DrawAndPresent(const ClipBox* area, int frame) {
  if (area->right > area->left) DrawImage(Sprites[4], 0, frame % 2, 0, area, kOpaque);
  Present();
}

void BM_PresentHeadless(benchmark::State& state) {
  TheScreen();
  const ClipBox* area = FrameArea(state.range(0));
  state.SetLabel(FrameName(state.range(0)));
  int frame = 0;
  for (auto _ : state) DrawAndPresent(area, ++frame);
}
BENCHMARK(BM_PresentHeadless)->ArgName("frame")->Arg(0)->Arg(1)->Arg(2);

void BM_PresentWindow(benchmark::State& state) {
  TheScreen();
  Options.windowed = true;
  if (!CreateMainWindow(NoProc)) {
    state.SkipWithError("no window can be made here");
    return;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  state.SetLabel(std::string(driver ? driver : "?") + ", " + FrameName(state.range(0)));
  const ClipBox* area = FrameArea(state.range(0));
  int frame = 0;
  for (auto _ : state) DrawAndPresent(area, ++frame);
  DestroyMainWindow();
  Options.windowed = false;
}
BENCHMARK(BM_PresentWindow)->ArgName("frame")->Arg(0)->Arg(1)->Arg(2);

// SDL's software renderer given a whole frame and a 200 x 150 update, the anchors of the above.
void BM_SdlTextureUpdate(benchmark::State& state) {
  SDL_Window* window = SDL_CreateWindow("", 0, 0, 800, 600, SDL_WINDOW_HIDDEN);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
  SDL_Texture* texture =
      renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, 800, 600) : nullptr;
  if (!texture) {
    state.SkipWithError("no window can be made here");
    return;
  }
  std::vector<uint16_t> pixels(800 * 600, 0x1234);
  SDL_Rect panel{300, 225, 200, 150};
  bool whole = state.range(0) == 2;
  state.SetLabel(whole ? "whole frame" : "200x150");
  for (auto _ : state) {
    SDL_UpdateTexture(texture, whole ? nullptr : &panel, pixels.data() + (whole ? 0 : 225 * 800 + 300), 1600);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
  }
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
}
BENCHMARK(BM_SdlTextureUpdate)->ArgName("frame")->Arg(1)->Arg(2);

void BM_WriteQuestion(benchmark::State& state) {
  TheScreen();
  std::string question =
      "Which of these animals is the largest living land mammal found today in the wild grasslands "
      "and the forests of both Africa and Asia, the elephant?";
  question.resize(150, '.');
  for (auto _ : state) {
    TextCentred = 1;
    TextMiddle = 1;
    WriteText(question.c_str(), 39, 126, 536, 191, 14);
  }
  TextMiddle = 0;
}
BENCHMARK(BM_WriteQuestion);

void BM_DecodeBmp(benchmark::State& state) {
  std::vector<uint8_t> file = Bmp(800, 600, Photo);
  Picture565 picture;
  for (auto _ : state) benchmark::DoNotOptimize(DecodeBmp(file.data(), file.size(), picture));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_DecodeBmp);

void BM_DecodePcx(benchmark::State& state) {
  std::vector<uint8_t> file = Pcx(800, 600, Boxes);
  Picture565 picture;
  for (auto _ : state) benchmark::DoNotOptimize(DecodePcx(file.data(), file.size(), picture));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
  state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 800 * 600, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodePcx);
}  // namespace
