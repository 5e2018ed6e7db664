// Any bytes as a WAV file: read the chunks, make and fill the buffer, play and mix it.
#include <cstdint>
#include <cstdlib>

#include "platform/dsound.h"
#include "sound/wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WaveFile wave = ReadWaveFile(data, size);
  if (wave.hasData && (wave.dataOffset > size || wave.dataSize > size - wave.dataOffset)) std::abort();
  if (!wave.hasFormat || !wave.hasData) return 0;
  if (wave.format.extraSize != wave.format.extra.size()) std::abort();

  SoundDevice* device = CreatePulledSoundDevice();
  SoundBufferDesc desc{0xE2, wave.dataSize, &wave.format};
  SoundBuffer* buffer = nullptr;
  if (!Failed(device->CreateSoundBuffer(desc, &buffer))) {
    void* region = nullptr;
    uint32_t n = 0;
    if (!Failed(buffer->Lock(0, wave.dataSize, &region, &n))) {
      for (uint32_t i = 0; i < n && i < wave.dataSize; ++i) static_cast<uint8_t*>(region)[i] = data[wave.dataOffset + i];
      buffer->Unlock(region, n);
    }
    buffer->SetCurrentPosition(wave.dataSize / 2);
    buffer->Play(DSBPLAY_LOOPING);
    int16_t out[2 * 700];
    device->Mix(out, 700);
    buffer->SetCurrentPosition(0);
    buffer->Play(0);
    device->Mix(out, 700);
    uint32_t status, position;
    buffer->GetStatus(&status);
    buffer->GetCurrentPosition(&position);
    buffer->Stop();
  }
  ReleaseSoundDevice(device);
  return 0;
}
