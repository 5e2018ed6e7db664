// One whole game played through the game's own rule functions by a model player, without
// screens or sounds: the payout simulator and the benchmarks use it. The game's random draws
// come from RandomBelow / PercentChance as in the cabinet; the player's own choices come from
// a generator of its own so that they do not disturb the game's sequence.
#pragma once
#include <cstdint>

enum class OfferPolicy { Leave, TakeFirst, TakeIfAboveMean };

constexpr int kQuestionCategories = 24;

struct ModelPlayer {
  double accuracy = 1.0;  // chance of answering a question right
  // With byCategory set, the chance for a question of category c (1..24) is
  // categoryAccuracy[c - 1] instead, the category being the one the question round would ask.
  bool byCategory = false;
  double categoryAccuracy[kQuestionCategories] = {};
  OfferPolicy offers = OfferPolicy::Leave;
  bool buysContinue = true;
  uint64_t state = 0x9E3779B97F4A7C15ull;  // the player's generator

  double AccuracyFor(int32_t category) const;
  void Seed(uint64_t seed);
  double Uniform();  // [0, 1)
};

struct ModelGameResult {
  int32_t band;        // payout band seen by the game's targets
  int32_t row;         // prize row
  int32_t prize;       // pence paid, 0 for a lost game
  int32_t stakes;      // pence paid in: the game and a bought continue
  int32_t picks;       // boxes revealed
  int32_t questions;   // question rounds played
  int32_t wrong;       // of them answered wrong
  int32_t offersMade;
  int32_t offersTaken;
  bool won;
  bool continued;
  float balanceAfter;  // PayoutBalance once the prize is booked
};

// Pays for the game (PayoutBalance and meters as PayForGame books them), plays it and books
// the prize as the main loop does.
ModelGameResult PlayModelGame(ModelPlayer& player);
