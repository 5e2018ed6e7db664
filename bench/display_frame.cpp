// One step of a full-screen cross-fade, Present (headless and in a window when one can be
// made), a question of 150 characters, and picture decoding, each beside its baseline.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>

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

void BM_PresentHeadless(benchmark::State& state) {
  TheScreen();
  for (auto _ : state) Present();
}
BENCHMARK(BM_PresentHeadless);

void BM_PresentWindow(benchmark::State& state) {
  TheScreen();
  Options.windowed = true;
  if (!CreateMainWindow(NoProc)) {
    state.SkipWithError("no window can be made here");
    return;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  state.SetLabel(driver ? driver : "?");
  for (auto _ : state) Present();
  DestroyMainWindow();
  Options.windowed = false;
}
BENCHMARK(BM_PresentWindow);

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
