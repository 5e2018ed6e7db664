#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/surfaces.h"
#include "platform/avifile.h"
#include "platform/clock.h"
#include "platform/ddraw.h"
#include "platform/files.h"
#include "video/clip.h"

ClipPlayer Clips;

int32_t ClipPlayState = 0;
int32_t ClipPosition = 0;
uint16_t ClipInterval = 0;
uint32_t ClipNextAdvance = 0;
const DibHeader* ClipCurrentFrame = nullptr;

namespace {
// The frame copied onto the back buffer with its top-left corner at (x, y), cut to the surface.
void DrawFrame(const DibHeader* frame, int32_t x, int32_t y) {
  if (!BackBuffer || frame->bitCount != 16 || frame->compression != BI_BITFIELDS) return;
  DDSURFACEDESC2 desc;
  if (BackBuffer->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return;  // left undrawn, as a failed GetDC
  int width = frame->width, height = std::abs(frame->height);
  int left = std::max(0, -x), top = std::max(0, -y);
  int right = std::min(width, static_cast<int>(desc.dwWidth) - x);
  int bottom = std::min(height, static_cast<int>(desc.dwHeight) - y);
  const uint8_t* bits = DibBits(frame);
  int stride = DibStride(frame);
  auto* target = static_cast<uint8_t*>(desc.lpSurface);
  for (int row = top; row < bottom && left < right; ++row) {
    int sourceRow = frame->height < 0 ? row : height - 1 - row;  // bottom-up pictures too
    std::memcpy(target + static_cast<ptrdiff_t>(y + row) * desc.lPitch + static_cast<ptrdiff_t>(x + left) * 2,
                bits + static_cast<ptrdiff_t>(sourceRow) * stride + left * 2, static_cast<size_t>(right - left) * 2);
  }
  BackBuffer->Unlock(nullptr);
}
}  // namespace

ClipPlayer::ClipPlayer() { AVIFileInit(); }

ClipPlayer::~ClipPlayer() {
  Close();
  AVIFileExit();
}

bool ClipPlayer::GetStreams(uint32_t type, AviStream** streams, uint8_t** formats, int& count) {
  count = 0;
  while (count < kMaxClipStreams && AVIFileGetStream(file, &streams[count], type, count) == AVIERR_OK) ++count;
  for (int i = 0; i < count; ++i) {
    int32_t size = 0;
    int32_t start = AVIStreamStart(streams[i]);
    if (AVIStreamReadFormat(streams[i], start, nullptr, &size) != AVIERR_OK || size <= 0) return false;
    formats[i] = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
    if (!formats[i] || AVIStreamReadFormat(streams[i], start, formats[i], &size) != AVIERR_OK) return false;
  }
  return true;
}

bool ClipPlayer::Open(const char* path) {
  Close();
  if (AVIFileOpen(&file, ResolvePath(path).c_str()) != AVIERR_OK) {
    file = nullptr;
    return false;
  }
  if (!GetStreams(streamtypeAUDIO, audioStreams, audioFormats, audioCount) ||
      !GetStreams(streamtypeVIDEO, videoStreams, videoFormats, videoCount)) {
    Close();
    return false;
  }
  return true;
}

void ClipPlayer::Close() {
  for (int i = 0; i < kMaxClipStreams; ++i) {
    if (frameReaders[i]) AVIStreamGetFrameClose(frameReaders[i]);
    AVIStreamRelease(audioStreams[i]);
    AVIStreamRelease(videoStreams[i]);
    delete[] audioFormats[i];
    delete[] videoFormats[i];
    frameReaders[i] = nullptr;
    audioStreams[i] = videoStreams[i] = nullptr;
    audioFormats[i] = videoFormats[i] = nullptr;
  }
  AVIFileRelease(file);
  file = nullptr;
  audioCount = videoCount = 0;
}

int32_t StartClip(const char* path, uint16_t interval) {
  Clips.Open(path);
  if (Clips.videoCount == 0) return -1;
  Clips.frameReaders[0] = AVIStreamGetFrameOpen(Clips.videoStreams[0]);
  ClipPlayState = 0;
  ClipPosition = 0;
  ClipNextAdvance = 0;
  ClipInterval = interval;
  return 0;
}

int32_t ShowClipFrame(int32_t step, int32_t x, int32_t y) {
  if (step < 0) {
    ClipPlayState = 0;
    ClipPosition = 0;
    ClipNextAdvance = 0;
    step = 0;
  }
  if (ClipPlayState == 0) {
    uint32_t now = GetTickCount();
    if (now > ClipNextAdvance) {
      ClipPosition += step;
      ClipNextAdvance = now + ClipInterval;
    }
  }
  ClipCurrentFrame = AVIStreamGetFrame(Clips.frameReaders[0], ClipPosition);
  if (!ClipCurrentFrame) {
    ClipPlayState = 1;
    ClipCurrentFrame = AVIStreamGetFrame(Clips.frameReaders[0], ClipPosition - step);
  }
  if (ClipCurrentFrame) DrawFrame(ClipCurrentFrame, x, y);
  return 0;
}

int32_t ClipState() { return ClipPlayState; }

int32_t EndClip() {
  Clips.Close();
  ClipCurrentFrame = nullptr;
  ClipPlayState = 2;
  return 0;
}
