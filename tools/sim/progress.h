// The simulator's progress bar on a terminal, as pv and tqdm draw theirs: the share done, the
// rate and the time left, redrawn at most ten times a second, and not at all for a run that
// ends within half a second.
#pragma once
#include <cstdint>
#include <cstdio>

class ProgressBar {
 public:
  ProgressBar(std::FILE* to, int64_t total) : to_(to), total_(total) {}
  // `seconds` since the run began. Cheap when nothing is drawn.
  void Update(int64_t done, double seconds);
  // The last state drawn in full, and the line ended; nothing if nothing was drawn.
  void Finish(int64_t done, double seconds);
  int redraws() const { return redraws_; }

 private:
  void Draw(int64_t done, double seconds, bool finished);
  std::FILE* to_;
  int64_t total_;
  double nextDraw_ = 0.5;
  int redraws_ = 0;
};
