#include "tools/sim/progress.h"

#include <cmath>
#include <string>

namespace {
constexpr double kFirstDraw = 0.5;
constexpr double kInterval = 0.1;

// 0:07, 12:34, 1:02:03
std::string Clock(double seconds) {
  long long s = std::llround(seconds < 0 ? 0 : seconds);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

// 950, 12.3k, 1.20M games a second
std::string Rate(double perSecond) {
  char text[32];
  if (perSecond >= 1e6)
    std::snprintf(text, sizeof text, "%.2fM", perSecond / 1e6);
  else if (perSecond >= 1e4)
    std::snprintf(text, sizeof text, "%.1fk", perSecond / 1e3);
  else
    std::snprintf(text, sizeof text, "%.0f", perSecond);
  return text;
}
}  // namespace

void ProgressBar::Update(int64_t done, double seconds) {
  if (seconds < nextDraw_) return;
  Draw(done, seconds, false);
  nextDraw_ = seconds + kInterval;
}

void ProgressBar::Finish(int64_t done, double seconds) {
  if (redraws_ == 0 && seconds < kFirstDraw) return;
  Draw(done, seconds, true);
  std::fputc('\n', to_);
  std::fflush(to_);
}

void ProgressBar::Draw(int64_t done, double seconds, bool finished) {
  constexpr int kWidth = 30;
  double share = total_ > 0 ? static_cast<double>(done) / static_cast<double>(total_) : 1.0;
  int filled = static_cast<int>(kWidth * share);
  double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  std::string when = finished ? Clock(seconds) + " in all"
                              : (rate > 0 ? Clock(static_cast<double>(total_ - done) / rate) + " left" : "--:-- left");
  // \033[K clears what a longer earlier line left behind.
  std::fprintf(to_, "\r[%.*s%*s] %3d%%  %lld/%lld games  %s games/s  %s\033[K", filled,
               "##############################", kWidth - filled, "", static_cast<int>(100 * share),
               static_cast<long long>(done), static_cast<long long>(total_), Rate(rate).c_str(),
               when.c_str());
  std::fflush(to_);
  ++redraws_;
}
