#include "tools/meters/html_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {
constexpr double kPlotTop = 44, kPlotBottom = 320 - 86;  // the charts' drawing area

// The numeric attribute `name` of every <element class="..."> in the chart, in order.
std::vector<double> Attributes(const std::string& svg, const std::string& element, const std::string& name) {
  std::vector<double> out;
  const std::string open = "<" + element + " class=\"", key = " " + name + "=\"";
  for (size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at + 1)) {
    size_t end = svg.find('>', at), value = svg.find(key, at);
    if (value != std::string::npos && value < end) out.push_back(std::stod(svg.substr(value + key.size())));
  }
  return out;
}

// The x,y pairs of the chart's polyline.
std::vector<std::pair<double, double>> LinePoints(const std::string& svg) {
  std::vector<std::pair<double, double>> out;
  size_t at = svg.find("points=\"");
  if (at == std::string::npos) return out;
  std::istringstream in(svg.substr(at + 8, svg.find('"', at + 8) - at - 8));
  double x, y;
  char comma;
  while (in >> x >> comma >> y) out.push_back({x, y});
  return out;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(EscapeHtml, MarkupBecomesTextAndBadBytesBecomeReplacements) {
  EXPECT_EQ(EscapeHtml("<script>alert(\"x\" & 'y')</script>"),
            "&lt;script&gt;alert(&quot;x&quot; &amp; &#39;y&#39;)&lt;/script&gt;");
  EXPECT_EQ(EscapeHtml("&amp;"), "&amp;amp;");  // already escaped text is still text
  const std::string r = "\xEF\xBF\xBD";
  // well-formed UTF-8 stays, up to the last plane
  EXPECT_EQ(EscapeHtml("\xC2\xA3" "5 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"),
            "\xC2\xA3" "5 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF");
  // a Latin-1 pound, an overlong slash, a surrogate, a cut sequence, past U+10FFFF
  EXPECT_EQ(EscapeHtml("\xA3"), r);
  EXPECT_EQ(EscapeHtml("\xC0\xAF"), r + r);
  EXPECT_EQ(EscapeHtml("\xED\xA0\x80"), r + r + r);
  EXPECT_EQ(EscapeHtml("a\xE2\x82"), "a" + r + r);
  EXPECT_EQ(EscapeHtml("\xF4\x90\x80\x80"), r + r + r + r);
  // control characters are not allowed in the page; tab and newline are text
  EXPECT_EQ(EscapeHtml(std::string("a\0b\x1b\x7f\t\n", 7)), "a" + r + "b" + r + r + "\t\n");
  EXPECT_EQ(EscapeHtml(""), "");
  EXPECT_EQ(Latin1ToUtf8("\xA3" "1 caf\xE9"), "\xC2\xA3" "1 caf\xC3\xA9");
}

TEST(NiceAxis, RoundStepsThatHoldEveryValue) {
  Axis a = NiceAxis(0, 27.36);
  EXPECT_EQ(a.lo, 0);
  EXPECT_EQ(a.step, 5);
  EXPECT_EQ(a.hi, 30);
  // counts are never split into halves
  a = NiceAxis(0, 3, 6, true);
  EXPECT_EQ(a.step, 1);
  EXPECT_EQ(a.hi, 3);
  EXPECT_EQ(NiceAxis(0, 3).step, 0.5);
  // nothing yet, and a single value, still make an axis with room
  a = NiceAxis(0, 0);
  EXPECT_EQ(a.lo, 0);
  EXPECT_GT(a.hi, 0);
  a = NiceAxis(40, 40, 10);
  EXPECT_LE(a.lo, 40);
  EXPECT_GT(a.hi, 40);
  a = NiceAxis(std::nan(""), 5);
  EXPECT_LT(a.lo, a.hi);
  for (double lo : {-1234.5, -3.0, 0.0, 0.004, 7.0, 99999.0}) {
    for (double span : {0.001, 0.7, 1.0, 13.0, 100.0, 1e7}) {
      Axis b = NiceAxis(lo, lo + span);
      EXPECT_LE(b.lo, lo) << lo << " " << span;
      EXPECT_GE(b.hi, lo + span) << lo << " " << span;
      double steps = (b.hi - b.lo) / b.step;
      EXPECT_LE(steps, 13) << lo << " " << span;
      double mantissa = b.step / std::pow(10.0, std::floor(std::log10(b.step) + 1e-9));
      EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 || std::fabs(mantissa - 5) < 1e-6)
          << b.step;
    }
  }
}

TEST(BarChart, HeightsAreToScaleFromZero) {
  std::string svg = BarChartSvg({{"band 0", 10}, {"band 1", 0}, {"band 2", 25}}, "Games");
  std::vector<double> h = Attributes(svg, "rect", "height"), y = Attributes(svg, "rect", "y");
  ASSERT_EQ(h.size(), 3u) << svg;
  EXPECT_EQ(h[1], 0);
  EXPECT_NEAR(h[0] / h[2], 0.4, 0.01);
  // 25 on an axis to 25: the tallest bar fills the plot, and all stand on its bottom
  EXPECT_NEAR(h[2], kPlotBottom - kPlotTop, 0.2);
  for (size_t i = 0; i < h.size(); ++i) EXPECT_NEAR(y[i] + h[i], kPlotBottom, 0.2) << i;
  EXPECT_NE(svg.find(">25</text>"), std::string::npos);

  // all zero: flat bars, not a division by zero
  svg = BarChartSvg({{"a", 0}, {"b", 0}}, "Games");
  EXPECT_EQ(Attributes(svg, "rect", "height"), (std::vector<double>{0, 0}));
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);

  // many bars are still inside the chart, their labels slanted
  std::vector<Bar> many;
  for (int i = 0; i < 110; ++i) many.push_back({"\xC2\xA3" + std::to_string(i), static_cast<double>(i % 7)});
  svg = BarChartSvg(many, "Prizes");
  std::vector<double> x = Attributes(svg, "rect", "x"), w = Attributes(svg, "rect", "width");
  ASSERT_EQ(x.size(), 110u);
  EXPECT_GE(x.front(), 70);
  EXPECT_LE(x.back() + w.back(), 1000 - 30 + 0.1);
  EXPECT_EQ(Count(svg, "rotate(-45"), 110u);
}

TEST(BarChart, EmptyAndHostileInput) {
  std::string svg = BarChartSvg({}, "Games won at <each> prize");
  EXPECT_NE(svg.find("nothing counted yet"), std::string::npos);
  EXPECT_EQ(svg.find("class=\"bar\""), std::string::npos);
  EXPECT_NE(svg.find("Games won at &lt;each&gt; prize"), std::string::npos);
  EXPECT_EQ(svg.find("<each>"), std::string::npos);
  svg = BarChartSvg({{"</svg><script>", 1}, {"x", std::numeric_limits<double>::quiet_NaN()}, {"y", -5}}, "t");
  EXPECT_EQ(svg.find("<script>"), std::string::npos);
  EXPECT_EQ(Count(svg, "</svg>"), 1u);
  EXPECT_EQ(Attributes(svg, "rect", "height")[1], 0);
  EXPECT_EQ(Attributes(svg, "rect", "height")[2], 0);
}

TEST(LineChart, OneGameManyGamesAndNone) {
  std::string svg = LineChartSvg({{1, 110}}, "Return", "game number", "%");
  ASSERT_EQ(Attributes(svg, "circle", "cx").size(), 1u) << svg;
  EXPECT_NE(svg.find("110.00%"), std::string::npos);
  EXPECT_EQ(svg.find("nan"), std::string::npos);

  EXPECT_NE(LineChartSvg({}, "Return", "game number").find("no games yet"), std::string::npos);
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(LineChartSvg({{1, nan}}, "Return", "game").find("no games yet"), std::string::npos);

  // every point inside the plot, a negative return too; the line follows the points' order
  std::vector<ChartPoint> p = {{3, 0}, {4, -20}, {5, 250}, {900, 97.5}};
  svg = LineChartSvg(p, "Return", "game number", "%");
  std::vector<std::pair<double, double>> xy = LinePoints(svg);
  ASSERT_EQ(xy.size(), 4u);
  for (auto [x, y] : xy) {
    EXPECT_GE(x, 70);
    EXPECT_LE(x, 970.1);
    EXPECT_GE(y, kPlotTop - 0.1);
    EXPECT_LE(y, kPlotBottom + 0.1);
  }
  EXPECT_LT(xy[0].first, xy[1].first);
  EXPECT_GT(xy[1].second, xy[0].second);  // -20 lies below 0
  EXPECT_LT(xy[2].second, xy[3].second);  // 250 above 97.5
}

TEST(MeterBars, BandsAndPrizesFromTheMeters) {
  int32_t meters[kRecordMeterCount] = {};
  meters[1] = 4;
  meters[7] = 9;
  std::vector<Bar> bands = BandBars(meters);
  ASSERT_EQ(bands.size(), 7u);
  EXPECT_EQ(bands[0].label, "band 0");
  EXPECT_EQ(bands[0].value, 4);
  EXPECT_EQ(bands[6].value, 9);

  EXPECT_TRUE(PrizeBars(meters).empty());
  meters[302] = 1;  // 5p
  meters[312] = 3;  // 55p
  meters[320] = 2;  // £1.00
  meters[410] = 1;  // £10.00
  meters[421] = 8;  // one game's prize is not a listed amount
  std::vector<Bar> prizes = PrizeBars(meters);
  ASSERT_EQ(prizes.size(), 5u);
  EXPECT_EQ(prizes[0].label, "5p");
  EXPECT_EQ(prizes[1].label, "55p");
  EXPECT_EQ(prizes[1].value, 3);
  EXPECT_EQ(prizes[2].label, "\xC2\xA3" "1.00");
  EXPECT_EQ(prizes[3].label, "\xC2\xA3" "10.00");
  EXPECT_EQ(prizes[4].label, "other");
  EXPECT_EQ(prizes[4].value, 1);
  // meters out of step with each other (a damaged file) give no negative "other"
  meters[421] = 2;
  EXPECT_EQ(PrizeBars(meters).size(), 4u);
}

ReportInput Input() {
  ReportInput in;
  in.recordPath = "data/morvane.rec";
  in.fileSize = 1893;
  in.values.meters[0] = 3;
  in.values.meters[3] = 3;
  in.values.meters[413] = 55;
  in.values.meters[421] = 1;
  in.values.meters[312] = 1;
  in.values.balance = -12.5f;
  in.trailer = "Quibblo Morvane \xA3";
  in.figures = DeriveFigures(in.values.meters, 50);
  in.journalPath = "data/journal.db";
  return in;
}

TEST(ReportPage, WithoutAJournalTheMetersStillShow) {
  ReportInput in = Input();
  in.journal.problem = "no game journal at data/<journal>.db";
  std::string page = ReportPage(in);
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("The game history is not available: no game journal at data/&lt;journal&gt;.db"),
            std::string::npos);
  EXPECT_NE(page.find("36.67%"), std::string::npos);  // 55p of 3 games at 50p
  EXPECT_NE(page.find("-12.50 pence"), std::string::npos);
  EXPECT_NE(page.find("prizes won of 55p"), std::string::npos);
  EXPECT_NE(page.find("Quibblo Morvane \xC2\xA3"), std::string::npos);  // the trailer as UTF-8
  EXPECT_EQ(Count(page, "<svg"), 2u);  // bands and prizes; no history chart
  // nothing to fetch: no scripts, links or sources
  for (const char* fetch : {"<script", "<link", "src=", "href=", "@import", "url("})
    EXPECT_EQ(page.find(fetch), std::string::npos) << fetch;
  EXPECT_EQ(page.find("Not a whole record file"), std::string::npos);

  in.problem = "it is 11 bytes <short>";
  in.values.balance = std::numeric_limits<float>::quiet_NaN();
  page = ReportPage(in);
  EXPECT_NE(page.find("Not a whole record file: it is 11 bytes &lt;short&gt;"), std::string::npos);
  EXPECT_NE(page.find("not a number"), std::string::npos);
}

TEST(ReportPage, JournalGamesNewestFirstAndEscaped) {
  ReportInput in = Input();
  in.journal.available = true;
  for (int n = 1; n <= 3; ++n) {
    JournalGame g;
    g.number = n;
    g.started = "2026-12-08T10:0" + std::to_string(n) + ":00+00:00";
    g.state = "finished";
    g.band = n == 2 ? std::optional<int64_t>() : std::optional<int64_t>(2);
    g.stake = 50;
    g.outcome = n == 3 ? "won <b>big</b>" : "lost";
    g.prize = n == 3 ? 55 : 0;
    g.paid = n == 3 ? "owed" : "none";
    AddJournalGame(in.journal, g, 20);
  }
  std::string page = ReportPage(in);
  EXPECT_EQ(page.find("not available"), std::string::npos);
  EXPECT_NE(page.find("won &lt;b&gt;big&lt;/b&gt;"), std::string::npos);
  EXPECT_EQ(page.find("<b>big"), std::string::npos);
  EXPECT_NE(page.find("1 prize owed, 55p"), std::string::npos);
  size_t third = page.find("<td class=\"n\">3</td><td>2026-12-08T10:03"), first = page.find("<td class=\"n\">1</td><td>2026-12-08T10:01");
  ASSERT_NE(third, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(third, first);
  EXPECT_EQ(Count(page, "<svg"), 3u);
}
}  // namespace
