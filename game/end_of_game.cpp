#include "game/end_of_game.h"

#include "display/assets.h"
#include "display/fonts.h"
#include "display/images.h"
#include "game/offer_rules.h"
#include "machine/credit_link.h"
#include "screens/main_menu.h"
#include "shell/shell.h"
#include "shell/timers.h"
#include "sound/sound.h"
#include "video/clip.h"

namespace {

constexpr int PicWinBackGround = 20, PicYouOnlyWon = 21, PicBigWinFont2 = 23;
constexpr uint8_t kBankingNoise = 17;
constexpr int32_t kSmallWinBelow = 100;
constexpr ClipBox kSmallWinRedraw{208, 624, 200, 420}, kBigWinRedraw{208, 624, 288, 468};

// Plays a clip over the whole screen; a touch cuts it short and stays pending.
void PlayClip(const char* path) {
  StartClip(path, 30);
  ShowClipFrame(-1, 0, 0);
  while (ClipState() == 0 && TouchX == -1) {
    ShowClipFrame(1, 0, 0);
    FlipAndWait();
  }
  EndClip();
}

struct WinScreen {
  int32_t amount;
  int background;
  const ClipBox* redraw;
};

void DrawAmountText(const WinScreen& win, int32_t shown) {
  char text[kOfferTextSize];
  FormatOfferText(static_cast<float>(shown), text, kOfferTextSize);
  WinTextPlace place = WinAmountPlace(win.amount, shown);
  WriteText(text, place.x, place.y, place.width, place.height, PicBigWinFont2);
}

}  // namespace

WinTextPlace WinAmountPlace(int32_t amount, int32_t shown) {
  if (amount < kSmallWinBelow) return {shown < 10 ? 363 : shown < 20 ? 350 : 345, 288, 126, 111};
  if (shown >= 100) return {310, 337, 184, 111};
  return {shown < 10 ? 363 : 353, 337, 126, 111};
}

WinCountStep NextWinStep(int32_t amount, float working) {
  WinCountStep none{static_cast<int32_t>(working), 0, 0};
  if (working <= 0) return none;
  bool toBank = amount >= kSmallWinBelow && working > static_cast<float>(amount % 100);
  WinCountStep step{0, toBank ? 10 : 0, toBank ? 0 : 5};
  step.shown = static_cast<int32_t>(working - static_cast<float>(step.toBank + step.toCredit));
  return step;
}

int WinCountSteps(int32_t amount, WinCountStep* steps, int capacity) {
  float working = static_cast<float>(amount);
  int count = 0;
  for (WinCountStep s = NextWinStep(amount, working); s.toBank + s.toCredit > 0; s = NextWinStep(amount, working)) {
    working -= static_cast<float>(s.toBank + s.toCredit);
    if (count < capacity) steps[count] = s;
    count++;
  }
  return count;
}

void ShowWin(int32_t amount) {
  FlushInput();
  LoadSprite(Sprites[PicWinBackGround], PicWinBackGround, 1);
  LoadSprite(Sprites[PicYouOnlyWon], PicYouOnlyWon, 1);
  LoadSprite(Sprites[PicBigWinFont2], PicBigWinFont2, 96);
  bool small = amount < kSmallWinBelow;
  PlayClip(small ? "Graphic_resource/avis/OnlyWon.avi" : "Graphic_resource/avis/WellDone.avi");
  TextCentred = 0;
  TextMiddle = 0;

  WinScreen win{amount, small ? PicYouOnlyWon : PicWinBackGround, small ? &kSmallWinRedraw : &kBigWinRedraw};
  DrawImage(Sprites[win.background], 0, 0, 0, nullptr, kKeyed);
  DrawAmountText(win, amount);
  DrawCreditAmount(ReadCredit());
  DrawBankAmount(ReadBank());
  Present();
  WaitOrTouch(2000);

  float working = static_cast<float>(amount);
  int32_t bankAdded = 0, creditAdded = 0;
  for (WinCountStep s = NextWinStep(amount, working); s.toBank + s.toCredit > 0; s = NextWinStep(amount, working)) {
    working -= static_cast<float>(s.toBank + s.toCredit);
    bankAdded += s.toBank;
    creditAdded += s.toCredit;
    DrawImage(Sprites[win.background], 0, 0, 0, win.redraw, kOpaque);
    DrawCreditAmount(ReadCredit() + creditAdded);
    DrawBankAmount(ReadBank() + bankAdded);
    DrawAmountText(win, static_cast<int32_t>(working));
    Present();
    PlaySoundOnce(kBankingNoise);
    PumpFor(120);
  }

  PayPrize(static_cast<int16_t>(amount));
}

void ShowGameOver() {
  FlushInput();
  StopAllSounds();
  PlayClip("Graphic_resource/avis/Gameover.avi");
  if (TouchX == -1) WaitOrTouch(1500);
}
