#include "questions/question_round.h"

#include "display/assets.h"
#include "display/fonts.h"
#include "display/images.h"
#include "game/board.h"
#include "game/flow.h"
#include "game/journal_events.h"
#include "game/play_area.h"
#include "game/reveal_rules.h"
#include "game/state.h"
#include "machine/meters.h"
#include "questions/countdown.h"
#include "questions/question_files.h"
#include "screens/buttons.h"
#include "shell/timers.h"
#include "sound/sound.h"

namespace {

constexpr int PicTFFont = 14, PicQuestionBox = 24, PicTrueFalse = 25, PicCorrectWrong = 26,
              PicTimeup = 27, PicTrueFalseFlip = 51;
constexpr uint8_t kTimeUpSound = 1, kInGameTune = 9, kCorrectAnswer = 18;
constexpr int16_t kMeterTimeUps = 299, kMeterAsked = 300, kMeterWrong = 301;

constexpr int32_t kTrueX = 20, kFalseX = 362, kFaceY = 334;
constexpr ClipBox kTrueFlash{20, 248, 333, 446}, kFalseFlash{362, 590, 333, 446};
constexpr int32_t kPanelBarRows[] = {158, 269, 380};
constexpr int32_t kTextX = 39, kTextY = 126, kTextW = 536, kTextH = 191;
constexpr int kMarkRight = 0, kMarkWrong = 1;

constexpr int32_t kPressedTrue = 0, kPressedFalse = 1;

uint8_t FlashFlag = 0;
uint8_t SpeechFlash = 0;
uint32_t SpeechDeadline = 0;

// The panel pieces on canvas 0 or the back buffer (-1).
void DrawPanelPieces(int target, bool withTimer, bool withBottomBars) {
  DrawPicture(target, PicQuestionBox, 0, 20, 112, nullptr, kKeyed);
  DrawPicture(target, PicTrueFalse, 0, kTrueX, kFaceY, nullptr, kKeyed);
  DrawPicture(target, PicTrueFalse, 1, kFalseX, kFaceY, nullptr, kKeyed);
  DrawPicture(target, PicBar, 0, 248, 380, nullptr, kKeyed);
  for (int32_t row : kPanelBarRows) {
    DrawPicture(target, PicBar, 1, kLeftBarX, row, nullptr, kKeyed);
    DrawPicture(target, PicBar, 2, kRightBarX, row, nullptr, kKeyed);
  }
  if (withBottomBars) {
    DrawPicture(target, PicBar, 1, kLeftBarX, kSideBarBottomRow, nullptr, kKeyed);
    DrawPicture(target, PicBar, 2, kRightBarX, kSideBarBottomRow, nullptr, kKeyed);
  }
  if (withTimer) DrawPicture(target, PicTimer, 0, 16, 48, nullptr, kKeyed);
}

void ComposePanelOnCanvas() {
  ClearCanvas0();
  DrawPanelPieces(0, true, false);
}

void WriteQuestion(int target) {
  TextCentred = 1;
  TextMiddle = 1;
  TextTarget = target;
  WriteText(QuestionText(), kTextX, kTextY, kTextW, kTextH, PicTFFont);
}

void ShowTimeUpPicture() {
  StartTransition(1000);
  do {
    uint32_t frame = TransitionProgress(3);
    DrawImage(Sprites[PicTimeup], frame > 2 ? 2 : static_cast<int>(frame), 105, 144, nullptr, kKeyed);
    IdleStep();
    Present();
  } while (!TransitionDone());
}

int32_t FaceX(int32_t pressed) { return pressed == kPressedTrue ? kTrueX : kFalseX; }

void FlashFace(int32_t pressed, bool right) {
  FlashPiece piece{PicTrueFalseFlip, FaceX(pressed), kFaceY, pressed == kPressedTrue ? kTrueFlash : kFalseFlash};
  FlashPieces(&piece, 1, FlashFlag, false);
  DrawImage(Sprites[PicCorrectWrong], right ? kMarkRight : kMarkWrong, FaceX(pressed), kFaceY, nullptr, kKeyed);
  Present();
  StopFlashNoise();
}

void LoadQuestionPictures() {
  LoadSprite(Sprites[PicTFFont], PicTFFont, 96);
  LoadSprite(Sprites[PicQuestionBox], PicQuestionBox, 1);
  LoadSprite(Sprites[PicTrueFalse], PicTrueFalse, 2);
  LoadSprite(Sprites[PicCorrectWrong], PicCorrectWrong, 2);
  LoadSprite(Sprites[PicTimeup], PicTimeup, 3);
}

}  // namespace

void QuestionWaitRedraw() {
  DrawCountdown(QuestionCountdown);
  if (CountdownLeft(QuestionCountdown) < 6000) {
    if (DeadlinePassed(SpeechDeadline)) {
      SpeechFlash = !SpeechFlash;
      StartDeadline(SpeechDeadline, 300);
    }
    DrawImage(Sprites[PicSpeechBar], SpeechFlash ? 4 : 0, kSpeechBarX, kSpeechBarY, nullptr, kKeyed);
  }
}

uint8_t AskQuestion() {
  LoadQuestionPictures();

  ComposeBoardOnCanvas();
  SlideCanvas(Slide::Out, kOpaque);
  ComposePanelOnCanvas();
  SlideCanvas(Slide::In, kOpaque);

  axBoxes[CurrentBox].state = kMarkNone;
  axBoxes[CurrentBox].closed = 0;
  uint8_t result = kAnswerRight;
  MeterIncrement(kMeterAsked);

  DrawImage(Sprites[PicTestMain2], 0, 0, 0, &kPlayArea, kOpaque);
  DrawImage(Sprites[PicSpeechBar], 0, kSpeechBarX, kSpeechBarY, nullptr, kKeyed);
  DrawPanelPieces(kBackBuffer, false, true);
  DrawWinPlan();

  StartCountdown(QuestionCountdown, 20000);
  DrawCountdown(QuestionCountdown);
  ChangeLives(0, false);
  DrawOffersWindow();
  Present();

  PickQuestion();
  JournalQuestion();
  WriteQuestion(kBackBuffer);
  Present();

  uint8_t tune = static_cast<uint8_t>(QuestionSound(PickNumber));
  StopSound(kInGameTune);
  PlaySoundLoop(tune);
  RunCountdown(QuestionCountdown);

  int32_t pressed = WaitTrueFalse();
  FreezeCountdown(QuestionCountdown);

  int32_t truth = QuestionAnswer();
  int32_t said;
  bool timeUp = pressed == kQuestionTimeUp;
  if (timeUp) {
    PlaySoundOnce(kTimeUpSound);
    DrawImage(Sprites[PicQuestionBox], 0, 20, 112, nullptr, kKeyed);
    ShowTimeUpPicture();
    said = truth ? 0 : 1;
    ChangeLives(1, false);
    DrawOffersWindow();
    MeterIncrement(kMeterTimeUps);
  } else {
    ChangeLives(0, false);
    DrawOffersWindow();
    Present();
    said = pressed == kPressedTrue ? 1 : 0;
    FlashFace(pressed, said == truth);
    Present();
  }

  DrawCountdown(QuestionCountdown);
  Present();
  JournalAnswer(timeUp ? -1 : pressed == kPressedTrue ? 0 : 1, said == truth);

  if (said == truth) {
    PlaySoundOnce(kCorrectAnswer);
    DrawImage(Sprites[PicCorrectWrong], kMarkRight, FaceX(pressed), kFaceY, nullptr, kKeyed);
    Present();
    WaitOrTouch(500);
  } else {
    MeterIncrement(kMeterWrong);
    result = kAnswerWrong;
    if (!timeUp) {
      PlaySoundOnce(static_cast<uint8_t>(WrongAnswerSound(PickNumber)));
      DrawOffersWindow();
      DrawImage(Sprites[PicCorrectWrong], kMarkWrong, FaceX(pressed), kFaceY, nullptr, kKeyed);
      Present();
      WaitOrTouch(500);
      ChangeLives(1, false);
    }
  }

  IdleFor(500);
  SetGamePhase(result);

  // With no life left the panel stays for the continue screen.
  if (Lives >= 0) {
    ComposePanelOnCanvas();
    if (timeUp) {
      DrawImageToCanvas(0, Sprites[PicTrueFalse], 0, kTrueX, kFaceY, nullptr, kKeyed);
      DrawImageToCanvas(0, Sprites[PicTrueFalse], 1, kFalseX, kFaceY, nullptr, kKeyed);
    } else {
      int mark = result == kAnswerWrong ? kMarkWrong : kMarkRight;
      DrawImageToCanvas(0, Sprites[PicCorrectWrong], mark, FaceX(pressed), kFaceY, nullptr, kKeyed);
    }
    WriteQuestion(0);
    SlideCanvas(Slide::Out, kOpaque);
    ComposeBoardOnCanvas();
    SlideCanvas(Slide::In, kOpaque);
  }

  PlaySoundLoop(kInGameTune);
  StopSound(tune);
  return result;
}
