// Small WAV files made in the tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct WaveSpec {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 22050;
  uint16_t bits = 16;
  std::vector<uint8_t> extra;  // written with its size for a tag other than 1
};

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void PutId(std::vector<uint8_t>& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

inline std::vector<uint8_t> FormatChunk(const WaveSpec& s) {
  std::vector<uint8_t> c;
  uint16_t align = static_cast<uint16_t>(s.channels * s.bits / 8);
  PutId(c, "fmt ");
  Put32(c, s.tag == 1 ? 16 : 18 + static_cast<uint32_t>(s.extra.size()));
  Put16(c, s.tag);
  Put16(c, s.channels);
  Put32(c, s.rate);
  Put32(c, s.rate * align);
  Put16(c, align);
  Put16(c, s.bits);
  if (s.tag != 1) {
    Put16(c, static_cast<uint32_t>(s.extra.size()));
    c.insert(c.end(), s.extra.begin(), s.extra.end());
    if (c.size() & 1) c.push_back(0);
  }
  return c;
}

inline std::vector<uint8_t> DataChunk(const std::vector<uint8_t>& samples, uint32_t claimed) {
  std::vector<uint8_t> c;
  PutId(c, "data");
  Put32(c, claimed);
  c.insert(c.end(), samples.begin(), samples.end());
  return c;
}

inline std::vector<uint8_t> Riff(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> body;
  PutId(body, "WAVE");
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  std::vector<uint8_t> b;
  PutId(b, "RIFF");
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// A WAV of `ms` milliseconds of a ramp in the given format.
inline std::vector<uint8_t> MakeWave(const WaveSpec& s, uint32_t ms) {
  uint32_t frames = s.rate * ms / 1000;
  std::vector<uint8_t> samples;
  for (uint32_t i = 0; i < frames * s.channels; ++i) {
    if (s.bits == 8)
      samples.push_back(static_cast<uint8_t>(128 + (i % 64)));
    else
      Put16(samples, static_cast<uint16_t>(static_cast<int16_t>((i % 64) * 100)));
  }
  return Riff({FormatChunk(s), DataChunk(samples, static_cast<uint32_t>(samples.size()))});
}
