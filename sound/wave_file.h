// The RIFF WAVE reader: the format record and where the samples lie, from a file's bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/dsound.h"

struct WaveFile {
  bool hasFormat = false;
  bool hasData = false;
  WaveFormat format;
  size_t dataOffset = 0;
  uint32_t dataSize = 0;  // what the file really holds, however much the chunk claims
};

// Walks the chunks as the multimedia file functions do: into the first chunk, "fmt " inside it,
// back to just after the form type, "data" inside it. Never reads outside `bytes`.
WaveFile ReadWaveFile(const uint8_t* bytes, size_t size);
