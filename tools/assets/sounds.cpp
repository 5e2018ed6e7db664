// The 28 sounds: 16-bit mono PCM at 22050 Hz, synthesized from sine tones with soft envelopes.
// Tunes that loop end in silence on a whole bar, so the loop has no click.
#include <algorithm>
#include <cmath>
#include <vector>

#include "sound/sound.h"
#include "tools/assets/tree.h"

namespace {

constexpr int kRate = 22050;

class Track {
 public:
  explicit Track(double seconds) : s_(size_t(seconds * kRate), 0.0f) {}

  // A note with a short attack and an exponential decay, ending at silence.
  void note(double at, double freq, double length, float amp, double decay = 3.0, int harmonics = 2) {
    size_t start = size_t(at * kRate), n = size_t(length * kRate);
    const double attack = 0.008, release = std::min(0.03, length / 3);
    for (size_t i = 0; i < n && start + i < s_.size(); ++i) {
      double t = double(i) / kRate;
      double env = std::min(1.0, t / attack) * std::exp(-decay * t) * std::min(1.0, (length - t) / release);
      double v = 0;
      for (int h = 1; h <= harmonics; ++h) v += std::sin(2 * M_PI * freq * h * t) / (h * h);
      s_[start + i] += float(amp * env * v);
    }
  }

  // A glide from f0 to f1 with a smooth start and end.
  void sweep(double at, double f0, double f1, double length, float amp, bool square = false) {
    size_t start = size_t(at * kRate), n = size_t(length * kRate);
    double phase = 0;
    for (size_t i = 0; i < n && start + i < s_.size(); ++i) {
      double t = double(i) / kRate, u = t / length;
      phase += 2 * M_PI * (f0 + (f1 - f0) * u) / kRate;
      double env = std::min({1.0, t / 0.01, (length - t) / 0.03});
      double v = square ? std::tanh(3 * std::sin(phase)) * 0.6 : std::sin(phase);
      s_[start + i] += float(amp * env * v);
    }
  }

  // Soft noise clicks, for the whirr of a spinning tile and the teletype.
  void clicks(double at, double length, double every, float amp, uint32_t seed) {
    for (double t = 0; t + 0.012 < length; t += every) {
      size_t start = size_t((at + t) * kRate);
      for (size_t i = 0; i < size_t(0.012 * kRate) && start + i < s_.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        double noise = double(seed >> 8) / double(1u << 24) * 2 - 1;
        s_[start + i] += float(amp * noise * std::exp(-double(i) / (0.002 * kRate)));
      }
    }
  }

  Bytes wav() const {
    Bytes b;
    uint32_t data = uint32_t(s_.size() * 2);
    PutTag(b, "RIFF"), Put32(b, 36 + data), PutTag(b, "WAVE");
    PutTag(b, "fmt "), Put32(b, 16), Put16(b, 1), Put16(b, 1), Put32(b, kRate), Put32(b, kRate * 2);
    Put16(b, 2), Put16(b, 16);
    PutTag(b, "data"), Put32(b, data);
    for (float v : s_) Put16(b, uint16_t(int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32000))));
    return b;
  }

 private:
  std::vector<float> s_;
};

double Midi(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// A looping tune: melody notes (0 = rest) and a bass line, one step each, on a bar grid.
Bytes Tune(const std::vector<int>& melody, const std::vector<int>& bass, double step, float amp) {
  double length = melody.size() * step;
  Track t(length);
  for (size_t i = 0; i < melody.size(); ++i)
    if (melody[i]) t.note(i * step, Midi(melody[i]), step * 0.95, amp, 2.5, 3);
  double bassStep = length / bass.size();
  for (size_t i = 0; i < bass.size(); ++i)
    if (bass[i]) t.note(i * bassStep, Midi(bass[i]), bassStep * 0.9, amp * 0.8, 1.5, 2);
  return t.wav();
}

Bytes Arpeggio(const std::vector<int>& notes, double step, double tail, float amp) {
  Track t(notes.size() * step + tail);
  for (size_t i = 0; i < notes.size(); ++i) t.note(i * step, Midi(notes[i]), step + tail, amp, 4.0, 3);
  return t.wav();
}

Bytes QuestionLoop(int level) {
  // A ticking clock over a low pulse; the higher the level, the faster and higher.
  double beat = 0.5 - 0.06 * level;
  int beats = 8;
  Track t(beat * beats);
  for (int i = 0; i < beats; ++i) {
    t.note(i * beat, Midi(45 + 2 * level), beat * 0.8, 0.25f, 4.0, 2);
    t.note(i * beat + beat / 2, Midi(81 + 2 * level), 0.05, 0.18f, 30.0, 1);
    if (i % 2 == 0) t.note(i * beat, Midi(69 + 2 * level + (i % 4 ? 3 : 0)), beat * 0.9, 0.12f, 3.0, 2);
  }
  return t.wav();
}

Bytes Wrong(int level) {
  Track t(0.55 + 0.1 * level);
  t.note(0.0, Midi(58 - 2 * level), 0.25, 0.35f, 3.0, 4);
  t.note(0.25, Midi(53 - 2 * level), 0.3 + 0.1 * level, 0.35f, 2.5, 4);
  return t.wav();
}

}  // namespace

std::vector<Sound> MakeSounds() {
  std::vector<Bytes> wav(28);
  {
    Track t(0.8);
    t.sweep(0, 520, 200, 0.8, 0.35f, true);
    wav[0] = t.wav();
  }
  {
    Track t(1.2);
    t.clicks(0, 1.2, 0.065, 0.4f, 17);
    wav[1] = t.wav();
  }
  for (int k = 0; k < 4; ++k) wav[2 + k] = Wrong(k);
  {
    // MenuPress: two short pure tones, 1500 Hz then 2000 Hz; nothing else in the game sounds so.
    Track t(0.16);
    t.sweep(0.0, 1500, 1500, 0.07, 0.45f);
    t.sweep(0.08, 2000, 2000, 0.07, 0.45f);
    wav[6] = t.wav();
  }
  wav[7] = Tune({72, 76, 79, 76, 77, 81, 84, 81, 79, 77, 76, 74, 72, 74, 76, 0,
                 69, 72, 76, 72, 74, 77, 81, 77, 79, 76, 74, 71, 72, 0, 72, 0},
                {48, 53, 43, 48, 45, 50, 43, 48}, 0.25, 0.22f);
  wav[8] = Tune({69, 0, 72, 76, 74, 0, 72, 71, 69, 0, 71, 72, 74, 0, 76, 0,
                 77, 0, 76, 74, 72, 0, 71, 69, 71, 0, 72, 74, 69, 0, 0, 0},
                {45, 41, 43, 40, 45, 41, 43, 45}, 0.22, 0.18f);
  for (int k = 0; k < 4; ++k) wav[9 + k] = QuestionLoop(k);
  wav[13] = Arpeggio({60, 64, 67, 72, 76, 79, 84}, 0.1, 0.6, 0.22f);
  {
    Track t(1.1);
    t.sweep(0, 700, 250, 1.0, 0.3f);
    t.sweep(0, 1050, 375, 1.0, 0.1f);
    wav[14] = t.wav();
  }
  {
    Track t(1.2);
    for (int n : {72, 76, 79, 84}) t.note(0.0, Midi(n), 1.2, 0.12f, 2.0, 2);
    for (int i = 0; i < 8; ++i) t.note(0.1 * i, Midi(96 + (i % 3) * 3), 0.15, 0.06f, 12.0, 1);
    wav[15] = t.wav();
  }
  {
    Track t(0.12);  // a coin: played every 120 ms while an amount counts into bank or credit
    t.note(0, 2637, 0.12, 0.22f, 25.0, 1);
    t.note(0, 3520, 0.12, 0.14f, 30.0, 1);
    wav[16] = t.wav();
  }
  wav[17] = Arpeggio({79, 84, 91}, 0.09, 0.35, 0.25f);
  {
    Track t(0.4);
    t.clicks(0, 0.4, 0.025, 0.25f, 5);
    t.sweep(0, 300, 900, 0.4, 0.08f);
    wav[18] = t.wav();
  }
  {
    Track t(0.18);
    t.note(0, 110, 0.18, 0.45f, 18.0, 3);
    t.clicks(0, 0.02, 0.02, 0.3f, 9);
    wav[19] = t.wav();
  }
  wav[20] = Arpeggio({84, 88, 91, 96, 100}, 0.07, 0.3, 0.16f);
  wav[21] = Arpeggio({67, 71, 74, 79, 83, 86}, 0.08, 0.35, 0.2f);
  wav[22] = Arpeggio({76, 81}, 0.12, 0.3, 0.25f);
  wav[23] = Arpeggio({76, 81, 88}, 0.1, 0.35, 0.25f);
  wav[24] = Arpeggio({64, 60}, 0.15, 0.3, 0.28f);
  wav[25] = Arpeggio({60, 55, 48}, 0.18, 0.35, 0.3f);
  {
    Track t(1.0);  // the bank calling: a trilling bell
    for (int i = 0; i < 10; ++i) t.note(i * 0.05, Midi(i % 2 ? 88 : 84), 0.06, 0.18f, 8.0, 2);
    for (int i = 0; i < 10; ++i) t.note(0.5 + i * 0.05, Midi(i % 2 ? 88 : 84), 0.06, 0.18f, 8.0, 2);
    wav[26] = t.wav();
  }
  {
    Track t(0.5);
    t.sweep(0.0, 1000, 1000, 0.12, 0.3f);
    t.sweep(0.25, 1000, 1000, 0.12, 0.3f);
    wav[27] = t.wav();
  }
  std::vector<Sound> out;
  for (int i = 0; i < kSoundCount; ++i) out.push_back({SoundFiles[i], std::move(wav[i])});
  return out;
}
