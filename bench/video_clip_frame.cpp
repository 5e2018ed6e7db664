// ShowClipFrame on an 800 x 600 clip: decode the next frame, convert it to 5:6:5 and copy it onto
// the back buffer. A clip advances every 30 ms; this must stay well under 5 ms.
// Run: build-*/bin/bench_video_clip_frame
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "display/display.h"
#include "platform/clock.h"
#include "platform/options.h"
#include "tests/unit/video/avi_bytes.h"
#include "video/clip.h"

namespace {
void RunClip(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  Options.headless = true;
  UseVirtualClock(0);
  std::filesystem::path path = std::filesystem::temp_directory_path() / ("quibblo-bench-clip-" + std::to_string(std::random_device{}()) + ".avi");
  WriteBytes(path.string(), bytes);
  InitDisplay();
  StartClip(path.c_str(), 30);
  ShowClipFrame(-1, 0, 0);
  for (auto _ : state) {
    for (int i = 0; i < 31; ++i) GetTickCount();
    ShowClipFrame(1, 0, 0);
    if (ClipState() != 0) {
      state.PauseTiming();
      ShowClipFrame(-1, 0, 0);
      state.ResumeTiming();
    }
  }
  EndClip();
  ReleaseDisplay();
  std::filesystem::remove(path);
}

// Microsoft Video 1, as the game's clips, with every block two-coloured: its busiest ordinary case.
void BM_ShowClipFrameVideo1(benchmark::State& state) { RunClip(state, MakeClip({800, 600, 30, true, true, true, true})); }
void BM_ShowClipFrameUncompressed(benchmark::State& state) { RunClip(state, MakeClip({800, 600, 20, false, true, false})); }
BENCHMARK(BM_ShowClipFrameVideo1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowClipFrameUncompressed)->Unit(benchmark::kMillisecond);
}  // namespace
