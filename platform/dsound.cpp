#include "platform/dsound.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/options.h"

// The mixer's state of one buffer. `samples` is written only by the main thread, and swapped in
// under the device lock; the play fields change only under the lock.
struct SoundVoice {
  std::vector<int16_t> samples;  // stereo frames at the device rate
  uint64_t frames = 0;
  uint64_t position = 0;
  bool playing = false;
  bool looping = false;
  uint32_t startMs = 0;  // clocked devices: when the play began, and from which frame
  uint64_t startFrame = 0;
};

namespace {
constexpr int kOutputRate = 44100;
constexpr int kCallbackFrames = 512;
constexpr int kMixChunk = 256;

void AudioCallback(void* userdata, Uint8* stream, int len) {
  static_cast<SoundDevice*>(userdata)->Mix(reinterpret_cast<int16_t*>(stream), len / 4);
}

int SourceSample(const uint8_t* frame, int bits, int channel) {
  if (bits == 8) return (static_cast<int>(frame[channel]) - 128) * 256;
  const uint8_t* p = frame + channel * 2;
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Linear interpolation from the file's rate to the device's, one or two channels to two.
std::vector<int16_t> ConvertToDevice(const WaveFormat& format, const uint8_t* bytes, uint32_t size, int rate) {
  uint64_t sourceFrames = size / format.blockAlign;
  uint64_t frames = sourceFrames * rate / format.samplesPerSec;
  std::vector<int16_t> out(frames * 2);
  if (sourceFrames == 0) return out;
  int bits = format.bitsPerSample;
  bool stereo = format.channels == 2;
  for (uint64_t i = 0; i < frames; ++i) {
    uint64_t fixed = (i * format.samplesPerSec << 16) / rate;  // source position, 16 fraction bits
    uint64_t k = fixed >> 16;
    int64_t frac = static_cast<int64_t>(fixed & 0xFFFF);
    uint64_t next = std::min(k + 1, sourceFrames - 1);
    const uint8_t* a = bytes + k * format.blockAlign;
    const uint8_t* b = bytes + next * format.blockAlign;
    for (int c = 0; c < 2; ++c) {
      int channel = stereo ? c : 0;
      int64_t sa = SourceSample(a, bits, channel), sb = SourceSample(b, bits, channel);
      out[i * 2 + c] = static_cast<int16_t>(sa + ((sb - sa) * frac >> 16));
    }
  }
  return out;
}
}  // namespace

bool WaveFormatPlayable(const WaveFormat& format) {
  bool pcm = format.formatTag == WAVE_FORMAT_PCM;
  // Extensible PCM: the sub-format GUID (after 6 bytes of extra) starts with the PCM tag.
  if (format.formatTag == WAVE_FORMAT_EXTENSIBLE && format.extra.size() >= 22)
    pcm = format.extra[6] == 1 && format.extra[7] == 0;
  if (!pcm) return false;
  if (format.channels != 1 && format.channels != 2) return false;
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
  if (format.blockAlign != format.channels * format.bitsPerSample / 8) return false;
  return format.samplesPerSec >= 100 && format.samplesPerSec <= 200000;
}

SoundBuffer::SoundBuffer(SoundDevice* device, const WaveFormat& format, uint32_t size)
    : device_(device), format_(format), size_(size), playable_(WaveFormatPlayable(format)),
      voice_(std::make_unique<SoundVoice>()) {
  if (playable_ && BytesToFrames(size) > kMaxDeviceFrames) playable_ = false;
  // A mixed buffer has frames once Unlock has converted them; a timed one only needs its length.
  if (playable_ && device->clocked_) voice_->frames = BytesToFrames(size);
}

uint64_t SoundBuffer::BytesToFrames(uint32_t bytes) const {
  return static_cast<uint64_t>(bytes / format_.blockAlign) * device_->rate_ / format_.samplesPerSec;
}

uint32_t SoundBuffer::FramesToBytes(uint64_t frames) const {
  return static_cast<uint32_t>(frames * format_.samplesPerSec / device_->rate_ * format_.blockAlign);
}

HRESULT SoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** region, uint32_t* regionBytes) {
  if (!region || !regionBytes || locked_ || offset >= size_) return DSERR_INVALIDPARAM;
  bytes_.assign(size_, 0);
  locked_ = true;
  *region = bytes_.data() + offset;
  *regionBytes = std::min(bytes, size_ - offset);
  return DS_OK;
}

HRESULT SoundBuffer::Unlock(void*, uint32_t) {
  if (!locked_) return DSERR_INVALIDPARAM;
  locked_ = false;
  if (playable_ && !device_->clocked_) {
    std::vector<int16_t> samples = ConvertToDevice(format_, bytes_.data(), size_, device_->rate_);
    std::lock_guard<std::mutex> hold(device_->lock_);
    voice_->samples.swap(samples);
    voice_->frames = voice_->samples.size() / 2;
    if (voice_->position >= voice_->frames) voice_->position = 0;
  }
  std::vector<uint8_t>().swap(bytes_);
  return DS_OK;
}

void SoundBuffer::SettleClockedPlay() {
  SoundVoice& v = *voice_;
  if (!device_->clocked_ || !v.playing) return;
  uint32_t elapsed = ClockPeek() - v.startMs;
  uint64_t reached = v.startFrame + static_cast<uint64_t>(elapsed) * device_->rate_ / 1000;
  if (v.looping) {
    v.position = v.frames ? reached % v.frames : 0;
  } else if (reached >= v.frames) {
    v.playing = false;
    v.position = 0;
  } else {
    v.position = reached;
  }
  v.startMs = ClockPeek();
  v.startFrame = v.position;
}

HRESULT SoundBuffer::SetCurrentPosition(uint32_t bytes) {
  if (bytes >= size_) return DSERR_INVALIDPARAM;
  if (!playable_) return DS_OK;
  std::lock_guard<std::mutex> hold(device_->lock_);
  SettleClockedPlay();
  voice_->position = std::min(BytesToFrames(bytes), voice_->frames ? voice_->frames - 1 : 0);
  voice_->startMs = ClockPeek();
  voice_->startFrame = voice_->position;
  return DS_OK;
}

HRESULT SoundBuffer::GetCurrentPosition(uint32_t* bytes) {
  if (!bytes) return DSERR_INVALIDPARAM;
  if (!playable_) {
    *bytes = 0;
    return DS_OK;
  }
  std::lock_guard<std::mutex> hold(device_->lock_);
  SettleClockedPlay();
  *bytes = FramesToBytes(voice_->position);
  return DS_OK;
}

HRESULT SoundBuffer::Play(uint32_t flags) {
  if (!playable_ || voice_->frames == 0) return DS_OK;
  std::lock_guard<std::mutex> hold(device_->lock_);
  SettleClockedPlay();
  voice_->playing = true;
  voice_->looping = (flags & DSBPLAY_LOOPING) != 0;
  voice_->startMs = ClockPeek();
  voice_->startFrame = voice_->position;
  return DS_OK;
}

HRESULT SoundBuffer::Stop() {
  if (!playable_) return DS_OK;
  std::lock_guard<std::mutex> hold(device_->lock_);
  SettleClockedPlay();
  voice_->playing = false;
  voice_->looping = false;
  return DS_OK;
}

HRESULT SoundBuffer::GetStatus(uint32_t* status) {
  if (!status) return DSERR_INVALIDPARAM;
  *status = 0;
  if (!playable_) return DS_OK;
  // A loop that only asks whether a sound still plays must see it end: on the virtual clock,
  // which moves only when read, asking is a read.
  if (device_->clocked_) timeGetTime();
  std::lock_guard<std::mutex> hold(device_->lock_);
  SettleClockedPlay();
  if (voice_->playing) *status |= DSBSTATUS_PLAYING;
  if (voice_->playing && voice_->looping) *status |= DSBSTATUS_LOOPING;
  return DS_OK;
}

SoundDevice::~SoundDevice() {
  if (output_) {
    SDL_CloseAudioDevice(output_);  // the callback has returned for good after this
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
}

HRESULT SoundDevice::SetCooperativeLevel(uint32_t level) {
  return level >= DSSCL_NORMAL && level <= DSSCL_WRITEPRIMARY ? DS_OK : DSERR_INVALIDPARAM;
}

HRESULT SoundDevice::CreateSoundBuffer(const SoundBufferDesc& desc, SoundBuffer** buffer) {
  if (!buffer) return DSERR_INVALIDPARAM;
  *buffer = nullptr;
  if (!desc.format || desc.bufferBytes < DSBSIZE_MIN || desc.bufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
  std::unique_ptr<SoundBuffer> made(new SoundBuffer(this, *desc.format, desc.bufferBytes));
  {
    std::lock_guard<std::mutex> hold(lock_);
    voices_.push_back(made->voice_.get());
  }
  *buffer = made.get();
  buffers_.push_back(std::move(made));
  return DS_OK;
}

void SoundDevice::Mix(int16_t* out, int frames) {
  std::lock_guard<std::mutex> hold(lock_);
  int32_t sum[kMixChunk * 2];
  for (int done = 0; done < frames;) {
    int n = std::min(kMixChunk, frames - done);
    std::fill(sum, sum + n * 2, 0);
    for (SoundVoice* v : voices_) {
      if (!v->playing || v->samples.empty()) continue;
      const int16_t* src = v->samples.data();
      for (int i = 0; i < n && v->playing; ++i) {
        sum[i * 2] += src[v->position * 2];
        sum[i * 2 + 1] += src[v->position * 2 + 1];
        if (++v->position >= v->frames) {
          v->position = 0;
          v->playing = v->looping;
        }
      }
    }
    for (int i = 0; i < n * 2; ++i) out[done * 2 + i] = static_cast<int16_t>(std::clamp(sum[i], -32768, 32767));
    done += n;
  }
}

HRESULT DirectSoundCreate(SoundDevice** device) {
  if (!device) return DSERR_INVALIDPARAM;
  *device = nullptr;
  std::unique_ptr<SoundDevice> made(new SoundDevice());
  if (Options.headless) {
    made->clocked_ = true;
    *device = made.release();
    return DS_OK;
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DSERR_NODRIVER;
  SDL_AudioSpec want{}, have{};
  want.freq = kOutputRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kCallbackFrames;
  want.callback = AudioCallback;
  want.userdata = made.get();
  made->output_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // SDL converts to the hardware
  if (made->output_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return DSERR_NODRIVER;
  }
  made->rate_ = kOutputRate;
  SDL_PauseAudioDevice(made->output_, 0);
  *device = made.release();
  return DS_OK;
}

SoundDevice* CreatePulledSoundDevice() { return new SoundDevice(); }

void ReleaseSoundDevice(SoundDevice* device) { delete device; }
