#include "game/journal_events.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "game/flow.h"
#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/state.h"
#include "machine/credit_link.h"
#include "machine/journal.h"
#include "machine/meters.h"
#include "machine/money_due.h"
#include "machine/replay.h"
#include "platform/window.h"
#include "questions/question_files.h"
#include "shell/random.h"
#include "shell/shell.h"

namespace {
using nlohmann::json;

bool offerTaken = false;

// The game's texts are Latin-1 (the pound sign is 0xA3); the journal's JSON is UTF-8.
std::string Utf8(const char* latin1) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(latin1); *p; ++p) {
    if (*p < 0x80) {
      out += static_cast<char>(*p);
    } else {
      out += static_cast<char>(0xC0 | (*p >> 6));
      out += static_cast<char>(0x80 | (*p & 0x3F));
    }
  }
  return out;
}

std::string Latin1(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A float written so that reading it back gives the same bits.
std::string ExactFloat(float v) {
  char text[40];
  std::snprintf(text, sizeof text, "%a", static_cast<double>(v));
  return text;
}

void RestoreReplayState() {
  const json& s = ReplayState();
  if (auto random = ParseRandomState(s.value("random", ""))) CabinetRandom() = *random;
  std::string old = Latin1(s.value("old_question", ""));
  std::snprintf(sOldQuestion, sizeof sOldQuestion, "%s", old.c_str());
  std::string balance = s.value("balance", "");
  if (!balance.empty()) PayoutBalance = std::strtof(balance.c_str(), nullptr);
  Stake = static_cast<int16_t>(s.value("stake", static_cast<int>(Stake)));
}
}  // namespace

void JournalBeforeGameStake() {
  if (ReplayActive()) RestoreReplayState();
  offerTaken = false;
  if (!JournalInUse()) return;
  JournalBeforeStake({{"random", FormatRandomState(CabinetRandom())},
                      {"old_question", Utf8(sOldQuestion)},
                      {"balance", ExactFloat(PayoutBalance)},
                      {"balance_pence", static_cast<int64_t>(PayoutBalance)},
                      {"band", PayoutBand()}});
}

void JournalSetUp() {
  if (!JournalGame()) return;
  json order = json::array(), markers = json::array(), row = json::array();
  for (int i = 0; i < kBoxCount; ++i) {
    order.push_back(BoxOrder[i]);
    markers.push_back(axBoxes[i].state);
    row.push_back(PrizeRows[PrizeRow][i]);
  }
  JournalBand(PayoutBand(), static_cast<int64_t>(PayoutBalance));
  JournalRecord("setup", {{"band", PayoutBand()},
                          {"balance", ExactFloat(PayoutBalance)},
                          {"targets",
                           {{"question", GameTargets.QuestionLevel},
                            {"extra_life", GameTargets.ExtraLifeLevel},
                            {"prize", GameTargets.PrizeLevel},
                            {"offer", GameTargets.OfferLevel},
                            {"no_questions", GameTargets.NoQuestionsLevel},
                            {"free_pick", GameTargets.FreePickLevel}}},
                          {"prize_row", PrizeRow},
                          {"prize_values", row},
                          {"top_prize", lPrizeAvailableThisGame},
                          {"box_order", order},
                          {"markers", markers},
                          {"lives", Lives}});
}

void JournalPlayerBox(int32_t box) { JournalRecord("player_box", {{"box", box}}); }

void JournalQuestion() {
  if (!JournalGame()) return;
  int32_t category = CurrentQuestionCategory();
  const char* file = "";
  for (const QuestionFileRow* row = QuestionFiles; row->path; ++row)
    if (row->key == category && row->answer == QuestionAnswer()) file = row->path;
  JournalRecord("question", {{"pick", PickNumber},
                             {"category", category},
                             {"file", file},
                             {"text", Utf8(QuestionText())},
                             {"truth", QuestionAnswer() != 0}});
}

void JournalAnswer(int32_t pressed, bool right) {
  const char* said = pressed == 0 ? "true" : pressed == 1 ? "false" : "time_up";
  JournalRecord("answer", {{"said", said}, {"right", right}});
}

void JournalPick(int32_t box, int32_t value) {
  JournalRecord("pick", {{"pick", PickNumber}, {"box", box}, {"value", value}, {"marker", axBoxes[box].state}});
}

void JournalOffer(int32_t amount, bool taken) {
  offerTaken = taken;
  JournalRecord("offer", {{"amount", amount}, {"text", Utf8(OfferText)}, {"taken", taken}});
}

void JournalLives(int32_t before, int32_t after) {
  if (before != after) JournalRecord("lives", {{"before", before}, {"after", after}});
}

void JournalContinue(const char* result) { JournalRecord("continue_screen", {{"result", result}}); }

void JournalGameOver() {
  if (!JournalGame()) return;
  int32_t owed = 0;
  MachineService(&owed);
  const char* outcome = GamePrize > 0 ? (offerTaken ? "offer" : "won") : "lost";
  JournalGameEnds(outcome, GamePrize, owed > 0, ReadCredit(), ReadBank(), ShownFrameHash());
}
