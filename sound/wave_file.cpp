#include "sound/wave_file.h"

#include <algorithm>

namespace {
constexpr uint32_t FourCC(const char (&s)[5]) {
  return static_cast<uint32_t>(s[0]) | static_cast<uint32_t>(s[1]) << 8 | static_cast<uint32_t>(s[2]) << 16 |
         static_cast<uint32_t>(s[3]) << 24;
}
constexpr uint32_t kRiff = FourCC("RIFF");
constexpr uint32_t kList = FourCC("LIST");
constexpr uint32_t kFmt = FourCC("fmt ");
constexpr uint32_t kData = FourCC("data");
constexpr size_t kPcmFormatBytes = 16;

struct Chunk {
  uint32_t id = 0;
  uint32_t size = 0;      // as the file claims it
  size_t dataOffset = 0;  // just after the header
  size_t end = 0;         // where the claimed data ends, cut at the end of the file
};

// A cursor over the file's bytes with the descend / ascend / seek moves of the chunk functions.
class RiffReader {
 public:
  RiffReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  // Reads the chunk header at the cursor; RIFF and LIST chunks also have their form type read.
  bool DescendHere(Chunk& chunk) {
    if (size_ - pos_ < 8) return false;
    chunk.id = Word32(pos_);
    chunk.size = Word32(pos_ + 4);
    chunk.dataOffset = pos_ + 8;
    chunk.end = chunk.dataOffset + std::min<size_t>(chunk.size, size_ - chunk.dataOffset);
    pos_ = chunk.dataOffset;
    if (chunk.id == kRiff || chunk.id == kList) pos_ = std::min(pos_ + 4, chunk.end);
    return true;
  }

  // Finds the chunk `id` from the cursor on, inside `parent`; each skipped chunk keeps its pad byte.
  bool Find(uint32_t id, const Chunk& parent, Chunk& chunk) {
    while (pos_ < parent.end && parent.end - pos_ >= 8) {
      if (!DescendHere(chunk)) return false;
      if (chunk.id == id) return true;
      pos_ = PaddedEnd(chunk);
    }
    return false;
  }

  void Ascend(const Chunk& chunk) { pos_ = PaddedEnd(chunk); }
  void Seek(size_t offset) { pos_ = std::min(offset, size_); }

  // Reads at most `count` bytes, never past `limit` (a chunk's end) or the file's end.
  size_t Read(uint8_t* out, size_t count, size_t limit) {
    size_t end = std::min(limit, size_);
    size_t n = pos_ < end ? std::min(count, end - pos_) : 0;
    std::copy(bytes_ + pos_, bytes_ + pos_ + n, out);
    pos_ += n;
    return n;
  }

 private:
  uint32_t Word32(size_t at) const {
    return static_cast<uint32_t>(bytes_[at]) | static_cast<uint32_t>(bytes_[at + 1]) << 8 |
           static_cast<uint32_t>(bytes_[at + 2]) << 16 | static_cast<uint32_t>(bytes_[at + 3]) << 24;
  }
  size_t PaddedEnd(const Chunk& chunk) const {
    size_t end = chunk.dataOffset + static_cast<size_t>(chunk.size) + (chunk.size & 1);
    return std::min(end, size_);
  }

  const uint8_t* bytes_;
  size_t size_;
  size_t pos_ = 0;
};

uint16_t Word16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Word32(const uint8_t* p) { return static_cast<uint32_t>(Word16(p)) | static_cast<uint32_t>(Word16(p + 2)) << 16; }

// The 16 bytes of the PCM record, then for other formats the extra size and the extra bytes.
bool ReadFormat(RiffReader& reader, const Chunk& fmt, WaveFormat& format) {
  uint8_t head[kPcmFormatBytes];
  if (reader.Read(head, sizeof head, fmt.end) != sizeof head) return false;
  format.formatTag = Word16(head);
  format.channels = Word16(head + 2);
  format.samplesPerSec = Word32(head + 4);
  format.avgBytesPerSec = Word32(head + 8);
  format.blockAlign = Word16(head + 12);
  format.bitsPerSample = Word16(head + 14);
  format.extraSize = 0;
  format.extra.clear();
  if (format.formatTag == WAVE_FORMAT_PCM) return true;
  uint8_t sizeBytes[2];
  if (reader.Read(sizeBytes, 2, fmt.end) != 2) return true;
  // Only the extra bytes really present are kept, and the size says so.
  format.extra.resize(Word16(sizeBytes));
  format.extra.resize(reader.Read(format.extra.data(), format.extra.size(), fmt.end));
  format.extraSize = static_cast<uint16_t>(format.extra.size());
  return true;
}
}  // namespace

WaveFile ReadWaveFile(const uint8_t* bytes, size_t size) {
  WaveFile wave;
  if (!bytes) return wave;
  RiffReader reader(bytes, size);
  Chunk riff, fmt, data;
  if (!reader.DescendHere(riff)) return wave;
  if (reader.Find(kFmt, riff, fmt)) {
    wave.hasFormat = ReadFormat(reader, fmt, wave.format);
    reader.Ascend(fmt);
  }
  reader.Seek(riff.dataOffset + 4);
  if (reader.Find(kData, riff, data)) {
    wave.hasData = true;
    wave.dataOffset = data.dataOffset;
    wave.dataSize = static_cast<uint32_t>(data.end - data.dataOffset);
  }
  return wave;
}
