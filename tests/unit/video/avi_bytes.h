// Small AVI clips made in the tests: uncompressed 24-bit bottom-up frames, or Microsoft Video 1
// (16-bit, as the game's clips are), optionally with a PCM audio stream, with an index.
#pragma once
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// Whether FFmpeg is mapped already: once loaded it stays, so a test of its absence can only run
// in a process that no clip has touched yet (ctest runs each test alone).
inline bool FfmpegLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("libavutil.so") != std::string::npos) return true;
  return false;
}

struct ClipSpec {
  int width = 32;
  int height = 24;
  int frames = 5;
  bool audio = false;
  bool index = true;
  bool video1 = false;  // sides then must be multiples of 4
  bool busy = false;    // Video 1 with every block two-coloured in a pattern (for timing)
};

// The colour of frame k (exact in 5:6:5) and of its top-left pixel, which marks the orientation.
inline uint16_t FrameColour565(int k) { return static_cast<uint16_t>(((k * 3 + 1) & 31) << 11 | 0x20 << 5 | 8); }
constexpr uint16_t kCornerColour565 = 0xF81F;

namespace avi_bytes {
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
inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> c;
  PutId(c, id);
  Put32(c, static_cast<uint32_t>(body.size()));
  for (uint8_t x : body) c.push_back(x);
  if (body.size() & 1) c.push_back(0);
  return c;
}
inline std::vector<uint8_t> List(const char* type, const std::vector<std::vector<uint8_t>>& items, const char* id = "LIST") {
  std::vector<uint8_t> body;
  PutId(body, type);
  for (const auto& i : items)
    for (uint8_t x : i) body.push_back(x);
  return Chunk(id, body);
}
inline std::vector<uint8_t> StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate,
                                         uint32_t length, uint32_t sampleSize, int w, int h) {
  std::vector<uint8_t> b;
  PutId(b, type);
  PutId(b, handler);
  Put32(b, 0);  // flags
  Put32(b, 0);  // priority, language
  Put32(b, 0);  // initial frames
  Put32(b, scale);
  Put32(b, rate);
  Put32(b, 0);  // start
  Put32(b, length);
  Put32(b, 0);  // suggested buffer size
  Put32(b, 0xFFFFFFFF);
  Put32(b, sampleSize);
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, static_cast<uint32_t>(w));
  Put16(b, static_cast<uint32_t>(h));
  return b;
}
}  // namespace avi_bytes

namespace avi_bytes {
inline uint16_t To555(uint16_t c565) { return static_cast<uint16_t>((c565 >> 11) << 10 | ((c565 >> 6) & 31) << 5 | (c565 & 31)); }

// One-colour blocks, bottom row of blocks first; the top-left block is two-colour to mark its
// top-left pixel (bit k is pixel k % 4 of row k / 4 counted from the block's bottom).
inline std::vector<uint8_t> Video1Frame(const ClipSpec& c, uint16_t colour) {
  std::vector<uint8_t> b;
  uint16_t fill = static_cast<uint16_t>(0x8000 | To555(colour));
  for (int by = c.height / 4 - 1; by >= 0; --by)
    for (int bx = 0; bx < c.width / 4; ++bx) {
      bool corner = bx == 0 && by == 0;
      if (c.busy) {
        Put16(b, static_cast<uint32_t>(bx * 131 + by * 71 + colour) & 0x7FFF);
        Put16(b, To555(kCornerColour565));
        Put16(b, To555(colour));
      } else if (corner || (fill >> 8 & 0xFC) == 0x84) {  // those high bytes would mean "skip"
        Put16(b, corner ? 1u << 12 : 0);
        Put16(b, To555(kCornerColour565));
        Put16(b, To555(colour));
      } else {
        Put16(b, fill);
      }
    }
  return b;
}

inline std::vector<uint8_t> RawFrame(const ClipSpec& c, uint16_t colour) {
  int stride = (c.width * 3 + 3) & ~3;
  std::vector<uint8_t> pixels(static_cast<size_t>(stride * c.height), 0);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      uint16_t v = x == 0 && y == 0 ? kCornerColour565 : colour;
      uint8_t* p = &pixels[static_cast<size_t>((c.height - 1 - y) * stride + x * 3)];  // bottom-up rows
      p[0] = static_cast<uint8_t>((v & 31) << 3);
      p[1] = static_cast<uint8_t>(((v >> 5) & 63) << 2);
      p[2] = static_cast<uint8_t>((v >> 11) << 3);
    }
  return pixels;
}
}  // namespace avi_bytes

// Frames listed in `repeats` are stored as empty chunks: "show the frame before again".
inline std::vector<uint8_t> MakeClip(const ClipSpec& c, const std::vector<int>& repeats = {}) {
  using namespace avi_bytes;
  int stride = c.video1 ? c.width * 2 : (c.width * 3 + 3) & ~3;
  uint32_t frameBytes = static_cast<uint32_t>(stride * c.height);
  const char* handler = c.video1 ? "CRAM" : "DIB ";
  std::vector<uint8_t> avih;
  Put32(avih, 40000);  // 25 frames a second
  Put32(avih, 0);
  Put32(avih, 0);
  Put32(avih, c.index ? 0x10 : 0);
  Put32(avih, static_cast<uint32_t>(c.frames));
  Put32(avih, 0);
  Put32(avih, c.audio ? 2 : 1);
  Put32(avih, frameBytes);
  Put32(avih, static_cast<uint32_t>(c.width));
  Put32(avih, static_cast<uint32_t>(c.height));
  for (int i = 0; i < 4; ++i) Put32(avih, 0);

  std::vector<uint8_t> bih;
  Put32(bih, 40);
  Put32(bih, static_cast<uint32_t>(c.width));
  Put32(bih, static_cast<uint32_t>(c.height));
  Put16(bih, 1);
  Put16(bih, c.video1 ? 16 : 24);
  if (c.video1)
    PutId(bih, "CRAM");
  else
    Put32(bih, 0);
  Put32(bih, frameBytes);
  for (int i = 0; i < 4; ++i) Put32(bih, 0);
  std::vector<std::vector<uint8_t>> header{
      Chunk("avih", avih),
      List("strl", {Chunk("strh", StreamHeader("vids", handler, 1, 25, static_cast<uint32_t>(c.frames), 0, c.width, c.height)),
                    Chunk("strf", bih)})};
  std::vector<uint8_t> wfx;
  if (c.audio) {
    Put16(wfx, 1);
    Put16(wfx, 1);
    Put32(wfx, 8000);
    Put32(wfx, 16000);
    Put16(wfx, 2);
    Put16(wfx, 16);
    Put16(wfx, 0);
    header.push_back(List("strl", {Chunk("strh", StreamHeader("auds", "\0\0\0\0", 1, 8000, 320u * c.frames, 2, 0, 0)),
                                   Chunk("strf", wfx)}));
  }

  std::vector<std::vector<uint8_t>> movi;
  std::vector<uint8_t> idx;
  uint32_t offset = 4;  // from the "movi" form type
  for (int k = 0; k < c.frames; ++k) {
    bool repeat = std::find(repeats.begin(), repeats.end(), k) != repeats.end();
    std::vector<uint8_t> pixels = repeat ? std::vector<uint8_t>{}
                                 : c.video1 ? Video1Frame(c, FrameColour565(k))
                                            : RawFrame(c, FrameColour565(k));
    std::vector<uint8_t> frame = Chunk("00db", pixels);
    PutId(idx, "00db");
    Put32(idx, 0x10);
    Put32(idx, offset);
    Put32(idx, static_cast<uint32_t>(pixels.size()));
    offset += static_cast<uint32_t>(frame.size());
    movi.push_back(frame);
    if (c.audio) {
      std::vector<uint8_t> samples(640, 0x40);
      std::vector<uint8_t> audio = Chunk("01wb", samples);
      PutId(idx, "01wb");
      Put32(idx, 0x10);
      Put32(idx, offset);
      Put32(idx, 640);
      offset += static_cast<uint32_t>(audio.size());
      movi.push_back(audio);
    }
  }
  std::vector<std::vector<uint8_t>> top{List("hdrl", header), List("movi", movi)};
  if (c.index) top.push_back(Chunk("idx1", idx));
  return List("AVI ", top, "RIFF");
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
