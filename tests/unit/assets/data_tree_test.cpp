// The generated data tree, read with the game's own readers: every picture at the size its
// placements need, every font, sound, clip and question file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "display/assets.h"
#include "display/fonts.h"
#include "display/images.h"
#include "platform/avifile.h"
#include "questions/question_files.h"
#include "sound/sound.h"
#include "sound/wave_file.h"
#include "tools/assets/questions.h"
#include "tools/assets/tree.h"

namespace {

namespace fs = std::filesystem;

// One tree for all the test processes of a build: made once beside the test program (under a
// lock, since ctest runs tests side by side) and made again when the program is rebuilt.
fs::path TreeRoot() {
  static fs::path root;
  if (!root.empty()) return root;
  fs::path exe = fs::read_symlink("/proc/self/exe");
  auto stamp = std::to_string(fs::last_write_time(exe).time_since_epoch().count());
  fs::path cache = exe.parent_path().parent_path() / "assets-test-tree";
  fs::create_directories(cache);
  int lock = ::open((cache / "lock").c_str(), O_CREAT | O_RDWR, 0644);
  ::flock(lock, LOCK_EX);
  root = cache / "tree";
  std::ifstream done(cache / "made-by");
  std::string made;
  std::getline(done, made);
  if (made != stamp) {
    fs::remove_all(root);
    WriteTree(root.string(), BuiltInBank(), "");
    std::ofstream(cache / "made-by") << stamp << "\n";
  }
  ::flock(lock, LOCK_UN);
  ::close(lock);
  return root;
}

std::vector<uint8_t> Slurp(const std::string& gameName) {
  std::string name = gameName;
  for (char& c : name)
    if (c == '\\') c = '/';
  std::ifstream f(TreeRoot() / name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

Picture565 Load(int id) {
  const AssetRow& row = AssetTable[id - 1];
  auto bytes = Slurp(row.path);
  Picture565 pic;
  bool ok = row.kind == kKindPcx ? DecodePcx(bytes.data(), bytes.size(), pic) : DecodeBmp(bytes.data(), bytes.size(), pic);
  EXPECT_TRUE(ok) << row.path;
  return pic;
}

struct Geometry {
  int id, width, frameHeight, frames;
};
// Sizes from where the screens draw each picture.
const Geometry kGeometry[] = {
    {1, 800, 600, 1}, {3, 800, 600, 1}, {4, 800, 600, 1}, {6, 800, 600, 1}, {17, 800, 600, 1},
    {20, 800, 600, 1}, {21, 800, 600, 1},
    // The insert prompt at (568, 445) covers the Start button (579..771, 487..600).
    {2, 216, 155, 1},
    // Pressed buttons at (575 / 296 / 15, 480) cover their buttons to the bottom of the screen.
    {7, 200, 120, 1}, {8, 208, 120, 1}, {9, 220, 120, 1},
    // Digits 15 pixels apart on row 50 of the 154-pixel money panels.
    {5, 16, 24, 12}, {10, 154, 84, 1}, {11, 154, 84, 1}, {53, 154, 84, 1}, {54, 154, 84, 1},
    // Boxes and the three bottom windows.
    {18, 114, 111, 8}, {33, 114, 111, 20}, {34, 114, 111, 20}, {35, 114, 111, 20}, {36, 114, 111, 20},
    {42, 114, 111, 20}, {43, 114, 111, 6}, {47, 114, 111, 4}, {48, 114, 111, 4}, {49, 114, 111, 4},
    {50, 114, 111, 19}, {52, 114, 111, 10},
    // The bar runs from x + 18 for 558 pixels on rows 3 to 12.
    {19, 594, 16, 2},
    // Panels across the play area at x 20, faces of 228 at x 20 and 362, the bar between them.
    {24, 570, 222, 1}, {29, 570, 111, 1}, {46, 570, 111, 1}, {55, 570, 111, 1}, {56, 570, 111, 1},
    {25, 228, 111, 2}, {26, 228, 111, 2}, {31, 228, 111, 2}, {45, 228, 111, 2}, {51, 228, 111, 4},
    {27, 400, 158, 3}, {28, 114, 18, 3},
    // Win plan slots 30 pixels apart at x 627; the empty slot is drawn 4 pixels lower.
    {32, 168, 22, 1}, {37, 168, 30, 20}, {38, 168, 30, 20}, {39, 168, 30, 20}, {40, 168, 30, 20},
    // The tag that marks a value in play covers only the slot's left end.
    {41, 30, 30, 20},
    // The speech bar at (23, 445), down to the bottom windows at 485.
    {44, 564, 40, 6},
};

bool Keyed(uint16_t p) { return p == kTransparent; }

class DataTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TreeRoot(); }
};

TEST_F(DataTree, EveryPictureLoadsAtTheSizeItsPlacesNeed) {
  std::set<int> checked;
  for (const auto& g : kGeometry) {
    SCOPED_TRACE(AssetTable[g.id - 1].path);
    Picture565 pic = Load(g.id);
    EXPECT_EQ(pic.width, g.width);
    EXPECT_EQ(pic.height, g.frameHeight * g.frames);
    if (AssetFrames(g.id) > 0) {
      EXPECT_EQ(AssetFrames(g.id), g.frames);
    }
    checked.insert(g.id);
  }
  for (int id = 1; id <= kAssetCount; ++id) {
    if (checked.count(id)) continue;
    SCOPED_TRACE(AssetTable[id - 1].path);
    Picture565 pic = Load(id);  // the fonts: 96 glyph frames
    EXPECT_EQ(pic.height % 96, 0);
    EXPECT_GT(pic.height, 0);
  }
}

TEST_F(DataTree, PicturesDrawnUnkeyedHaveNoHolesAndTransparencyIsAllKey) {
  for (int id : {1, 4, 6, 17, 37, 38, 39, 40, 41}) {
    Picture565 pic = Load(id);
    int holes = 0;
    for (uint16_t p : pic.pixels) holes += Keyed(p);
    EXPECT_EQ(holes, 0) << AssetTable[id - 1].path;
  }
  Picture565 clear = Load(3);
  for (uint16_t p : clear.pixels) ASSERT_TRUE(Keyed(p));
}

TEST_F(DataTree, FramesOfAStripShowDifferentThings) {
  for (int id : {5, 18, 33, 36, 37, 42, 43, 44, 50, 52}) {
    Picture565 pic = Load(id);
    int frames = AssetFrames(id), size = pic.width * (pic.height / frames);
    std::set<std::vector<uint16_t>> seen;
    for (int f = 0; f < frames; ++f)
      seen.insert(std::vector<uint16_t>(pic.pixels.begin() + f * size, pic.pixels.begin() + (f + 1) * size));
    EXPECT_EQ(int(seen.size()), frames) << AssetTable[id - 1].path;
  }
}

// Glyph widths as the game measures them, put into the game's own table, so that its layout
// code wraps the text.
int FontSlotWithWidths(int fontId, const Picture565& pic) {
  int slot = FontSlot(fontId), cellH = pic.height / kGlyphs;
  for (int g = 0; g < kGlyphs; ++g) {
    int extent = 0;
    for (int r = 0; r < cellH; ++r)
      for (int c = pic.width - 1; c >= 1; --c)
        if (!Keyed(pic.pixels[size_t(g * cellH + r) * pic.width + c])) {
          extent = std::max(extent, c);
          break;
        }
    GlyphWidths[slot][g] = extent + 1;
  }
  GlyphWidths[slot][0] = pic.width / 2;
  return slot;
}

TEST_F(DataTree, FontsHaveEveryGlyphOnTheTransparentColour) {
  for (int id : {12, 13, 14, 15, 16, 22, 23, 30}) {
    SCOPED_TRACE(AssetTable[id - 1].path);
    Picture565 pic = Load(id);
    int cellH = pic.height / kGlyphs;
    for (int g = 0; g < kGlyphs; ++g) {
      int ink = 0;
      for (int r = 0; r < cellH; ++r)
        for (int c = 0; c < pic.width; ++c) ink += !Keyed(pic.pixels[size_t(g * cellH + r) * pic.width + c]);
      if (g == 0)
        EXPECT_EQ(ink, 0) << "the space";
      else
        EXPECT_GT(ink, 0) << "glyph " << g;
      EXPECT_TRUE(Keyed(pic.pixels[size_t(g * cellH) * pic.width])) << "glyph " << g;
    }
  }
}

TEST_F(DataTree, TextsFitTheBoxesTheScreensWriteThemIn) {
  // Every question in 536 x 191 with the game's layout; offers in 344 x 43; the shortfall in
  // 82 x 42; win amounts in 126 or 184 wide and 111 high.
  Picture565 tf = Load(14);
  int slot = FontSlotWithWidths(14, tf), lineH = tf.height / kGlyphs;
  for (const auto& e : ParseBank(BuiltInBank())) {
    LayoutText(e.text.c_str(), 536, slot);
    EXPECT_LE((Layout.lastLine + 1) * lineH, 191) << e.text;
  }
  struct Box {
    int font, width, height;
    const char* text;
  };
  for (const Box& b : {Box{30, 344, 43, "\xA3" "4.00"}, Box{30, 344, 43, "95P"}, Box{16, 82, 42, "50P"},
                       Box{23, 184, 111, "\xA3" "5.00"}, Box{23, 126, 111, "95P"}}) {
    Picture565 pic = Load(b.font);
    int s = FontSlotWithWidths(b.font, pic);
    LayoutText(b.text, b.width, s);
    EXPECT_EQ(Layout.lastLine, 0) << b.text;
    EXPECT_LE(Layout.width[0], b.width) << b.text;
    EXPECT_LE(pic.height / kGlyphs, b.height) << b.text;
  }
}

TEST_F(DataTree, EverySoundIsShortPcmAndTheTunesLoopQuietly) {
  for (int i = 0; i < 28; ++i) {
    SCOPED_TRACE(SoundFiles[i]);
    auto bytes = Slurp(SoundFiles[i]);
    WaveFile w = ReadWaveFile(bytes.data(), bytes.size());
    ASSERT_TRUE(w.hasFormat && w.hasData);
    EXPECT_EQ(w.format.formatTag, 1);
    EXPECT_EQ(w.format.bitsPerSample, 16);
    EXPECT_GT(w.dataSize, 0u);
    double seconds = double(w.dataSize) / w.format.avgBytesPerSec;
    EXPECT_LT(seconds, 10.0);
    const int16_t* s = reinterpret_cast<const int16_t*>(bytes.data() + w.dataOffset);
    size_t n = w.dataSize / 2;
    if (i == 6) {
      EXPECT_LT(seconds, 0.3) << "the main menu waits for MenuPress";
    }
    if (i == 7 || i == 8 || (i >= 9 && i <= 12)) {
      // Looped tunes start and end near silence, so the loop point makes no click.
      EXPECT_LT(std::abs(s[0]), 800);
      EXPECT_LT(std::abs(s[n - 1]), 800);
    }
  }
}

TEST_F(DataTree, EveryClipOpensWithItsFramesAndOneCarriesSound) {
  AVIFileInit();
  const char* clips[] = {"Graphic_resource/avis/Congrats.avi", "Graphic_resource/avis/WellDone.avi",
                         "Graphic_resource/avis/OnlyWon.avi", "Graphic_resource/avis/Gameover.avi"};
  int withSound = 0;
  for (const char* name : clips) {
    SCOPED_TRACE(name);
    AviFile* file = nullptr;
    ASSERT_EQ(AVIFileOpen(&file, (TreeRoot() / name).string().c_str()), AVIERR_OK);
    AviStream* video = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &video, streamtypeVIDEO, 0), AVIERR_OK);
    AviStream* audio = nullptr;
    if (AVIFileGetStream(file, &audio, streamtypeAUDIO, 0) == AVIERR_OK) {
      ++withSound;
      AVIStreamRelease(audio);
    }
    AviFrameReader* reader = AVIStreamGetFrameOpen(video);
    ASSERT_NE(reader, nullptr);
    const DibHeader* first = AVIStreamGetFrame(reader, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_LE(first->width, 800);
    EXPECT_LE(std::abs(first->height), 600);
    auto bits = [](const DibHeader* h) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(h) + h->size;
      return std::vector<uint8_t>(p, p + h->sizeImage);
    };
    std::vector<uint8_t> opening = bits(first);
    EXPECT_GT(std::set<uint8_t>(opening.begin(), opening.end()).size(), 4u) << "a picture, not a blank";
    const DibHeader* last = AVIStreamGetFrame(reader, 74);
    ASSERT_NE(last, nullptr);
    EXPECT_NE(bits(last), opening) << "the clip moves";
    EXPECT_EQ(AVIStreamGetFrame(reader, 75), nullptr);
    // Bit-exact writing leaves out the encoder's name and version.
    std::ifstream in(TreeRoot() / name, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes.find("Lavf"), std::string::npos);
    AVIStreamGetFrameClose(reader);
    AVIStreamRelease(video);
    AVIFileRelease(file);
  }
  EXPECT_GE(withSound, 1);
  AVIFileExit();
}

TEST_F(DataTree, EveryQuestionFileIndexesAndReadsWithoutRepeats) {
  fs::path was = fs::current_path();
  fs::current_path(TreeRoot());
  ASSERT_TRUE(IndexQuestionFiles());
  auto bank = ParseBank(BuiltInBank());
  for (QuestionFileRow* row = QuestionFiles; row->path; ++row) {
    SCOPED_TRACE(row->path);
    std::vector<std::string> expected;
    for (const auto& e : bank)
      if (e.category == row->key && int(e.answer) == row->answer) expected.push_back(e.text);
    EXPECT_GE(row->lineCount, 20);
    EXPECT_EQ(row->lineCount, int(expected.size()));
    ASSERT_TRUE(OpenQuestionFile(row->path));
    std::set<std::string> seen;
    for (int i = 0; i < row->lineCount; ++i) {
      ReadQuestionLine();
      char text[600];
      ExpandQuestionText(QuestionLine(), text, sizeof text);
      std::string s = text;
      ASSERT_FALSE(s.empty());
      EXPECT_EQ(s.back(), '*');
      s.pop_back();
      EXPECT_LE(s.size(), 199u);
      EXPECT_EQ(s, expected[size_t(i)]);
      EXPECT_TRUE(seen.insert(s).second) << "repeated: " << s;
    }
    CloseQuestionFile();
  }
  fs::current_path(was);
}

}  // namespace
