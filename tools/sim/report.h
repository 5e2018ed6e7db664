// What the simulator gathers over many games, and how it prints it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "game/model_game.h"

struct SimTotals {
  int64_t games = 0;
  int64_t stakes = 0;
  int64_t prizes = 0;
  int64_t won = 0;
  int64_t picks = 0;
  int64_t questions = 0;
  int64_t wrong = 0;
  int64_t offersMade = 0;
  int64_t offersTaken = 0;
  int64_t continues = 0;
  int64_t byBand[7] = {};
  int64_t byRow[4] = {};
  int64_t prizeByRow[4] = {};
  // Return to player per batch of consecutive games: the games hang together through the
  // balance, so the interval comes from batch means rather than from single games.
  std::vector<double> batchReturn;
  int64_t batchStakes = 0, batchPrizes = 0;

  void Add(const ModelGameResult& r);
  void CloseBatch();
};

struct Interval {
  double low, high;
};
double ReturnToPlayer(const SimTotals& t);
Interval ReturnInterval(const SimTotals& t);

void PrintTotals(std::FILE* out, const SimTotals& t, float finalBalance);
