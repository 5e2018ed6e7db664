#include "display/assets.h"

#include "display/images.h"

Sprite Sprites[57];

AssetRow AssetTable[kAssetCount + 1] = {
    {1, "Graphic_resource\\Loading\\LoadingScreen.BMP", kKindBmp, nullptr},
    {2, "Graphic_resource\\Menu\\Insert.BMP", kKindBmp, nullptr},
    {3, "Graphic_resource\\transparency.PCX", kKindPcx, nullptr},
    {4, "Graphic_resource\\Menu\\OptionBackground.BMP", kKindBmp, nullptr},
    {5, "Graphic_resource\\Menu\\CreditNos.BMP", kKindBmp, nullptr},
    {6, "Graphic_resource\\Menu\\InfoScreen.BMP", kKindBmp, nullptr},
    {7, "Graphic_resource\\Menu\\Play-Pressed.BMP", kKindBmp, nullptr},
    {8, "Graphic_resource\\Menu\\Info-Pressed.BMP", kKindBmp, nullptr},
    {9, "Graphic_resource\\Menu\\Menu-Pressed.BMP", kKindBmp, nullptr},
    {10, "Graphic_resource\\Menu\\CreditBlank.BMP", kKindBmp, nullptr},
    {11, "Graphic_resource\\Menu\\BankBlank.BMP", kKindBmp, nullptr},
    {12, "Graphic_resource\\Font1a.PCX", kKindPcx, nullptr},
    {13, "Graphic_resource\\Font3.PCX", kKindPcx, nullptr},
    {14, "Graphic_resource\\TrueFalse\\TFFont.BMP", kKindBmp, nullptr},
    {15, "Graphic_resource\\Question\\courierfontblueans.PCX", kKindPcx, nullptr},
    {16, "Graphic_resource\\BankOffer\\CreditFont.BMP", kKindBmp, nullptr},
    {17, "Graphic_resource\\Main\\TestMain2.BMP", kKindBmp, nullptr},
    {18, "Graphic_resource\\Main\\BonusBoxes.BMP", kKindBmp, nullptr},
    {19, "Graphic_resource\\Main\\Timer.BMP", kKindBmp, nullptr},
    {20, "Graphic_resource\\Main\\WinBackGround.BMP", kKindBmp, nullptr},
    {21, "Graphic_resource\\Main\\YouOnlyWon.BMP", kKindBmp, nullptr},
    {22, "Graphic_resource\\Main\\SmallWinFont.BMP", kKindBmp, nullptr},
    {23, "Graphic_resource\\Main\\BigWinFont2.BMP", kKindBmp, nullptr},
    {24, "Graphic_resource\\TrueFalse\\QuestionBox.BMP", kKindBmp, nullptr},
    {25, "Graphic_resource\\TrueFalse\\TrueFalse.BMP", kKindBmp, nullptr},
    {26, "Graphic_resource\\TrueFalse\\CorrectWrong.BMP", kKindBmp, nullptr},
    {27, "Graphic_resource\\TrueFalse\\Timeup.BMP", kKindBmp, nullptr},
    {28, "Graphic_resource\\TrueFalse\\Bar.BMP", kKindBmp, nullptr},
    {29, "Graphic_resource\\BankOffer\\PrizeBox.BMP", kKindBmp, nullptr},
    {30, "Graphic_resource\\BankOffer\\OfferFont.BMP", kKindBmp, nullptr},
    {31, "Graphic_resource\\BankOffer\\TakeOrLeave.BMP", kKindBmp, nullptr},
    {32, "Graphic_resource\\Main\\WinPlan.BMP", kKindBmp, nullptr},
    {33, "Graphic_resource\\Main\\PrizeBoxes_1.BMP", kKindBmp, nullptr},
    {34, "Graphic_resource\\Main\\PrizeBoxes_2.BMP", kKindBmp, nullptr},
    {35, "Graphic_resource\\Main\\PrizeBoxes_3.BMP", kKindBmp, nullptr},
    {36, "Graphic_resource\\Main\\PrizeBoxes_4.BMP", kKindBmp, nullptr},
    {37, "Graphic_resource\\Main\\WinPlanOverLay.BMP", kKindBmp, nullptr},
    {38, "Graphic_resource\\Main\\WinPlanOverLay2.BMP", kKindBmp, nullptr},
    {39, "Graphic_resource\\Main\\WinPlanOverLay3.BMP", kKindBmp, nullptr},
    {40, "Graphic_resource\\Main\\WinPlanOverLay4.BMP", kKindBmp, nullptr},
    {41, "Graphic_resource\\Main\\WinPlanOverLayQMark.BMP", kKindBmp, nullptr},
    {42, "Graphic_resource\\Main\\BoxValues.BMP", kKindBmp, nullptr},
    {43, "Graphic_resource\\Main\\Lives.BMP", kKindBmp, nullptr},
    {44, "Graphic_resource\\Main\\speechbar.BMP", kKindBmp, nullptr},
    {45, "Graphic_resource\\Main\\YesNo.BMP", kKindBmp, nullptr},
    {46, "Graphic_resource\\Main\\ContinueBox.BMP", kKindBmp, nullptr},
    {47, "Graphic_resource\\Main\\FlipMode.BMP", kKindBmp, nullptr},
    {48, "Graphic_resource\\Main\\FlipModeGreen.BMP", kKindBmp, nullptr},
    {49, "Graphic_resource\\Main\\FlipModeBlue.BMP", kKindBmp, nullptr},
    {50, "Graphic_resource\\Main\\Offers.BMP", kKindBmp, nullptr},
    {51, "Graphic_resource\\TrueFalse\\TrueFalseFlip.BMP", kKindBmp, nullptr},
    {52, "Graphic_resource\\Main\\prizeupdate.BMP", kKindBmp, nullptr},
    {53, "Graphic_resource\\Menu\\WinCreditBlank.BMP", kKindBmp, nullptr},
    {54, "Graphic_resource\\Menu\\WinBankBlank.BMP", kKindBmp, nullptr},
    {55, "Graphic_resource\\Main\\ContinueBox1.BMP", kKindBmp, nullptr},
    {56, "Graphic_resource\\Main\\ContinueBox2.BMP", kKindBmp, nullptr},
    {0, nullptr, 0, nullptr},
};

namespace {
constexpr int16_t kFrames[kAssetCount + 1] = {
    0,                                      // unused
    1,  1,  1,  1,  12, 1,  1,  1,  1,  1,  // 1-10
    1,  96, 96, 96, 0,  96, 1,  8,  2,  1,  // 11-20
    1,  0,  96, 1,  2,  2,  3,  3,  1,  96, // 21-30
    2,  1,  20, 20, 20, 20, 20, 20, 20, 20, // 31-40
    20, 20, 6,  6,  2,  1,  4,  4,  4,  19, // 41-50
    4,  10, 1,  1,  1,  1,                  // 51-56
};

enum Prepare { kHeader, kFull };
struct Step {
  Prepare how;
  int id;
};
constexpr Step kSteps[] = {
    {kHeader, 2},  {kHeader, 5},  {kHeader, 7},  {kHeader, 8},  {kHeader, 9},  {kHeader, 10}, {kHeader, 11},
    {kHeader, 6},  {kHeader, 17}, {kHeader, 18}, {kHeader, 19}, {kFull, 3},    {kFull, 4},    {kFull, 12},
    {kFull, 30},   {kFull, 13},   {kFull, 16},   {kHeader, 32}, {kHeader, 33}, {kHeader, 34}, {kHeader, 35},
    {kHeader, 36}, {kHeader, 37}, {kHeader, 38}, {kHeader, 39}, {kHeader, 40}, {kHeader, 41}, {kFull, 42},
    {kFull, 43},   {kFull, 44},   {kFull, 45},   {kFull, 46},   {kFull, 47},   {kFull, 49},   {kFull, 48},
    {kFull, 50},   {kFull, 28},   {kFull, 51},   {kFull, 52},   {kFull, 53},   {kFull, 54},   {kFull, 55},
    {kFull, 56},
};
static_assert(sizeof kSteps / sizeof kSteps[0] == 43);
}  // namespace

int16_t AssetFrames(int assetId) { return assetId >= 1 && assetId <= kAssetCount ? kFrames[assetId] : 0; }

void LoadAssets() {
  for (const Step& step : kSteps) {
    if (step.how == kHeader)
      ReadSpriteInfo(Sprites[step.id], step.id, kFrames[step.id]);
    else
      LoadSprite(Sprites[step.id], step.id, kFrames[step.id]);
  }
}

int FirstBrokenPicture(const char*& reason) {
  for (int id = 1; id <= kAssetCount; ++id)
    if (kFrames[id] > 0 && !PictureFileLoads(id, reason)) return id;
  return 0;
}
