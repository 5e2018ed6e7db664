// Every picture of the game but the fonts, sized and laid out for the places the screens draw
// them: full screens at (0, 0), 114 x 111 boxes on the board and the three bottom windows,
// win plan slots of 168 x 30 at x 627, panels of 570 pixels across the play area.
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/assets/tree.h"

namespace look {
const Rgb kNight = Hex(0x081230), kNavy = Hex(0x12245A), kBlue = Hex(0x3070E8), kDeepBlue = Hex(0x17328A),
          kGold = Hex(0xF8C944), kDarkGold = Hex(0x99680E), kCream = Hex(0xFFF6DA), kInk = Hex(0x18183A),
          kGreen = Hex(0x33B84F), kDarkGreen = Hex(0x136A29), kRed = Hex(0xE23D3D), kDarkRed = Hex(0x7C1616),
          kWhite = Hex(0xFFFFFF), kPanel = Hex(0x0D1A44), kSlot = Hex(0x060C22), kPurple = Hex(0x7B42C8);

Image Tile(int w, int h, Rgb top, Rgb bottom, Rgb border, int inset, float radius) {
  Image img(w, h);
  float x = inset, y = inset, W = w - 2.0f * inset, H = h - 2.0f * inset;
  img.roundRect(x, y, W, H, radius, border);
  img.roundRect(x + 3, y + 3, W - 6, H - 6, radius - 3, [=](int, int j) {
    float t = (j - y) / H;
    Rgb c = Mix(top, bottom, t);
    if (t < 0.42f) c = Mix(c, kWhite, 0.22f * (1 - t / 0.42f));  // gloss on the upper part
    return c;
  });
  return img;
}
}  // namespace look

using namespace look;

namespace {

constexpr int kBoxW = 114, kBoxH = 111;
constexpr int kPrizeRows[4][20] = {
    {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 100, 200, 300, 400, 500},
    {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 100, 200, 300},
    {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 100, 200},
    {5, 6, 10, 11, 15, 16, 20, 21, 25, 26, 30, 31, 35, 36, 40, 41, 45, 46, 50, 55}};

// Money as the game writes it: "%dP" below a pound, "£%2.2f" from a pound.
std::string Money(int pence) {
  char text[32];
  if (pence < 100)
    std::snprintf(text, sizeof text, "%dP", pence);
  else
    std::snprintf(text, sizeof text, "\xC2\xA3%d.%02d", pence / 100, pence % 100);
  return text;
}

TextStyle Style(int size, Rgb colour, int outline = 0, Rgb outlineColour = kInk, Face face = Face::SansBold) {
  TextStyle s;
  s.face = face, s.size = size, s.colour = colour, s.outline = outline, s.outlineColour = outlineColour;
  return s;
}

TextStyle Shadowed(TextStyle s, int offset = 2) {
  s.shadow = offset;
  s.shadowColour = Hex(0x000000);
  return s;
}

struct Painter {
  Typesetter& type;
  void say(Image& img, const std::string& text, int cx, int cy, TextStyle s, int maxWidth = 100000) {
    type.centred(img, text, cx, cy, s, maxWidth);
  }
};

void Heart(Image& img, float cx, float cy, float size, Rgb c) {
  float r = size * 0.27f;
  img.ellipse(cx - r * 0.95f, cy - r * 0.55f, r, r, c);
  img.ellipse(cx + r * 0.95f, cy - r * 0.55f, r, r, c);
  img.polygon({{cx - r * 1.9f, cy - r * 0.35f}, {cx + r * 1.9f, cy - r * 0.35f}, {cx, cy + size * 0.5f}}, c);
}

void Star(Image& img, float cx, float cy, float outer, float inner, float turn, Rgb c, int points = 5) {
  std::vector<Point> p;
  for (int i = 0; i < points * 2; ++i) {
    float a = turn + float(M_PI) * i / points - float(M_PI) / 2;
    float r = i % 2 ? inner : outer;
    p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  img.polygon(p, c);
}

void Tick(Image& img, float cx, float cy, float s, Rgb c) {
  img.line(cx - s * 0.5f, cy, cx - s * 0.15f, cy + s * 0.38f, s * 0.2f, c);
  img.line(cx - s * 0.2f, cy + s * 0.38f, cx + s * 0.55f, cy - s * 0.45f, s * 0.2f, c);
}

void Cross(Image& img, float cx, float cy, float s, Rgb c) {
  img.line(cx - s * 0.45f, cy - s * 0.45f, cx + s * 0.45f, cy + s * 0.45f, s * 0.2f, c);
  img.line(cx - s * 0.45f, cy + s * 0.45f, cx + s * 0.45f, cy - s * 0.45f, s * 0.2f, c);
}

// A night-sky backdrop with a deterministic scatter of small stars.
Image Backdrop(Rgb top, Rgb bottom, uint32_t seed, int stars = 90) {
  Image img(800, 600);
  img.gradientRect(0, 0, 800, 600, top, bottom);
  for (int i = 0; i < stars; ++i) {
    seed = seed * 1664525u + 1013904223u;
    float x = float(seed % 800);
    seed = seed * 1664525u + 1013904223u;
    float y = float(seed % 600);
    seed = seed * 1664525u + 1013904223u;
    float r = 0.8f + float(seed % 100) / 70.0f;
    img.ellipse(x, y, r, r, Mix(top, kWhite, 0.35f + float(seed % 50) / 100.0f));
  }
  return img;
}

void Logo(Painter& p, Image& img, int cx, int cy, int size, int maxWidth = 100000) {
  TextStyle s = Shadowed(Style(size, kGold, std::max(2, size / 16), kDarkRed), std::max(2, size / 18));
  p.say(img, "QUIBBLO", cx, cy, s, maxWidth);
}

// Tiers of prize values by their rank in the prize row (19 is the top value).
Rgb TierColour(int rank) {
  if (rank == 19) return kGold;
  if (rank >= 15) return Hex(0xF39A2B);
  if (rank >= 10) return Hex(0x3FBF5E);
  if (rank >= 5) return Hex(0x2FB3C0);
  return Hex(0x5C8DF0);
}

// ---- board pictures -------------------------------------------------------------------------

Image ClosedBox(Painter& p, int number) {
  Image img = Tile(kBoxW, kBoxH, kBlue, kDeepBlue, kGold);
  p.say(img, "BOX", 57, 20, Style(13, kGold));
  p.say(img, std::to_string(number), 57, 62, Shadowed(Style(54, kWhite, 2, kInk)));
  return img;
}

Image OpenedPrize(Painter& p, int value, int rank) {
  Rgb tier = TierColour(rank);
  Image img = Tile(kBoxW, kBoxH, kCream, Mix(kCream, tier, 0.35f), tier);
  p.say(img, rank == 19 ? "TOP PRIZE" : "PRIZE", 57, 20, Style(12, Shade(tier, 0.55f)));
  p.say(img, Money(value), 57, 62, Style(value >= 100 ? 32 : 38, kInk), 100);
  return img;
}

std::vector<Image> BonusBoxes(Painter& p) {
  std::vector<Image> f;
  {  // 0: an opened, empty box
    Image img = Tile(kBoxW, kBoxH, Hex(0x0B1636), Hex(0x13224E), Hex(0x2A3A66));
    img.roundRect(16, 18, 82, 75, 6, Hex(0x050A1C));
    img.roundRect(19, 21, 76, 69, 5, Hex(0x0A1430));
    p.say(img, "OPENED", 57, 56, Style(12, Hex(0x41507A)));
    f.push_back(img);
  }
  {  // 1: the question marker
    Image img = Tile(kBoxW, kBoxH, kPurple, Hex(0x3A1A70), kGold);
    p.say(img, "?", 57, 52, Shadowed(Style(64, kGold, 2, kInk)));
    p.say(img, "QUESTION", 57, 94, Style(12, kWhite));
    f.push_back(img);
  }
  {  // 2: free pick
    Image img = Tile(kBoxW, kBoxH, kGreen, kDarkGreen, kGold);
    Star(img, 57, 38, 22, 9, 0, kGold);
    p.say(img, "FREE", 57, 72, Style(20, kWhite, 1, kDarkGreen));
    p.say(img, "PICK", 57, 93, Style(20, kWhite, 1, kDarkGreen));
    f.push_back(img);
  }
  {  // 3: bank offer
    Image img = Tile(kBoxW, kBoxH, kGold, kDarkGold, kWhite);
    p.say(img, "\xC2\xA3", 57, 44, Shadowed(Style(50, kWhite, 2, kDarkGold)));
    p.say(img, "BANK", 57, 80, Style(16, kInk));
    p.say(img, "OFFER", 57, 97, Style(16, kInk));
    f.push_back(img);
  }
  {  // 4: extra life
    Image img = Tile(kBoxW, kBoxH, Hex(0xFF7A8A), kDarkRed, kGold);
    Heart(img, 57, 42, 46, kRed);
    p.say(img, "+1", 57, 38, Style(18, kWhite, 1, kDarkRed));
    p.say(img, "EXTRA", 57, 78, Style(16, kWhite, 1, kDarkRed));
    p.say(img, "LIFE", 57, 96, Style(16, kWhite, 1, kDarkRed));
    f.push_back(img);
  }
  {  // 5: no more questions
    Image img = Tile(kBoxW, kBoxH, Hex(0x22C3C9), Hex(0x0D5C6E), kGold);
    p.say(img, "?", 57, 38, Style(40, kWhite, 1, kInk));
    img.ring(57, 38, 22, 5, kRed);
    img.line(42, 23, 72, 53, 5, kRed);
    p.say(img, "NO MORE", 57, 78, Style(14, kWhite, 1, kInk));
    p.say(img, "QUESTIONS", 57, 95, Style(14, kWhite, 1, kInk), 96);
    f.push_back(img);
  }
  {  // 6: the offers window before the first count
    Image img = Tile(kBoxW, kBoxH, Hex(0x2E8C4A), Hex(0x103E20), kGold);
    p.say(img, "BANK", 57, 26, Style(17, kGold));
    p.say(img, "\xC2\xA3", 57, 58, Style(36, kWhite, 1, kInk));
    p.say(img, "OFFERS", 57, 92, Style(17, kGold));
    f.push_back(img);
  }
  {  // 7: no offer left this game
    Image img = Tile(kBoxW, kBoxH, Hex(0x5A6270), Hex(0x2A2F3A), Hex(0x8A93A3));
    p.say(img, "NO MORE", 57, 42, Style(17, kWhite));
    p.say(img, "OFFERS", 57, 68, Style(17, kWhite));
    f.push_back(img);
  }
  return f;
}

std::vector<Image> Offers(Painter& p) {
  std::vector<Image> f;
  for (int n = 1; n <= 19; ++n) {
    Image img = Tile(kBoxW, kBoxH, Hex(0x2E8C4A), Hex(0x103E20), kGold);
    p.say(img, "OFFER IN", 57, 20, Style(15, kGold));
    p.say(img, std::to_string(n), 57, 58, Shadowed(Style(44, kWhite, 2, kInk)));
    p.say(img, n == 1 ? "PICK" : "PICKS", 57, 94, Style(15, kGold));
    f.push_back(img);
  }
  return f;
}

std::vector<Image> LivesFrames(Painter& p) {
  std::vector<Image> f;
  for (int k = 0; k <= 5; ++k) {
    Image img = Tile(kBoxW, kBoxH, k ? Hex(0xC0394A) : Hex(0x5A6270), k ? kDarkRed : Hex(0x2A2F3A), kGold);
    p.say(img, k == 1 ? "LIFE" : "LIVES", 57, 20, Style(15, kGold));
    p.say(img, std::to_string(k), 57, 54, Shadowed(Style(40, kWhite, 2, kInk)));
    for (int i = 0; i < 5; ++i) {
      float cx = 21 + i * 18.0f;
      Heart(img, cx, 91, 16, i < k ? kRed : Hex(0x30202A));
      if (i < k) Heart(img, cx - 1, 89, 7, Hex(0xFF9AA5));
    }
    f.push_back(img);
  }
  return f;
}

// The tile-spin frames: 0 the face, 1 half turned, 2 edge on, 3 the back.
std::vector<Image> Flip(Rgb light, Rgb dark) {
  std::vector<Image> f;
  for (float squeeze : {1.0f, 0.55f, 0.14f, 1.0f}) {
    Image img(kBoxW, kBoxH);
    bool back = f.size() == 3;
    float w = (kBoxW - 6) * squeeze;
    float x = (kBoxW - w) / 2;
    img.roundRect(x, 3, w, kBoxH - 6, std::min(12.0f, w / 2), back ? dark : kWhite);
    if (w > 8)
      img.roundRect(x + 3, 6, w - 6, kBoxH - 12, std::min(9.0f, w / 2 - 3), [&](int i, int) {
        float t = (i - x) / w;
        return Mix(back ? dark : light, back ? light : dark, std::fabs(t - 0.3f));
      });
    f.push_back(img);
  }
  return f;
}

std::vector<Image> PrizeUpdate(Painter& p) {
  std::vector<Image> f;
  for (int k = 0; k < 10; ++k) {
    Rgb glow = Mix(kGold, kWhite, 0.5f + 0.5f * std::sin(k * float(M_PI) / 5));
    Image img = Tile(kBoxW, kBoxH, Hex(0xFFD95A), kDarkGold, glow);
    p.say(img, "YOUR", 57, 40, Style(24, kWhite, 2, kDarkRed));
    p.say(img, "BOX", 57, 70, Style(24, kWhite, 2, kDarkRed));
    // A sparkle runs round the tile.
    float a = k * float(M_PI) / 5;
    Star(img, 57 + 40 * std::cos(a), 55 + 40 * std::sin(a), 10, 4, a, kWhite, 4);
    Star(img, 57 - 40 * std::cos(a), 55 - 40 * std::sin(a), 7, 3, -a, kWhite, 4);
    f.push_back(img);
  }
  return f;
}

// ---- win plan ---------------------------------------------------------------------------------

constexpr int kSlotW = 168, kSlotH = 30;

Image SlotPlate(Rgb colour) {
  Image img(kSlotW, kSlotH, kSlot);  // drawn unkeyed: the corners match the panel behind
  img.roundRect(2, 2, kSlotW - 4, kSlotH - 4, 8, Shade(colour, 1.3f));
  img.roundRect(4, 4, kSlotW - 8, kSlotH - 8, 6, [&](int, int j) { return Mix(colour, Shade(colour, 0.6f), j / 30.0f); });
  return img;
}

// A value in play carries a tag over the slot's left end (the question-mark picture, drawn over
// the plate unkeyed), so its text sits in the rest of the plate, where the tag leaves it readable.
constexpr int kTagW = 30;

std::vector<Image> Overlay(Painter& p, int row) {
  std::vector<Image> f;
  for (int frame = 0; frame < 20; ++frame) {
    int rank = 19 - frame;
    Image img = SlotPlate(TierColour(rank));
    p.say(img, Money(kPrizeRows[row][rank]), (kTagW + kSlotW) / 2, kSlotH / 2, Style(19, kWhite, 2, kInk));
    f.push_back(img);
  }
  return f;
}

// The plate's colours depend only on the value's rank, so one tag fits every prize row.
std::vector<Image> OverlayQMark(Painter& p) {
  std::vector<Image> f;
  for (int frame = 0; frame < 20; ++frame) {
    Image img = SlotPlate(TierColour(19 - frame)).crop(0, 0, kTagW, kSlotH);
    img.ellipse(17, 15, 9, 9, kInk);
    img.ellipse(17, 15, 7.5f, 7.5f, kGold);
    p.say(img, "?", 17, 15, Style(13, kInk));
    f.push_back(img);
  }
  return f;
}

Image EmptySlot() {
  Image img(kSlotW, 22);
  img.roundRect(2, 0, kSlotW - 4, 22, 7, Hex(0x1C2850));
  img.roundRect(4, 2, kSlotW - 8, 18, 5, Hex(0x040818));
  img.line(30, 11, kSlotW - 30, 11, 2, Hex(0x1C2850));
  return img;
}

// ---- bottom and side pieces -----------------------------------------------------------------

std::vector<Image> SpeechBar(Painter& p) {
  const char* messages[6] = {"QUIBBLO  \xE2\x98\x85  GOOD LUCK!", "CHOOSING YOUR BOX...",
                             "TOUCH A BOX TO OPEN IT", "THIS IS YOUR BOX: IT HOLDS THE TOP PRIZE",
                             "HURRY UP!", "EXTRA LIFE!"};
  std::vector<Image> f;
  for (int k = 0; k < 6; ++k) {
    bool alarm = k == 4, good = k == 5;
    Rgb top = alarm ? Hex(0xFF3B30) : good ? Hex(0xFF6F91) : Hex(0x3A2A8C);
    Rgb bottom = alarm ? Hex(0x8A0F0A) : good ? Hex(0x8C1E3A) : Hex(0x17104A);
    Image img = Tile(564, 40, top, bottom, alarm ? Hex(0xFFE14A) : kGold, 1, 16);
    p.say(img, messages[k], 282, 20, Style(20, alarm ? Hex(0xFFE14A) : kWhite, 1, kInk), 520);
    f.push_back(img);
  }
  return f;
}

std::vector<Image> Bars() {
  std::vector<Image> f(3, Image(kBoxW, 18));
  auto rail = [](Image& img, float x, float w) {
    img.roundRect(x, 2, w, 14, 5, kDarkGold);
    img.roundRect(x + 1, 3, w - 2, 12, 4, [&](int, int j) { return Mix(Hex(0xFFE59A), kDarkGold, (j - 3) / 12.0f); });
  };
  rail(f[0], 0, kBoxW);
  for (float x : {8.0f, 57.0f, 106.0f}) f[0].ellipse(x, 9, 2.5f, 2.5f, kDarkGold);
  rail(f[1], 0, 9);
  rail(f[2], 0, 9);
  return f;
}

std::vector<Image> Timer() {
  // Frame 1 is the empty trough; frame 0 the full bar. The bar runs from x 18 for 558 pixels,
  // rows 3 to 12, which is all the countdown clips of frame 0.
  Image empty(594, 16);
  empty.roundRect(0, 0, 594, 16, 7, kGold);
  empty.roundRect(1, 1, 592, 14, 6, Hex(0x0A0F24));
  empty.ellipse(9, 8, 6, 6, kWhite);
  empty.line(9, 8, 9, 4, 1.5f, kInk);
  empty.line(9, 8, 12, 9, 1.5f, kInk);
  empty.fillRect(18, 3, 558, 10, Hex(0x1A2140));
  Image full = empty;
  for (int x = 18; x < 576; ++x) {
    Rgb c = Mix(Hex(0x3BD16F), Hex(0xFFD23F), float(x - 18) / 558);
    for (int y = 3; y < 13; ++y) full.at(x, y) = Mix(Shade(c, 1.35f), Shade(c, 0.7f), (y - 3) / 9.0f);
  }
  return {full, empty};
}

// ---- question, offer and continue panels --------------------------------------------------

Image FaceButton(Painter& p, const std::string& label, const std::string& hint, Rgb top, Rgb bottom) {
  Image img = Tile(228, 111, top, bottom, kGold, 2, 16);
  p.say(img, label, 114, hint.empty() ? 55 : 48, Shadowed(Style(46, kWhite, 2, kInk)), 200);
  if (!hint.empty()) p.say(img, hint, 114, 88, Style(15, kWhite, 1, kInk), 200);
  return img;
}

std::vector<Image> FlipFace() {
  std::vector<Image> f;
  Image plain = Tile(228, 111, Hex(0x8A93A3), Hex(0x3A4150), kGold, 2, 16);
  Image bright = Tile(228, 111, kWhite, Hex(0xFFE98A), kGold, 2, 16);
  Image turned(228, 111);
  turned.roundRect(70, 2, 88, 107, 12, kGold);
  turned.roundRect(74, 6, 80, 99, 10, Hex(0xFFF2B0));
  f = {plain, bright, turned, Tile(228, 111, Hex(0x3A4150), Hex(0x1A1F2A), kGold, 2, 16)};
  return f;
}

std::vector<Image> Verdicts(Painter& p) {
  Image right = Tile(228, 111, Hex(0x5BE07A), kDarkGreen, kWhite, 2, 16);
  Tick(right, 52, 52, 60, kWhite);
  p.say(right, "RIGHT!", 148, 55, Shadowed(Style(34, kWhite, 2, kDarkGreen)), 140);
  Image wrong = Tile(228, 111, Hex(0xFF6A6A), kDarkRed, kWhite, 2, 16);
  Cross(wrong, 50, 55, 56, kWhite);
  p.say(wrong, "WRONG!", 146, 55, Shadowed(Style(34, kWhite, 2, kDarkRed)), 140);
  return {right, wrong};
}

std::vector<Image> TimeUp(Painter& p) {
  std::vector<Image> f;
  for (int k = 0; k < 3; ++k) {
    Image img(400, 158);
    float grow = 0.8f + 0.1f * k;
    float w = 400 * grow, h = 158 * grow;
    img.roundRect((400 - w) / 2, (158 - h) / 2, w, h, 24, kGold);
    img.roundRect((400 - w) / 2 + 4, (158 - h) / 2 + 4, w - 8, h - 8, 20,
                  [&](int, int j) { return Mix(Hex(0xFF5A3C), kDarkRed, j / 158.0f); });
    p.say(img, "TIME UP!", 200, 70, Shadowed(Style(int(58 * grow), k == 1 ? Hex(0xFFE14A) : kWhite, 3, kInk)));
    p.say(img, "a life is lost", 200, 116, Style(int(18 * grow), kWhite, 1, kInk));
    f.push_back(img);
  }
  return f;
}

Image QuestionBox(Painter& p) {
  Image img(570, 222);
  img.roundRect(0, 0, 570, 222, 18, kGold);
  img.roundRect(4, 4, 562, 214, 15, kCream);
  p.say(img, "TRUE OR FALSE?", 285, 213, Style(11, kDarkGold));
  return img;
}

Image OfferPanel(Painter& p) {
  Image img(570, 111);
  img.roundRect(0, 0, 570, 111, 16, kGold);
  img.roundRect(4, 4, 562, 103, 13, [](int, int j) { return Mix(Hex(0x1E7A3C), Hex(0x0B3A1A), j / 111.0f); });
  p.say(img, "THE BANK OFFERS YOU", 285, 28, Shadowed(Style(22, kGold, 1, kInk)));
  // The offer is written into the box at (133, 278) of 344 x 43, that is 113..457 x 55..98 here.
  img.roundRect(109, 52, 352, 49, 8, Hex(0x000000));
  img.roundRect(111, 54, 348, 45, 7, Hex(0x051A0C));
  return img;
}

Image ContinuePanel(Painter& p, bool canPay) {
  Image img(570, 111);
  img.roundRect(0, 0, 570, 111, 16, kGold);
  img.roundRect(4, 4, 562, 103, 13, [](int, int j) { return Mix(Hex(0x3A2A8C), Hex(0x17104A), j / 111.0f); });
  if (canPay) {
    // The player's money is written into the box at (410, 266) of 140 x 42: 390..530 x 43..85 here.
    p.say(img, "OUT OF LIVES!", 195, 30, Shadowed(Style(26, kGold, 1, kInk)));
    p.say(img, "Continue for 50P and play", 195, 64, Style(18, kWhite, 1, kInk), 360);
    p.say(img, "on with a new life?", 195, 88, Style(18, kWhite, 1, kInk), 360);
    p.say(img, "YOUR CREDIT", 460, 26, Style(13, Hex(0xC8C0F0)));
    img.roundRect(386, 39, 148, 50, 8, Hex(0x000000));
    img.roundRect(388, 41, 144, 46, 7, Hex(0x140C38));
  } else {
    // The shortfall is written into the box at (206, 256) of 82 x 42: 186..268 x 33..75 here.
    p.say(img, "OUT OF LIVES!", 285, 17, Style(15, kGold));
    p.say(img, "INSERT", 100, 54, Shadowed(Style(28, kWhite, 1, kInk)));
    img.roundRect(182, 30, 90, 48, 8, Hex(0x000000));
    img.roundRect(184, 32, 86, 44, 7, Hex(0x140C38));
    p.say(img, "TO PLAY ON", 420, 54, Shadowed(Style(28, kWhite, 1, kInk)), 270);
    p.say(img, "or wait for the game to end", 285, 94, Style(13, Hex(0xC8C0F0)));
  }
  return img;
}

// ---- menu -----------------------------------------------------------------------------------

struct ButtonLook {
  const char* label;
  Rgb top, bottom;
};
const ButtonLook kMenuButtons[3] = {{"MAIN MENU", Hex(0x6A7BA8), Hex(0x27335A)},
                                    {"RULES", Hex(0x4A8EF0), Hex(0x18408E)},
                                    {"START", Hex(0x4DDB6A), Hex(0x137A2E)}};
const int kButtonX[3] = {29, 304, 579};

Image MenuButton(Painter& p, int i, bool pressed) {
  const ButtonLook& b = kMenuButtons[i];
  Image img = pressed ? Tile(192, 113, Shade(b.bottom, 0.8f), b.top, kWhite, 4, 20)
                      : Tile(192, 113, b.top, b.bottom, kGold, 4, 20);
  std::string label = b.label;
  int size = i == 2 ? 40 : 28;
  p.say(img, label, 96, pressed ? 60 : 56, Shadowed(Style(size, pressed ? Hex(0xFFF3B0) : kWhite, 2, kInk)), 170);
  return img;
}

// The pressed look of a menu button, with a glow, covering the button drawn on the background.
Image PressedButton(Painter& p, int i, int width, int offsetX) {
  Image img(width, 120);
  img.roundRect(offsetX - 4, 3, 200, 117, 24, Hex(0xFFF3B0));
  img.paste(MenuButton(p, i, true), offsetX, 7);
  return img;
}

Image MenuBackground(Painter& p) {
  Image img = Backdrop(Hex(0x0A1640), Hex(0x2A1260), 7);
  Logo(p, img, 400, 150, 110);
  p.say(img, "THE QUIZ-AND-BOXES PRIZE GAME", 400, 235, Style(24, kWhite, 1, kInk));
  img.roundRect(150, 275, 500, 140, 18, Hex(0x2C3D80));
  img.roundRect(153, 278, 494, 134, 15, Hex(0x10194A));
  p.say(img, "50P A GAME", 400, 305, Style(26, kGold, 1, kInk));
  p.say(img, "Answer true or false, open the boxes,", 400, 345, Style(19, kWhite));
  p.say(img, "take or leave the bank's offers", 400, 372, Style(19, kWhite));
  p.say(img, "and win up to \xC2\xA3" "5.00!", 400, 399, Style(19, kWhite));
  // True whether or not the player can pay: START itself says INSERT MONEY when they cannot.
  p.say(img, "A game takes 50P of credit", 400, 455, Style(18, Hex(0xC8D4FF)));
  for (int i = 0; i < 3; ++i) img.paste(MenuButton(p, i, false), kButtonX[i], 487);
  return img;
}

Image InsertPrompt(Painter& p) {
  // Drawn at (568, 445) over the Start button while the player cannot pay for a game.
  Image img(216, 155);
  img.roundRect(4, 4, 208, 147, 20, kGold);
  img.roundRect(8, 8, 200, 139, 17, [](int, int j) { return Mix(Hex(0xFF5A3C), kDarkRed, j / 155.0f); });
  img.ellipse(108, 44, 24, 24, kGold);
  img.ellipse(108, 44, 19, 19, Hex(0xFFE08A));
  p.say(img, "\xC2\xA3", 108, 44, Style(26, kDarkGold));
  p.say(img, "INSERT", 108, 90, Shadowed(Style(30, kWhite, 2, kInk)));
  p.say(img, "MONEY", 108, 124, Shadowed(Style(30, kWhite, 2, kInk)));
  return img;
}

// Bank and credit panels: the amount is drawn at row 50 from x 33..41 (bank) or 39..48
// (credit, relative to 646) onwards, in CreditNos digits 15 pixels apart.
Image MoneyPanel(Painter& p, const char* label, bool win) {
  Image img(154, 84);
  Rgb edge = win ? kWhite : kGold;
  img.roundRect(2, 2, 150, 80, 12, edge);
  img.roundRect(5, 5, 144, 74, 10, [&](int, int j) {
    return win ? Mix(Hex(0xFFD95A), kDarkGold, j / 84.0f) : Mix(Hex(0x2C3D80), Hex(0x10194A), j / 84.0f);
  });
  p.say(img, label, 77, 24, Style(18, win ? kInk : kGold));
  img.roundRect(20, 44, 114, 34, 6, Hex(0x000000));
  img.roundRect(22, 46, 110, 30, 5, Hex(0x0A0A14));
  return img;
}

std::vector<Image> CreditDigits(Painter& p) {
  std::vector<Image> f;
  const char* chars[12] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ".", "\xC2\xA3"};
  for (const char* c : chars) {
    Image img(16, 24);
    // Anti-aliased against the panel's display window, where the digits always stand. The point
    // has only 7 pixels before the next digit, so it sits at the left of its cell.
    Image back(16, 24, Hex(0x0A0A14));
    bool point = c[0] == '.';
    p.say(back, c, point ? 3 : 8, 12, Style(21, Hex(0xFFB627)), 16);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 16; ++x)
        if (!(back.at(x, y) == Hex(0x0A0A14))) img.at(x, y) = back.at(x, y);
    f.push_back(img);
  }
  return f;
}

Image InfoScreen(Painter& p) {
  Image img = Backdrop(Hex(0x0A1640), Hex(0x123070), 11, 60);
  Logo(p, img, 400, 52, 56);
  p.say(img, "HOW TO PLAY", 400, 108, Style(28, kWhite, 1, kInk));
  img.roundRect(60, 132, 680, 378, 18, Hex(0x2C3D80));
  img.roundRect(63, 135, 674, 372, 15, Hex(0x0C1640));
  const char* lines[] = {
      "A game costs 50P. The machine chooses your box first:",
      "it holds the top prize of the game.",
      "",
      "Before each pick a statement appears. Touch TRUE or FALSE",
      "within 20 seconds. A wrong answer or no answer costs a life.",
      "With no lives left you may pay 50P once to play on.",
      "",
      "Then touch a box within 10 seconds. Each box you open knocks",
      "the smallest prize left off the win plan on the right.",
      "",
      "The bank makes offers: TAKE ends the game with the offer,",
      "LEAVE plays on. Boxes may also hold an EXTRA LIFE, a FREE PICK",
      "(no question) or NO MORE QUESTIONS for the rest of the game.",
      "",
      "Open nineteen boxes and the top prize in your box is yours!",
      "Whole pounds go to your bank, pence to your credit.",
  };
  int y = 150;
  for (const char* line : lines) {
    if (*line) p.say(img, line, 400, y, Style(19, kWhite, 0, kInk, Face::Sans), 760);
    y += *line ? 26 : 12;
  }
  p.say(img, "Touch the screen to return", 400, 572, Style(20, kGold, 1, kInk));
  return img;
}

Image LoadingScreen(Painter& p) {
  Image img = Backdrop(Hex(0x0A1640), Hex(0x2A1260), 3);
  Logo(p, img, 400, 250, 120);
  p.say(img, "LOADING...", 400, 380, Style(28, kWhite, 1, kInk));
  return img;
}

// ---- the game screen ----------------------------------------------------------------------

Image BoardBackground(Painter& p) {
  Image img = Backdrop(Hex(0x0A1640), Hex(0x160E40), 5, 60);
  // The board, behind the twenty boxes.
  img.roundRect(8, 0, 604, 446, 14, Hex(0x24346C));
  img.roundRect(11, 0, 598, 443, 12, [](int, int j) { return Mix(Hex(0x14224E), Hex(0x0C1535), j / 443.0f); });
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 5; ++c) img.roundRect(23 + 114 * c, 4 + 111 * r, 108, 105, 10, Hex(0x0A1230));
  // The win plan column: slots of 30 pixels from the top to the bottom.
  img.fillRect(618, 0, 182, 600, Hex(0x24346C));
  img.fillRect(620, 0, 180, 600, kSlot);
  // The bottom strip: speech bar at 445, the three windows at y 485.
  for (int x : {20, 248, 476}) img.roundRect(x + 2, 487, 110, 107, 10, Hex(0x0A1230));
  // Between the windows: what the windows beside them show.
  Rgb hint = Hex(0x8FA6E8);
  p.say(img, "\xE2\x97\x80 OFFERS", 191, 506, Style(13, hint));
  p.say(img, "YOUR BOX \xE2\x96\xB6", 191, 528, Style(13, hint));
  Logo(p, img, 191, 570, 24, 100);
  p.say(img, "LIVES \xE2\x96\xB6", 419, 506, Style(13, hint));
  // A game's top prize is the top of its win plan, which may be less than 5.00.
  p.say(img, "TOP PRIZE", 419, 540, Style(13, kGold));
  p.say(img, "IN YOUR BOX", 419, 566, Style(13, kGold));
  return img;
}

// ---- end of game --------------------------------------------------------------------------

Image WinScreen(Painter& p, bool big) {
  Image img = Backdrop(big ? Hex(0x3A1060) : Hex(0x0A2A50), big ? Hex(0x8A2A10) : Hex(0x12306A), 17, 120);
  for (int i = 0; i < 16; ++i) {
    float a = i * float(M_PI) / 8;
    img.polygon({{400, 380}, {400 + 700 * std::cos(a), 380 + 700 * std::sin(a)},
                 {400 + 700 * std::cos(a + 0.12f), 380 + 700 * std::sin(a + 0.12f)}},
                Mix(big ? Hex(0x5A1A50) : Hex(0x163A70), kWhite, 0.08f), 1);
  }
  if (big) {
    p.say(img, "WELL DONE!", 400, 150, Shadowed(Style(72, kGold, 3, kDarkRed), 4));
    p.say(img, "YOU HAVE WON", 400, 240, Shadowed(Style(36, kWhite, 2, kInk)));
    // The amount is written at (310, 337) in a box of 184 x 111 (353 or 363 below a pound).
    img.roundRect(282, 318, 236, 140, 22, kGold);
    img.roundRect(288, 324, 224, 128, 18, Hex(0x1A0A30));
    p.say(img, "Pounds go to your BANK, pence to your CREDIT", 400, 520, Style(20, kWhite, 1, kInk));
  } else {
    p.say(img, "YOU WON", 400, 120, Shadowed(Style(60, kGold, 3, kDarkRed), 4));
    // The amount is written at (345..363, 288) in a box of 126 x 111.
    img.roundRect(300, 268, 200, 140, 22, kGold);
    img.roundRect(306, 274, 188, 128, 18, Hex(0x0A1430));
    p.say(img, "It goes to your CREDIT", 400, 470, Style(22, kWhite, 1, kInk));
  }
  return img;
}

}  // namespace

std::vector<Picture> MakePictures(Typesetter& type) {
  Painter p{type};
  std::vector<Picture> out;
  auto add = [&out](int id, Image img) {
    for (const auto& n : kPictureNames)
      if (n.id == id) out.push_back({id, n.name, n.kind, n.frames, std::move(img)});
  };
  auto frames = [](std::vector<Image> f) { return Image::Stack(f); };

  add(1, LoadingScreen(p));
  add(2, InsertPrompt(p));
  add(3, Image(800, 600, kKey));
  add(4, MenuBackground(p));
  add(5, frames(CreditDigits(p)));
  add(6, InfoScreen(p));
  add(7, PressedButton(p, 2, 200, 4));   // drawn at (575, 480), the button at 579, 487
  add(8, PressedButton(p, 1, 208, 8));   // (296, 480), button at 304
  add(9, PressedButton(p, 0, 220, 14));  // (15, 480), button at 29
  add(10, MoneyPanel(p, "CREDIT", false));
  add(11, MoneyPanel(p, "BANK", false));
  add(17, BoardBackground(p));
  add(18, frames(BonusBoxes(p)));
  add(19, frames(Timer()));
  add(20, WinScreen(p, true));
  add(21, WinScreen(p, false));
  add(24, QuestionBox(p));
  add(25, frames({FaceButton(p, "TRUE", "", Hex(0x4DDB6A), Hex(0x137A2E)),
                  FaceButton(p, "FALSE", "", Hex(0xFF6A6A), Hex(0x8A1616))}));
  add(26, frames(Verdicts(p)));
  add(27, frames(TimeUp(p)));
  add(28, frames(Bars()));
  add(29, OfferPanel(p));
  add(31, frames({FaceButton(p, "TAKE", "the offer and stop", Hex(0xFFD95A), Hex(0x99680E)),
                  FaceButton(p, "LEAVE", "it and play on", Hex(0x4A8EF0), Hex(0x18408E))}));
  add(32, EmptySlot());
  for (int row = 0; row < 4; ++row) {
    std::vector<Image> f;
    for (int k = 0; k < 20; ++k) f.push_back(OpenedPrize(p, kPrizeRows[row][k], k));
    add(33 + row, frames(f));
    add(37 + row, frames(Overlay(p, row)));
  }
  add(41, frames(OverlayQMark(p)));
  {
    std::vector<Image> f;
    for (int i = 0; i < 20; ++i) f.push_back(ClosedBox(p, i + 1));
    add(42, frames(f));
  }
  add(43, frames(LivesFrames(p)));
  add(44, frames(SpeechBar(p)));
  add(45, frames({FaceButton(p, "YES", "pay 50P and play on", Hex(0x4DDB6A), Hex(0x137A2E)),
                  FaceButton(p, "NO", "end the game", Hex(0xFF6A6A), Hex(0x8A1616))}));
  add(46, ContinuePanel(p, true));
  add(47, frames(Flip(kGold, kDarkGold)));
  add(48, frames(Flip(kGreen, kDarkGreen)));
  add(49, frames(Flip(kBlue, kDeepBlue)));
  add(50, frames(Offers(p)));
  add(51, frames(FlipFace()));
  add(52, frames(PrizeUpdate(p)));
  add(53, MoneyPanel(p, "CREDIT", true));
  add(54, MoneyPanel(p, "BANK", true));
  add(55, ContinuePanel(p, true));
  add(56, ContinuePanel(p, false));
  return out;
}
