// The operator's report as one HTML page that needs nothing beside it: tables, and charts drawn
// here as SVG.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "machine/meter_table.h"
#include "machine/record_format.h"
#include "tools/meters/journal.h"

// Text made safe for HTML, in and between tags: markup characters as entities, bytes that are
// not UTF-8 and control characters as U+FFFD.
std::string EscapeHtml(const std::string& text);
// The record file's trailer is Latin-1: each byte is its own code point.
std::string Latin1ToUtf8(const std::string& bytes);

// A value axis: lo to hi in steps of a round size (1, 2 or 5 times a power of ten), holding
// every value given, with at most about `ticks` steps; steps of at least 1 for counts (`whole`).
struct Axis {
  double lo = 0, hi = 1, step = 1;
};
Axis NiceAxis(double lo, double hi, int ticks = 6, bool whole = false);

struct Bar {
  std::string label;
  double value = 0;
};

// Charts as <svg> elements: the bars from 0, the line over its own range; the axes' units in
// `unit` ("%" or ""). No data gives a chart frame that says so.
std::string BarChartSvg(const std::vector<Bar>& bars, const std::string& title, const std::string& unit = "");
std::string LineChartSvg(const std::vector<ChartPoint>& points, const std::string& title, const std::string& xTitle,
                         const std::string& unit = "");

struct ReportInput {
  std::string recordPath;
  size_t fileSize = 0;
  std::string problem;  // not a whole record file (reported with --force)
  RecordValues values;
  std::string trailer;  // Latin-1 bytes
  MeterFigures figures;
  std::string journalPath;
  JournalSummary journal;
};

// Games per payout band, from the meters.
std::vector<Bar> BandBars(const int32_t* meters);
// How many games won each prize, from the meters: the amounts any game won, smallest first, and
// the games whose prize is not one of the listed amounts as "other".
std::vector<Bar> PrizeBars(const int32_t* meters);

std::string ReportPage(const ReportInput& in);
