// Any bytes as a clip file: opened by the clip player, its streams and formats read, and its
// first frames decoded and drawn onto the back buffer as the game plays a clip.
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "display/display.h"
#include "display/surfaces.h"
#include "fuzz_support.h"
#include "platform/avifile.h"
#include "platform/clock.h"
#include "platform/options.h"
#include "video/clip.h"

namespace {
constexpr const char* kClip = "Graphic_resource\\avis\\Fuzz.avi";
constexpr int kFramesShown = 4;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Options.headless = true;
  UseVirtualClock(1000);
  fuzz::EnterScratchFolder("fuzz_clip_player");
  std::filesystem::create_directories("Graphic_resource/avis");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!Device && !InitDisplay()) std::abort();
  fuzz::WriteFile("Graphic_resource/avis/Fuzz.avi", data, size);

  if (StartClip(kClip, 0) == 0) {
    if (Clips.videoCount < 1 || Clips.videoCount > kMaxClipStreams) std::abort();
    // Positions forward, past the end, and back to the start, as replays do.
    for (int i = 0; i < kFramesShown && ClipState() == 0; ++i) ShowClipFrame(1, i * 7 - 5, 560 - i * 9);
    ShowClipFrame(-1, 790, -3);
  }
  EndClip();
  if (Clips.file || Clips.videoCount || Clips.audioCount) std::abort();
  return 0;
}
