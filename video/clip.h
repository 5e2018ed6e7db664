// The clip player: AVI clips decoded frame by frame onto the back buffer, advancing on the tick clock.
#pragma once
#include <cstdint>

struct AviFile;
struct AviStream;
struct AviFrameReader;
struct DibHeader;

constexpr int kMaxClipStreams = 5;

// One for the whole run: made before the program starts (starting the AVI library) and gone after
// it ends (closing any clip and the library).
class ClipPlayer {
 public:
  ClipPlayer();
  ~ClipPlayer();
  ClipPlayer(const ClipPlayer&) = delete;
  ClipPlayer& operator=(const ClipPlayer&) = delete;

  bool Open(const char* path);  // false when the clip cannot be read; then it holds nothing
  void Close();

  AviFile* file = nullptr;
  int audioCount = 0;
  AviStream* audioStreams[kMaxClipStreams] = {};
  uint8_t* audioFormats[kMaxClipStreams] = {};
  int videoCount = 0;
  AviStream* videoStreams[kMaxClipStreams] = {};
  uint8_t* videoFormats[kMaxClipStreams] = {};
  AviFrameReader* frameReaders[kMaxClipStreams] = {};

 private:
  bool GetStreams(uint32_t type, AviStream** streams, uint8_t** formats, int& count);
};

extern ClipPlayer Clips;

// Playback state.
extern int32_t ClipPlayState;  // 0 playing, 1 reached the end, 2 closed
extern int32_t ClipPosition;   // the frame to show
extern uint16_t ClipInterval;  // milliseconds between frame advances
extern uint32_t ClipNextAdvance;
extern const DibHeader* ClipCurrentFrame;

int32_t StartClip(const char* path, uint16_t interval);
int32_t ShowClipFrame(int32_t step, int32_t x, int32_t y);
int32_t ClipState();
int32_t EndClip();
