#include "tools/assets/tree.h"

#include <algorithm>
#include <stdexcept>

#include "tools/assets/fonts.h"
#include "tools/assets/questions.h"

using K = PictureKind;
const PictureNames kPictureNames[56] = {
    {1, "Graphic_resource\\Loading\\LoadingScreen.BMP", K::Bmp, 1},
    {2, "Graphic_resource\\Menu\\Insert.BMP", K::Bmp, 1},
    {3, "Graphic_resource\\transparency.PCX", K::Pcx, 1},
    {4, "Graphic_resource\\Menu\\OptionBackground.BMP", K::Bmp, 1},
    {5, "Graphic_resource\\Menu\\CreditNos.BMP", K::Bmp, 12},
    {6, "Graphic_resource\\Menu\\InfoScreen.BMP", K::Bmp, 1},
    {7, "Graphic_resource\\Menu\\Play-Pressed.BMP", K::Bmp, 1},
    {8, "Graphic_resource\\Menu\\Info-Pressed.BMP", K::Bmp, 1},
    {9, "Graphic_resource\\Menu\\Menu-Pressed.BMP", K::Bmp, 1},
    {10, "Graphic_resource\\Menu\\CreditBlank.BMP", K::Bmp, 1},
    {11, "Graphic_resource\\Menu\\BankBlank.BMP", K::Bmp, 1},
    {12, "Graphic_resource\\Font1a.PCX", K::Pcx, 96},
    {13, "Graphic_resource\\Font3.PCX", K::Pcx, 96},
    {14, "Graphic_resource\\TrueFalse\\TFFont.BMP", K::Bmp, 96},
    {15, "Graphic_resource\\Question\\courierfontblueans.PCX", K::Pcx, 96},
    {16, "Graphic_resource\\BankOffer\\CreditFont.BMP", K::Bmp, 96},
    {17, "Graphic_resource\\Main\\TestMain2.BMP", K::Bmp, 1},
    {18, "Graphic_resource\\Main\\BonusBoxes.BMP", K::Bmp, 8},
    {19, "Graphic_resource\\Main\\Timer.BMP", K::Bmp, 2},
    {20, "Graphic_resource\\Main\\WinBackGround.BMP", K::Bmp, 1},
    {21, "Graphic_resource\\Main\\YouOnlyWon.BMP", K::Bmp, 1},
    {22, "Graphic_resource\\Main\\SmallWinFont.BMP", K::Bmp, 96},
    {23, "Graphic_resource\\Main\\BigWinFont2.BMP", K::Bmp, 96},
    {24, "Graphic_resource\\TrueFalse\\QuestionBox.BMP", K::Bmp, 1},
    {25, "Graphic_resource\\TrueFalse\\TrueFalse.BMP", K::Bmp, 2},
    {26, "Graphic_resource\\TrueFalse\\CorrectWrong.BMP", K::Bmp, 2},
    {27, "Graphic_resource\\TrueFalse\\Timeup.BMP", K::Bmp, 3},
    {28, "Graphic_resource\\TrueFalse\\Bar.BMP", K::Bmp, 3},
    {29, "Graphic_resource\\BankOffer\\PrizeBox.BMP", K::Bmp, 1},
    {30, "Graphic_resource\\BankOffer\\OfferFont.BMP", K::Bmp, 96},
    {31, "Graphic_resource\\BankOffer\\TakeOrLeave.BMP", K::Bmp, 2},
    {32, "Graphic_resource\\Main\\WinPlan.BMP", K::Bmp, 1},
    {33, "Graphic_resource\\Main\\PrizeBoxes_1.BMP", K::Bmp, 20},
    {34, "Graphic_resource\\Main\\PrizeBoxes_2.BMP", K::Bmp, 20},
    {35, "Graphic_resource\\Main\\PrizeBoxes_3.BMP", K::Bmp, 20},
    {36, "Graphic_resource\\Main\\PrizeBoxes_4.BMP", K::Bmp, 20},
    {37, "Graphic_resource\\Main\\WinPlanOverLay.BMP", K::Bmp, 20},
    {38, "Graphic_resource\\Main\\WinPlanOverLay2.BMP", K::Bmp, 20},
    {39, "Graphic_resource\\Main\\WinPlanOverLay3.BMP", K::Bmp, 20},
    {40, "Graphic_resource\\Main\\WinPlanOverLay4.BMP", K::Bmp, 20},
    {41, "Graphic_resource\\Main\\WinPlanOverLayQMark.BMP", K::Bmp, 20},
    {42, "Graphic_resource\\Main\\BoxValues.BMP", K::Bmp, 20},
    {43, "Graphic_resource\\Main\\Lives.BMP", K::Bmp, 6},
    {44, "Graphic_resource\\Main\\speechbar.BMP", K::Bmp, 6},
    {45, "Graphic_resource\\Main\\YesNo.BMP", K::Bmp, 2},
    {46, "Graphic_resource\\Main\\ContinueBox.BMP", K::Bmp, 1},
    {47, "Graphic_resource\\Main\\FlipMode.BMP", K::Bmp, 4},
    {48, "Graphic_resource\\Main\\FlipModeGreen.BMP", K::Bmp, 4},
    {49, "Graphic_resource\\Main\\FlipModeBlue.BMP", K::Bmp, 4},
    {50, "Graphic_resource\\Main\\Offers.BMP", K::Bmp, 19},
    {51, "Graphic_resource\\TrueFalse\\TrueFalseFlip.BMP", K::Bmp, 4},
    {52, "Graphic_resource\\Main\\prizeupdate.BMP", K::Bmp, 10},
    {53, "Graphic_resource\\Menu\\WinCreditBlank.BMP", K::Bmp, 1},
    {54, "Graphic_resource\\Menu\\WinBankBlank.BMP", K::Bmp, 1},
    {55, "Graphic_resource\\Main\\ContinueBox1.BMP", K::Bmp, 1},
    {56, "Graphic_resource\\Main\\ContinueBox2.BMP", K::Bmp, 1},
};

namespace {

// One overview of every picture: each picture's frames side by side (fonts as a grid of
// glyphs), labelled with id and name, on a grey checker that shows the transparent parts.
Image ContactSheet(Typesetter& type, const std::vector<Picture>& pictures) {
  constexpr int kSheetW = 2400, kGap = 14, kLabel = 24;
  struct Layout {
    int scale, frameW, frameH, perRow, x, y;
  };
  // Shelf packing in table order: each picture's frames side by side (fonts as a grid of
  // glyphs), full screens at half size.
  std::vector<Layout> at;
  int x = 0, y = 0, shelf = 0;
  for (const auto& p : pictures) {
    Layout l;
    l.scale = p.image.width() > 600 && p.frames == 1 && p.image.height() >= 600 ? 2 : 1;
    l.frameW = p.image.width() / l.scale, l.frameH = p.image.height() / p.frames / l.scale;
    l.perRow = p.frames == 96 ? 24 : std::max(1, std::min(p.frames, (kSheetW - 20) / (l.frameW + 6)));
    int w = std::max(l.perRow * (l.frameW + 6), 260);
    int h = (p.frames + l.perRow - 1) / l.perRow * (l.frameH + 6) + kLabel;
    if (x + w > kSheetW) x = 0, y += shelf + kGap, shelf = 0;
    l.x = x, l.y = y;
    at.push_back(l);
    x += w + kGap;
    shelf = std::max(shelf, h);
  }
  Image sheet(kSheetW, y + shelf + 10, Hex(0x18181E));
  TextStyle label;
  label.face = Face::Sans, label.size = 15, label.colour = Hex(0xE0E0E0);
  for (size_t i = 0; i < pictures.size(); ++i) {
    const Picture& p = pictures[i];
    const Layout& l = at[i];
    std::string name = p.name.substr(p.name.find_last_of("\\/") + 1);
    std::string text = std::to_string(p.id) + "  " + name + "  " + std::to_string(p.image.width()) + "x" +
                       std::to_string(p.image.height() / p.frames) + " x" + std::to_string(p.frames);
    type.draw(sheet, text, l.x, l.y + 16, label);
    for (int f = 0; f < p.frames; ++f) {
      int ox = l.x + (f % l.perRow) * (l.frameW + 6) + 3, oy = l.y + kLabel + (f / l.perRow) * (l.frameH + 6) + 3;
      sheet.fillRect(ox - 3, oy - 3, l.frameW + 6, l.frameH + 6, Hex(0x30303A));
      for (int fy = 0; fy < l.frameH; ++fy)
        for (int fx = 0; fx < l.frameW; ++fx) {
          Rgb c = p.image.at(fx * l.scale, (f * l.frameH + fy) * l.scale);
          // A grey checker shows where a picture is transparent.
          if (IsKeyColour(c)) c = ((fx / 8 + fy / 8) % 2) ? Hex(0x9A9AA6) : Hex(0x7A7A86);
          sheet.at(ox + fx, oy + fy) = c;
        }
    }
  }
  return sheet;
}

}  // namespace

TreeReport WriteTree(const std::string& root, const std::string& bankText, const std::string& sheetPath) {
  auto bank = ParseBank(bankText);
  CheckBank(bank, 20);
  std::vector<std::string> questions;
  for (const auto& e : bank) questions.push_back(e.text);

  Tree tree(root);
  Typesetter type;
  std::vector<Picture> pictures = MakePictures(type);
  for (auto& f : MakeFonts(type, questions)) pictures.push_back(std::move(f));
  std::sort(pictures.begin(), pictures.end(), [](const Picture& a, const Picture& b) { return a.id < b.id; });
  if (pictures.size() != 56) throw std::runtime_error("the picture table is incomplete");
  for (const auto& p : pictures) {
    if (p.image.height() % p.frames) throw std::runtime_error(p.name + ": frames of unequal height");
    tree.write(p.name, p.kind == PictureKind::Pcx ? EncodePcx(p.image) : EncodeBmp(p.image));
  }
  for (const auto& s : MakeSounds()) tree.write(s.name, s.wav);
  for (const auto& c : MakeClips(type)) tree.write(c.name, c.avi);
  WriteQuestionFiles(tree, bank);

  TreeReport report;
  report.files = tree.files();
  report.bytes = tree.bytes();
  if (!sheetPath.empty()) {
    WriteFile(sheetPath, EncodePng(ContactSheet(type, pictures)));
    report.contactSheet = sheetPath;
  }
  return report;
}
