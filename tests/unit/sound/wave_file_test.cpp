#include <gtest/gtest.h>

#include "sound/wave_file.h"
#include "unit/sound/wave_bytes.h"

namespace {
WaveFile Read(const std::vector<uint8_t>& b) { return ReadWaveFile(b.data(), b.size()); }

std::vector<uint8_t> Chunk(const char* id, std::vector<uint8_t> body) {
  std::vector<uint8_t> c;
  PutId(c, id);
  Put32(c, static_cast<uint32_t>(body.size()));
  for (uint8_t byte : body) c.push_back(byte);
  if (body.size() & 1) c.push_back(0);
  return c;
}

TEST(WaveFile, FindsChunksInAnyOrderSkippingOthersAndTheirPadBytes) {
  WaveSpec wave{1, 2, 8000, 8, {}};
  std::vector<uint8_t> samples{1, 2, 3, 4, 5, 6};
  std::vector<uint8_t> b = Riff({Chunk("LIST", {'I', 'N', 'F', 'O', 'x'}), DataChunk(samples, 6), FormatChunk(wave)});
  WaveFile w = Read(b);
  ASSERT_TRUE(w.hasFormat);
  ASSERT_TRUE(w.hasData);
  EXPECT_EQ(w.format.channels, 2);
  EXPECT_EQ(w.format.samplesPerSec, 8000u);
  EXPECT_EQ(w.format.bitsPerSample, 8);
  EXPECT_EQ(w.format.extraSize, 0);
  EXPECT_EQ(w.dataSize, 6u);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + static_cast<long>(w.dataOffset), b.begin() + static_cast<long>(w.dataOffset) + 6), samples);
}

TEST(WaveFile, KeepsOnlyTheExtraBytesReallyThere) {
  std::vector<uint8_t> fmt;
  Put16(fmt, 0x55);  // MPEG layer 3
  Put16(fmt, 1);
  Put32(fmt, 44100);
  Put32(fmt, 16000);
  Put16(fmt, 1);
  Put16(fmt, 0);
  Put16(fmt, 12);  // claims 12 extra bytes, has 3
  fmt.insert(fmt.end(), {9, 8, 7});
  WaveFile w = Read(Riff({Chunk("fmt ", fmt), DataChunk({0, 0}, 2)}));
  ASSERT_TRUE(w.hasFormat);
  EXPECT_EQ(w.format.formatTag, 0x55);
  EXPECT_EQ(w.format.extraSize, 3);
  EXPECT_EQ(w.format.extra, (std::vector<uint8_t>{9, 8, 7}));
}

TEST(WaveFile, LiesAboutSizesAreCutAtTheFileOrChunk) {
  WaveSpec wave;
  std::vector<uint8_t> b = Riff({FormatChunk(wave), DataChunk(std::vector<uint8_t>(10, 1), 1000000)});
  EXPECT_EQ(Read(b).dataSize, 10u);
  // A "fmt " chunk too short for the PCM record gives no format, and never the data's bytes.
  std::vector<uint8_t> shortFmt = Riff({Chunk("fmt ", {1, 0, 1, 0}), DataChunk(std::vector<uint8_t>(64, 0x22), 64)});
  WaveFile w = Read(shortFmt);
  EXPECT_FALSE(w.hasFormat);
  EXPECT_TRUE(w.hasData);
  // A RIFF size of 4 hides every chunk.
  std::vector<uint8_t> tiny = MakeWave(wave, 10);
  tiny[4] = 4;
  tiny[5] = tiny[6] = tiny[7] = 0;
  w = Read(tiny);
  EXPECT_FALSE(w.hasFormat);
  EXPECT_FALSE(w.hasData);
  // A chunk claiming 4 GB ends the search instead of wrapping around.
  std::vector<uint8_t> huge = Riff({Chunk("junk", {1, 2}), FormatChunk(wave)});
  huge[16] = huge[17] = huge[18] = huge[19] = 0xFF;
  EXPECT_FALSE(Read(huge).hasFormat);
}

TEST(WaveFile, NothingFromFilesThatAreNotWaves) {
  EXPECT_FALSE(Read({}).hasFormat);
  EXPECT_FALSE(ReadWaveFile(nullptr, 10).hasData);
  std::vector<uint8_t> text{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'};
  WaveFile w = Read(text);
  EXPECT_FALSE(w.hasFormat);
  EXPECT_FALSE(w.hasData);
}
}  // namespace
