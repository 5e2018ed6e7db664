// The four clips: RIFF AVI files with one Microsoft Video 1 (16-bit) video stream of 800 x 600
// frames, 30 ms apart, and for two of them a PCM sound track (which the game does not play).
// The encoder is our own, so the bytes are the same on every run.
#include <algorithm>
#include <cmath>
#include <map>

#include "tools/assets/tree.h"

const char* const kClipNames[4] = {"Graphic_resource/avis/Congrats.avi", "Graphic_resource/avis/WellDone.avi",
                                   "Graphic_resource/avis/OnlyWon.avi", "Graphic_resource/avis/Gameover.avi"};

namespace {

constexpr int kW = 800, kH = 600, kFrames = 75, kKeyEvery = 25;
constexpr int kAudioRate = 22050;

uint16_t To555(Rgb c) { return uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3)); }

int Distance(uint16_t a, uint16_t b) {
  int dr = ((a >> 10) & 31) - ((b >> 10) & 31), dg = ((a >> 5) & 31) - ((b >> 5) & 31), db = (a & 31) - (b & 31);
  return dr * dr + dg * dg + db * db;
}

// Microsoft Video 1, 16-bit: 4 x 4 blocks from the bottom-left, each a skip, one colour or two
// colours with a 16-bit mask. `shown` holds what a decoder shows after the previous frame.
class Video1Encoder {
 public:
  Video1Encoder() : shown_(size_t(kW) * kH, 0xFFFF) {}

  Bytes encode(const Image& frame, bool key) {
    Bytes out;
    int skips = 0;
    auto flushSkips = [&] {
      while (skips > 0) {
        int n = std::min(skips, 1023);
        out.push_back(uint8_t(n & 0xFF)), out.push_back(uint8_t(0x84 + (n >> 8)));
        skips -= n;
      }
    };
    for (int by = kH / 4 - 1; by >= 0; --by) {
      for (int bx = 0; bx < kW / 4; ++bx) {
        // Pixel k of the block: row 3 - k / 4 from its top (bottom row first), column k % 4.
        uint16_t px[16];
        bool same = true;
        for (int k = 0; k < 16; ++k) {
          int x = bx * 4 + k % 4, y = by * 4 + 3 - k / 4;
          px[k] = To555(frame.at(x, y));
          same = same && px[k] == shown_[size_t(y) * kW + x];
        }
        if (same && !key) {
          ++skips;
          continue;
        }
        flushSkips();
        block(out, px);
        for (int k = 0; k < 16; ++k) shown_[size_t(by * 4 + 3 - k / 4) * kW + bx * 4 + k % 4] = px[k];
      }
    }
    flushSkips();
    return out;
  }

 private:
  // Writes one block and replaces px by what the decoder will show.
  static void block(Bytes& out, uint16_t* px) {
    uint16_t lo = px[0], hi = px[0];
    auto luma = [](uint16_t c) { return ((c >> 10) & 31) * 3 + ((c >> 5) & 31) * 6 + (c & 31); };
    for (int k = 1; k < 16; ++k) {
      if (luma(px[k]) < luma(lo)) lo = px[k];
      if (luma(px[k]) > luma(hi)) hi = px[k];
    }
    if (lo == hi && std::all_of(px, px + 16, [&](uint16_t c) { return c == lo; })) {
      uint8_t a = uint8_t(lo & 0xFF), b = uint8_t((lo >> 8) | 0x80);
      if ((b & 0xFC) != 0x84) {  // those high bytes mean "skip": write two equal colours instead
        out.push_back(a), out.push_back(b);
        return;
      }
      hi = lo;
    }
    uint16_t flags = 0;
    for (int k = 0; k < 16; ++k)
      if (Distance(px[k], hi) < Distance(px[k], lo)) flags |= uint16_t(1u << k);
    // A set bit shows the first colour; the top bit must stay clear.
    uint16_t first = hi, second = lo;
    if (flags & 0x8000) flags = uint16_t(~flags), std::swap(first, second);
    out.push_back(uint8_t(flags & 0xFF)), out.push_back(uint8_t(flags >> 8));
    Put16(out, first), Put16(out, second);
    for (int k = 0; k < 16; ++k) px[k] = (flags >> k) & 1 ? first : second;
  }

  std::vector<uint16_t> shown_;
};

struct Chunk {
  const char* id;
  Bytes data;
  bool key;
};

Bytes WriteAvi(const std::vector<Chunk>& chunks, int frames, const std::vector<int16_t>& audio) {
  bool sound = !audio.empty();
  size_t biggest = 0;
  for (const auto& c : chunks) biggest = std::max(biggest, c.data.size());
  Bytes b;
  auto list = [&b](const char* type) {
    PutTag(b, "LIST");
    size_t at = b.size();
    Put32(b, 0);
    PutTag(b, type);
    return at;
  };
  auto close = [&b](size_t at) { Set32(b, at, uint32_t(b.size() - at - 4)); };

  PutTag(b, "RIFF"), Put32(b, 0), PutTag(b, "AVI ");
  size_t hdrl = list("hdrl");
  PutTag(b, "avih"), Put32(b, 56);
  Put32(b, 30000), Put32(b, uint32_t(biggest * 34)), Put32(b, 0), Put32(b, 0x110);
  Put32(b, frames), Put32(b, 0), Put32(b, sound ? 2 : 1), Put32(b, uint32_t(biggest + 8));
  Put32(b, kW), Put32(b, kH), Put32(b, 0), Put32(b, 0), Put32(b, 0), Put32(b, 0);

  size_t strl = list("strl");
  PutTag(b, "strh"), Put32(b, 56);
  PutTag(b, "vids"), PutTag(b, "CRAM"), Put32(b, 0), Put32(b, 0), Put32(b, 0);
  Put32(b, 3), Put32(b, 100), Put32(b, 0), Put32(b, frames), Put32(b, uint32_t(biggest));
  Put32(b, 0xFFFFFFFF), Put32(b, 0), Put16(b, 0), Put16(b, 0), Put16(b, kW), Put16(b, kH);
  PutTag(b, "strf"), Put32(b, 40);
  Put32(b, 40), Put32(b, kW), Put32(b, kH), Put16(b, 1), Put16(b, 16), PutTag(b, "CRAM");
  Put32(b, kW * kH * 2), Put32(b, 0), Put32(b, 0), Put32(b, 0), Put32(b, 0);
  close(strl);
  if (sound) {
    size_t a = list("strl");
    PutTag(b, "strh"), Put32(b, 56);
    PutTag(b, "auds"), Put32(b, 0), Put32(b, 0), Put32(b, 0), Put32(b, 0);
    Put32(b, 2), Put32(b, kAudioRate * 2), Put32(b, 0), Put32(b, uint32_t(audio.size())), Put32(b, 8820);
    Put32(b, 0xFFFFFFFF), Put32(b, 2), Put16(b, 0), Put16(b, 0), Put16(b, 0), Put16(b, 0);
    PutTag(b, "strf"), Put32(b, 18);
    Put16(b, 1), Put16(b, 1), Put32(b, kAudioRate), Put32(b, kAudioRate * 2), Put16(b, 2), Put16(b, 16), Put16(b, 0);
    close(a);
  }
  close(hdrl);

  size_t movi = list("movi");
  size_t moviData = movi + 4;  // index offsets count from the "movi" tag
  Bytes index;
  for (const auto& c : chunks) {
    PutTag(index, c.id), Put32(index, c.key ? 0x10 : 0), Put32(index, uint32_t(b.size() - moviData));
    Put32(index, uint32_t(c.data.size()));
    PutTag(b, c.id), Put32(b, uint32_t(c.data.size()));
    b.insert(b.end(), c.data.begin(), c.data.end());
    if (b.size() % 2) b.push_back(0);
  }
  close(movi);
  PutTag(b, "idx1"), Put32(b, uint32_t(index.size()));
  b.insert(b.end(), index.begin(), index.end());
  Set32(b, 4, uint32_t(b.size() - 8));
  return b;
}

// ---- what the clips show --------------------------------------------------------------------

struct Scene {
  Typesetter& type;
  std::map<std::string, Image> layers;

  // Text as a keyed layer, made once per text and size.
  const Image& text(const std::string& s, const TextStyle& st) {
    std::string key = s + "|" + std::to_string(st.size) + "|" + std::to_string(To555(st.colour));
    auto it = layers.find(key);
    if (it != layers.end()) return it->second;
    int w = type.advance(st.face, st.size, s) + 4 * st.outline + 2 * st.shadow + 8;
    int h = int(st.size * 1.5) + 4 * st.outline + 2 * st.shadow;
    Image img(w, h);
    type.draw(img, s, 2 * st.outline + 4, int(st.size * 1.1) + st.outline, st);
    return layers.emplace(key, std::move(img)).first->second;
  }

  void centred(Image& frame, const std::string& s, int cx, int cy, const TextStyle& st) {
    const Image& layer = text(s, st);
    frame.paste(layer, cx - layer.width() / 2, cy - int(st.size * 0.75));
  }
};

TextStyle Big(int size, Rgb colour, Rgb outline) {
  TextStyle s;
  s.face = Face::SansBold, s.size = size, s.colour = colour;
  s.outline = std::max(1, size / 20), s.outlineColour = outline;
  s.shadow = std::max(2, size / 16), s.shadowColour = Hex(0x000000);
  return s;
}

// Flat bands of 8 rows: whole blocks of one colour, which the codec stores in two bytes.
Image Bands(Rgb top, Rgb bottom, uint32_t seed, Rgb starColour) {
  Image img(kW, kH);
  for (int y = 0; y < kH; y += 8) img.fillRect(0, y, kW, 8, Mix(top, bottom, float(y) / kH));
  for (int i = 0; i < 70; ++i) {
    seed = seed * 1664525u + 1013904223u;
    int x = int(seed % (kW / 4)) * 4;
    seed = seed * 1664525u + 1013904223u;
    int y = int(seed % (kH / 4)) * 4;
    img.fillRect(x, y, 4, 4, starColour);
  }
  return img;
}

struct Particle {
  float x, y, vx, vy;
  Rgb colour;
  int size;
};

std::vector<Particle> Confetti(uint32_t seed, int count, bool coins) {
  const Rgb colours[] = {Hex(0xF8C944), Hex(0xE23D3D), Hex(0x33B84F), Hex(0x3070E8), Hex(0xFF7AE0), Hex(0xFFFFFF)};
  std::vector<Particle> p;
  for (int i = 0; i < count; ++i) {
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    Particle q;
    q.x = float(next() % kW), q.y = -float(next() % 600);
    q.vx = float(int(next() % 7) - 3) * 0.6f, q.vy = 5.0f + float(next() % 60) / 10.0f;
    q.colour = coins ? Hex(0xF8C944) : colours[next() % 6];
    q.size = coins ? 10 + int(next() % 6) : 6 + int(next() % 6);
    p.push_back(q);
  }
  return p;
}

void DrawParticles(Image& frame, const std::vector<Particle>& ps, int k, bool coins) {
  for (const auto& q : ps) {
    float x = q.x + q.vx * k, y = q.y + q.vy * k * 1.6f;
    if (y < -20 || y > kH + 20) continue;
    if (coins) {
      frame.ellipse(x, y, float(q.size), float(q.size) * (0.4f + 0.6f * std::fabs(std::cos(k * 0.3f + q.x))), Hex(0x99680E));
      frame.ellipse(x, y, q.size - 2.0f, (q.size - 2.0f) * (0.4f + 0.6f * std::fabs(std::cos(k * 0.3f + q.x))), q.colour);
    } else {
      frame.fillRect(int(x), int(y), q.size, q.size / 2 + 2, q.colour);
    }
  }
}

float Ease(float t) { return t <= 0 ? 0 : t >= 1 ? 1 : 1 - (1 - t) * (1 - t) * (1 - t); }

using Painter = std::function<void(Image&, int)>;

Bytes Render(const Image& background, const Painter& paint, const std::vector<int16_t>& audio) {
  Video1Encoder enc;
  std::vector<Chunk> chunks;
  size_t audioDone = 0;
  Image frame;
  for (int k = 0; k < kFrames; ++k) {
    frame = background;
    paint(frame, k);
    bool key = k % kKeyEvery == 0;
    chunks.push_back({"00dc", enc.encode(frame, key), key});
    // Sound interleaved with the pictures it belongs to.
    size_t due = std::min(audio.size(), size_t((k + 1) * 0.03 * kAudioRate));
    if (due > audioDone && (k % 5 == 4 || k == kFrames - 1)) {
      Bytes pcm;
      if (k == kFrames - 1) due = audio.size();
      for (size_t i = audioDone; i < due; ++i) Put16(pcm, uint16_t(audio[i]));
      chunks.push_back({"01wb", std::move(pcm), true});
      audioDone = due;
    }
  }
  return WriteAvi(chunks, kFrames, audio);
}

std::vector<int16_t> Fanfare(bool sad) {
  std::vector<float> s(size_t(kFrames * 0.03 * kAudioRate), 0.0f);
  const int happy[] = {60, 64, 67, 72, 67, 72, 76, 79};
  const int gloomy[] = {67, 66, 65, 64, 63, 62, 60, 55};
  for (int i = 0; i < 8; ++i) {
    double f = 440.0 * std::pow(2.0, ((sad ? gloomy[i] : happy[i]) - 69) / 12.0);
    size_t start = size_t(i * 0.25 * kAudioRate), n = size_t(0.3 * kAudioRate);
    for (size_t j = 0; j < n && start + j < s.size(); ++j) {
      double t = double(j) / kAudioRate;
      double env = std::min(1.0, t / 0.01) * std::exp(-4 * t) * std::min(1.0, (0.3 - t) / 0.03);
      s[start + j] += float(0.25 * env * (std::sin(2 * M_PI * f * t) + 0.3 * std::sin(4 * M_PI * f * t)));
    }
  }
  std::vector<int16_t> out;
  for (float v : s) out.push_back(int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 30000)));
  return out;
}

}  // namespace

std::vector<Clip> MakeClips(Typesetter& type) {
  Scene scene{type, {}};
  std::vector<Clip> out;
  const Rgb gold = Hex(0xF8C944), white = Hex(0xFFFFFF), ink = Hex(0x18183A), red = Hex(0xE23D3D);

  {  // Congrats: the no-questions bonus
    auto confetti = Confetti(41, 60, false);
    Image bg = Bands(Hex(0x0A3A50), Hex(0x06142E), 3, Hex(0x6FD3E0));
    out.push_back({kClipNames[0], Render(bg, [&](Image& f, int k) {
                     DrawParticles(f, confetti, k, false);
                     int size = 20 + int(46 * Ease(k / 18.0f));
                     scene.centred(f, "CONGRATULATIONS!", 400, 170, Big(size & ~1, gold, Hex(0x7C1616)));
                     if (k >= 22) {
                       int pulse = (k / 4) % 2;
                       f.ellipse(400, 310, 60, 60, white);
                       TextStyle mark = Big(80, Hex(0x3A1A70), white);
                       mark.shadow = 0;
                       scene.centred(f, "?", 400, 318, mark);
                       f.ring(400, 310, 52, 12, red);
                       f.line(363, 273, 437, 347, 12, pulse ? red : Hex(0xFF7A7A));
                     }
                     if (k >= 32) scene.centred(f, "NO MORE QUESTIONS", 400, 440, Big(48, white, ink));
                     if (k >= 44) scene.centred(f, "for the rest of this game", 400, 510, Big(28, Hex(0xB8F0FF), ink));
                   }, {})});
  }
  {  // WellDone: a win of a pound or more
    auto confetti = Confetti(7, 90, false);
    Image bg = Bands(Hex(0x3A1060), Hex(0x8A2A10), 9, Hex(0xFFD9A0));
    out.push_back({kClipNames[1], Render(bg, [&](Image& f, int k) {
                     DrawParticles(f, confetti, k, false);
                     float drop = Ease(k / 16.0f);
                     int y = int(-80 + 300 * drop) - (k > 16 && k < 26 ? int(20 * std::sin((k - 16) * 0.314f)) : 0);
                     scene.centred(f, "WELL DONE!", 400, y, Big(84, gold, Hex(0x7C1616)));
                     if (k >= 28) scene.centred(f, "YOU HAVE WON A PRIZE!", 400, 360, Big(40, white, ink));
                     if (k >= 40) scene.centred(f, "\xE2\x98\x85  \xE2\x98\x85  \xE2\x98\x85", 400, 450,
                                                Big(36 + 4 * ((k / 3) % 2), gold, ink));
                   }, Fanfare(false))});
  }
  {  // OnlyWon: a win below a pound
    auto coins = Confetti(23, 30, true);
    Image bg = Bands(Hex(0x0A2A50), Hex(0x12306A), 5, Hex(0xA0C8FF));
    out.push_back({kClipNames[2], Render(bg, [&](Image& f, int k) {
                     DrawParticles(f, coins, k, true);
                     int size = 24 + int(48 * Ease(k / 20.0f));
                     scene.centred(f, "YOU WON!", 400, 220, Big(size & ~1, gold, Hex(0x7C1616)));
                     if (k >= 30) scene.centred(f, "a prize for your credit", 400, 360, Big(32, white, ink));
                   }, {})});
  }
  {  // Gameover: no lives left
    Image bg = Bands(Hex(0x200812), Hex(0x050308), 13, Hex(0x502030));
    const char* letters[] = {"G", "A", "M", "E", "", "O", "V", "E", "R"};
    out.push_back({kClipNames[3], Render(bg, [&](Image& f, int k) {
                     for (int i = 0; i < 9; ++i) {
                       if (!*letters[i]) continue;
                       float t = Ease((k - i * 4) / 10.0f);
                       if (t <= 0) continue;
                       scene.centred(f, letters[i], 160 + i * 60, int(-60 + 320 * t), Big(86, red, white));
                     }
                     if (k >= 50) scene.centred(f, "Better luck next time", 400, 420, Big(34, white, ink));
                   }, Fanfare(true))});
  }
  return out;
}
