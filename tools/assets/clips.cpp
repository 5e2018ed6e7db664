// The four clips: AVI files with one Microsoft Video 1 (16-bit) video stream of 800 x 600
// frames, 30 ms apart, and for two of them a PCM sound track (which the game does not play).
// FFmpeg's encoder and muxer write them with their bit-exact flags, so the bytes are the same on
// every run.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>

#include "tools/assets/tree.h"

const char* const kClipNames[4] = {"Graphic_resource/avis/Congrats.avi", "Graphic_resource/avis/WellDone.avi",
                                   "Graphic_resource/avis/OnlyWon.avi", "Graphic_resource/avis/Gameover.avi"};

namespace {

constexpr int kW = 800, kH = 600, kFrames = 75, kKeyEvery = 25;
constexpr int kAudioRate = 22050;
constexpr AVRational kFrameTime = {3, 100};  // 30 ms

uint16_t To555(Rgb c) { return uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3)); }

// The muxer writes into memory and seeks back to fill in its header and sizes.
struct MemoryFile {
  Bytes data;
  size_t pos = 0;
};

// The buffer is `uint8_t*` in older FFmpeg and `const uint8_t*` in newer: deduced from the call.
template <typename Buffer>
int WriteToMemory(void* opaque, Buffer buffer, int size) {
  auto* m = static_cast<MemoryFile*>(opaque);
  if (m->pos + size_t(size) > m->data.size()) m->data.resize(m->pos + size_t(size));
  std::memcpy(m->data.data() + m->pos, buffer, size_t(size));
  m->pos += size_t(size);
  return size;
}

int64_t SeekInMemory(void* opaque, int64_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return int64_t(m->data.size());
  int64_t base = whence == SEEK_CUR ? int64_t(m->pos) : whence == SEEK_END ? int64_t(m->data.size()) : 0;
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
  if (base + offset < 0) return -1;
  m->pos = size_t(base + offset);
  return int64_t(m->pos);
}

void Check(int status, const char* what) {
  if (status < 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    throw std::runtime_error(std::string("clip: ") + what + ": " + text);
  }
}

// One clip written by libavcodec's msvideo1 encoder and libavformat's AVI muxer.
class AviWriter {
 public:
  explicit AviWriter(bool sound) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
    if (!codec) throw std::runtime_error("clip: this FFmpeg has no Microsoft Video 1 encoder");
    encoder_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!encoder_ || !frame_ || !packet_) throw std::runtime_error("clip: out of memory");
    encoder_->width = kW, encoder_->height = kH;
    encoder_->pix_fmt = AV_PIX_FMT_RGB555LE;
    encoder_->time_base = kFrameTime;
    encoder_->gop_size = encoder_->keyint_min = kKeyEvery;
    encoder_->thread_count = 1;
    encoder_->flags |= AV_CODEC_FLAG_BITEXACT;
    Check(avcodec_open2(encoder_, codec, nullptr), "cannot open the encoder");

    Check(avformat_alloc_output_context2(&format_, nullptr, "avi", nullptr), "no AVI muxer");
    format_->flags |= AVFMT_FLAG_BITEXACT;
    constexpr int kBuffer = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
    format_->pb = buffer ? avio_alloc_context(buffer, kBuffer, 1, &file_, nullptr, &WriteToMemory, &SeekInMemory)
                         : nullptr;
    if (!format_->pb) {
      av_free(buffer);
      throw std::runtime_error("clip: out of memory");
    }
    video_ = avformat_new_stream(format_, nullptr);
    if (!video_) throw std::runtime_error("clip: out of memory");
    Check(avcodec_parameters_from_context(video_->codecpar, encoder_), "video parameters");
    video_->time_base = kFrameTime;
    if (sound) {
      audio_ = avformat_new_stream(format_, nullptr);
      if (!audio_) throw std::runtime_error("clip: out of memory");
      AVCodecParameters* a = audio_->codecpar;
      a->codec_type = AVMEDIA_TYPE_AUDIO;
      a->codec_id = AV_CODEC_ID_PCM_S16LE;
      a->sample_rate = kAudioRate;
      av_channel_layout_default(&a->ch_layout, 1);
      a->bits_per_coded_sample = 16;
      a->block_align = 2;
      a->bit_rate = int64_t(kAudioRate) * 16;
      audio_->time_base = {1, kAudioRate};
    }
    Check(avformat_write_header(format_, nullptr), "cannot write the AVI header");

    frame_->format = encoder_->pix_fmt, frame_->width = kW, frame_->height = kH;
    Check(av_frame_get_buffer(frame_, 0), "frame buffer");
  }

  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  ~AviWriter() {
    if (format_) {
      if (format_->pb) av_freep(&format_->pb->buffer);
      avio_context_free(&format_->pb);
      avformat_free_context(format_);
    }
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&encoder_);
  }

  void picture(const Image& img, int64_t index) {
    Check(av_frame_make_writable(frame_), "frame buffer");
    for (int y = 0; y < kH; ++y) {
      auto* row = reinterpret_cast<uint16_t*>(frame_->data[0] + size_t(y) * size_t(frame_->linesize[0]));
      for (int x = 0; x < kW; ++x) row[x] = To555(img.at(x, y));
    }
    frame_->pts = index;
    Check(avcodec_send_frame(encoder_, frame_), "cannot encode a frame");
    drain();
  }

  void sound(const std::vector<int16_t>& samples, size_t from, size_t to) {
    Check(av_new_packet(packet_, int((to - from) * 2)), "sound packet");
    for (size_t i = from; i < to; ++i) {
      packet_->data[2 * (i - from)] = uint8_t(uint16_t(samples[i]) & 0xFF);
      packet_->data[2 * (i - from) + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    packet_->pts = packet_->dts = int64_t(from);
    packet_->duration = int64_t(to - from);
    packet_->stream_index = audio_->index;
    packet_->flags |= AV_PKT_FLAG_KEY;
    Check(av_interleaved_write_frame(format_, packet_), "cannot write sound");
  }

  Bytes finish() {
    Check(avcodec_send_frame(encoder_, nullptr), "cannot end the video");
    drain();
    Check(av_write_trailer(format_), "cannot end the AVI file");
    avio_flush(format_->pb);
    return std::move(file_.data);
  }

 private:
  void drain() {
    for (;;) {
      int got = avcodec_receive_packet(encoder_, packet_);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
      Check(got, "cannot encode a frame");
      av_packet_rescale_ts(packet_, encoder_->time_base, video_->time_base);
      packet_->stream_index = video_->index;
      Check(av_interleaved_write_frame(format_, packet_), "cannot write a frame");
    }
  }

  MemoryFile file_;
  AVCodecContext* encoder_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVStream* video_ = nullptr;
  AVStream* audio_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};

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
  AviWriter avi(!audio.empty());
  size_t audioDone = 0;
  Image frame;
  for (int k = 0; k < kFrames; ++k) {
    frame = background;
    paint(frame, k);
    avi.picture(frame, k);
    // Sound in pieces of five frames, interleaved with the pictures it belongs to.
    size_t due = std::min(audio.size(), size_t((k + 1) * 0.03 * kAudioRate));
    if (k == kFrames - 1) due = audio.size();
    if (due > audioDone && (k % 5 == 4 || k == kFrames - 1)) {
      avi.sound(audio, audioDone, due);
      audioDone = due;
    }
  }
  return avi.finish();
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
