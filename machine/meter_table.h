// What each meter counts, in the operator's words, and the figures derived from the meters.
// Free of the window and the socket, so the operator's report can use it alone.
#pragma once
#include <cstdint>
#include <string>

// "prizes won of 55p", "bank offers made of £1.30"; empty for a number that is never counted.
std::string MeterMeaning(int n);
// Money as the operator reads it: "55p" below a pound, "£1.30" from a pound (UTF-8).
std::string ReportMoney(int64_t pence);

struct MeterFigures {
  int64_t gamesPaid = 0;
  int64_t continuesBought = 0;
  int64_t stakesTaken = 0;  // pence: games and continues at the stake
  int64_t prizesWon = 0;    // pence
  int64_t gamesWithPrize = 0;
  double returnToPlayer = 0;  // percent of the stakes; 0 when nothing was staked
};
MeterFigures DeriveFigures(const int32_t* meters, int stake);
