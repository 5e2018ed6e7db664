// The sound device in the shape of DirectSound: static buffers filled once through Lock / Unlock,
// played once or looping from a set position, mixed in the background. Over SDL audio; with
// --headless there is no output, and a playing buffer runs for its real length on the clock.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

using HRESULT = int32_t;
constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078);
inline bool Failed(HRESULT hr) { return hr < 0; }

constexpr uint32_t DSSCL_NORMAL = 1;
constexpr uint32_t DSSCL_WRITEPRIMARY = 4;
constexpr uint32_t DSBCAPS_STATIC = 0x02;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBPLAY_LOOPING = 1;
constexpr uint32_t DSBSTATUS_PLAYING = 1;
constexpr uint32_t DSBSTATUS_LOOPING = 4;
constexpr uint32_t DSBSIZE_MIN = 4;
constexpr uint32_t DSBSIZE_MAX = 0x0FFFFFFF;
// The longest sound the device holds once converted (about 12 minutes); a longer one is silent.
constexpr uint64_t kMaxDeviceFrames = uint64_t{1} << 25;

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// The wave format record: the 16 bytes every WAV has, then the extra bytes of non-PCM formats.
struct WaveFormat {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;
  std::vector<uint8_t> extra;
};

// 8 or 16 bit integer PCM, one or two channels, 100 to 200000 samples a second.
bool WaveFormatPlayable(const WaveFormat& format);

struct SoundBufferDesc {
  uint32_t flags = 0;
  uint32_t bufferBytes = 0;
  const WaveFormat* format = nullptr;
};

struct SoundVoice;  // the mixer's view of a buffer
class SoundDevice;

// A buffer of the device: belongs to it and goes when the device is released. A buffer whose
// format cannot be played accepts every call but stays silent and never reports playing.
class SoundBuffer {
 public:
  // The whole buffer, in the format it was created with; the samples are converted to the
  // device's format at Unlock, so the mixer never converts.
  HRESULT Lock(uint32_t offset, uint32_t bytes, void** region, uint32_t* regionBytes);
  HRESULT Unlock(void* region, uint32_t bytes);
  HRESULT SetCurrentPosition(uint32_t bytes);
  HRESULT GetCurrentPosition(uint32_t* bytes);
  HRESULT Play(uint32_t flags);
  HRESULT Stop();
  HRESULT GetStatus(uint32_t* status);
  const WaveFormat& Format() const { return format_; }
  uint32_t Size() const { return size_; }

 private:
  friend class SoundDevice;
  SoundBuffer(SoundDevice* device, const WaveFormat& format, uint32_t size);
  uint64_t BytesToFrames(uint32_t bytes) const;
  uint32_t FramesToBytes(uint64_t frames) const;
  void SettleClockedPlay();  // headless: moves a finished play to its end

  SoundDevice* device_;
  WaveFormat format_;
  uint32_t size_;
  std::vector<uint8_t> bytes_;  // the caller's copy while locked, in the buffer's own format
  bool locked_ = false;
  bool playable_;
  std::unique_ptr<SoundVoice> voice_;
};

class SoundDevice {
 public:
  ~SoundDevice();
  HRESULT SetCooperativeLevel(uint32_t level);
  HRESULT CreateSoundBuffer(const SoundBufferDesc& desc, SoundBuffer** buffer);
  // What the audio callback runs: adds every playing buffer into `frames` stereo frames of
  // signed 16-bit samples at `OutputRate`. No allocation, no waiting beyond a short lock.
  void Mix(int16_t* out, int frames);
  int OutputRate() const { return rate_; }
  bool HasOutput() const { return output_ != 0; }
  bool Clocked() const { return clocked_; }

 private:
  friend HRESULT DirectSoundCreate(SoundDevice** device);
  friend SoundDevice* CreatePulledSoundDevice();
  friend class SoundBuffer;
  SoundDevice() = default;

  uint32_t output_ = 0;  // the SDL device id, 0 without one
  bool clocked_ = false;  // headless: plays are timed on the clock instead of mixed
  int rate_ = 44100;
  std::mutex lock_;  // between the main thread and the audio callback; held only briefly
  std::vector<std::unique_ptr<SoundBuffer>> buffers_;
  std::vector<SoundVoice*> voices_;  // read by the mixer under the lock
};

// The default device: SDL's audio output, or a clock-timed device without output in headless mode.
HRESULT DirectSoundCreate(SoundDevice** device);
// A device without output whose mix the caller pulls with Mix (benchmarks, checks of the mixer).
SoundDevice* CreatePulledSoundDevice();
void ReleaseSoundDevice(SoundDevice* device);
