#include "tools/meters/html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr int kChartW = 1000, kChartH = 320;
constexpr int kLeft = 70, kRight = 30, kTop = 44, kBottom = 86;
constexpr const char* kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at `p` (RFC 3629: no overlongs, no surrogates,
// nothing past U+10FFFF), or 0.
size_t Utf8Length(const unsigned char* p, size_t left) {
  unsigned char c = p[0];
  auto cont = [&](size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return i < left && p[i] >= lo && p[i] <= hi;
  };
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if (c == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (c >= 0xE1 && c <= 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (c == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (c >= 0xF1 && c <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (c == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

std::string Format(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string Coord(double v) { return Format("%.1f", v); }

std::string TickText(double v, double step) {
  int decimals = step >= 1 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(v) < step * 1e-9 ? 0.0 : v);
  return text;
}

std::string Int(int64_t v) { return std::to_string(v); }

std::string ChartOpen(const std::string& title) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"" + Int(kChartW) + "\" height=\"" +
         Int(kChartH) + "\" viewBox=\"0 0 " + Int(kChartW) + " " + Int(kChartH) + "\" role=\"img\" aria-label=\"" +
         EscapeHtml(title) + "\">\n<text class=\"title\" x=\"" + Int(kLeft) + "\" y=\"24\">" + EscapeHtml(title) +
         "</text>\n";
}

std::string NoData(const std::string& title, const std::string& why) {
  return ChartOpen(title) + "<rect class=\"frame\" x=\"" + Int(kLeft) + "\" y=\"" + Int(kTop) + "\" width=\"" +
         Int(kChartW - kLeft - kRight) + "\" height=\"" + Int(kChartH - kTop - kBottom) + "\"/>\n<text class=\"empty\" x=\"" +
         Int(kChartW / 2) + "\" y=\"" + Int((kTop + kChartH - kBottom) / 2) + "\" text-anchor=\"middle\">" +
         EscapeHtml(why) + "</text>\n</svg>\n";
}

// Grid lines and labels of the value axis, bottom to top.
std::string ValueAxis(const Axis& a, const std::string& unit) {
  std::string out;
  double plotH = kChartH - kTop - kBottom;
  int steps = static_cast<int>(std::lround((a.hi - a.lo) / a.step));
  for (int i = 0; i <= steps; ++i) {
    double v = a.lo + i * a.step;
    double y = kChartH - kBottom - plotH * (v - a.lo) / (a.hi - a.lo);
    out += "<line class=\"grid\" x1=\"" + Int(kLeft) + "\" x2=\"" + Int(kChartW - kRight) + "\" y1=\"" + Coord(y) +
           "\" y2=\"" + Coord(y) + "\"/><text class=\"tick\" x=\"" + Int(kLeft - 8) + "\" y=\"" + Coord(y + 4) +
           "\" text-anchor=\"end\">" + EscapeHtml(TickText(v, a.step) + unit) + "</text>\n";
  }
  return out;
}

std::string Money(int64_t pence) { return EscapeHtml(ReportMoney(pence)); }

std::string Percent(double v) { return Format("%.2f%%", v); }

std::string Cell(const std::string& escaped, bool number = false) {
  return number ? "<td class=\"n\">" + escaped + "</td>" : "<td>" + escaped + "</td>";
}

const char kStyle[] =
    "body{font-family:DejaVu Sans,Verdana,sans-serif;margin:24px;color:#222;background:#fff}"
    "h1{font-size:26px;margin:0 0 4px}h2{font-size:20px;margin:28px 0 8px;border-bottom:2px solid #2a6}"
    ".sub{color:#555;margin:0 0 12px}.warn{background:#fde2e1;border:1px solid #c33;padding:8px;margin:8px 0}"
    ".note{background:#f3f3f3;border:1px solid #bbb;padding:8px;margin:8px 0}"
    ".cards{display:flex;flex-wrap:wrap;gap:10px}.card{border:1px solid #ccc;border-radius:6px;padding:8px 12px;"
    "min-width:150px}.card b{display:block;font-size:22px}.card span{color:#555;font-size:13px}"
    "table{border-collapse:collapse;font-size:13px}td,th{border:1px solid #ccc;padding:3px 8px;text-align:left}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}th{background:#eef6f0}"
    "svg.chart{display:block;margin:6px 0}svg .title{font-size:16px;font-weight:bold;fill:#222}"
    "svg .tick,svg .label,svg .value{font-size:12px;fill:#333}svg .grid{stroke:#ddd}"
    "svg .axis{stroke:#444}svg .bar{fill:#2a6}svg .line{fill:none;stroke:#2a6;stroke-width:2}"
    "svg .dot{fill:#174}svg .frame{fill:#fafafa;stroke:#ccc}svg .empty{font-size:15px;fill:#777}";
}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c < 0x80) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
          if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F)
            out += kReplacement;
          else
            out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    size_t len = Utf8Length(p + i, n - i);
    if (len == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out;
}

std::string Latin1ToUtf8(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Axis NiceAxis(double lo, double hi, int ticks, bool whole) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return {};
  if (hi < lo) std::swap(lo, hi);
  if (ticks < 1) ticks = 1;
  double span = hi - lo;
  if (span <= 0) span = std::max(std::fabs(hi), 1.0);
  double raw = span / ticks;
  double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double norm = raw / magnitude;
  double step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * magnitude;
  if (whole && step < 1) step = 1;
  Axis a;
  a.step = step;
  a.lo = std::floor(lo / step + 1e-9) * step;
  a.hi = std::ceil(hi / step - 1e-9) * step;
  if (a.hi <= a.lo) a.hi = a.lo + step;
  // the tolerance above must not leave a value a rounding error outside
  a.lo = std::min(a.lo, lo);
  a.hi = std::max(a.hi, hi);
  return a;
}

std::string BarChartSvg(const std::vector<Bar>& bars, const std::string& title, const std::string& unit) {
  if (bars.empty()) return NoData(title, "nothing counted yet");
  double top = 0;
  bool whole = true;
  for (const Bar& b : bars) {
    top = std::max(top, std::isfinite(b.value) ? b.value : 0.0);
    whole = whole && b.value == std::floor(b.value);
  }
  Axis a = NiceAxis(0, top, 6, whole);
  std::string svg = ChartOpen(title) + ValueAxis(a, unit);
  double plotW = kChartW - kLeft - kRight, plotH = kChartH - kTop - kBottom;
  double slot = plotW / static_cast<double>(bars.size());
  double width = std::max(1.0, slot * 0.7);
  bool slanted = bars.size() > 12;
  for (size_t i = 0; i < bars.size(); ++i) {
    double v = std::isfinite(bars[i].value) ? std::max(0.0, bars[i].value) : 0.0;
    double h = plotH * v / a.hi;
    double x = kLeft + slot * static_cast<double>(i) + (slot - width) / 2, cx = x + width / 2;
    double y = kChartH - kBottom - h;
    std::string label = EscapeHtml(bars[i].label), value = EscapeHtml(TickText(v, v == std::floor(v) ? 1 : 0.01) + unit);
    svg += "<rect class=\"bar\" x=\"" + Coord(x) + "\" y=\"" + Coord(y) + "\" width=\"" + Coord(width) +
           "\" height=\"" + Coord(h) + "\"><title>" + label + ": " + value + "</title></rect>";
    if (bars.size() <= 30)
      svg += "<text class=\"value\" x=\"" + Coord(cx) + "\" y=\"" + Coord(y - 4) + "\" text-anchor=\"middle\">" +
             value + "</text>";
    double ly = kChartH - kBottom + 16;
    if (slanted)
      svg += "<text class=\"label\" x=\"" + Coord(cx) + "\" y=\"" + Coord(ly) + "\" text-anchor=\"end\" transform=\"rotate(-45 " +
             Coord(cx) + " " + Coord(ly) + ")\">" + label + "</text>\n";
    else
      svg += "<text class=\"label\" x=\"" + Coord(cx) + "\" y=\"" + Coord(ly) + "\" text-anchor=\"middle\">" + label +
             "</text>\n";
  }
  svg += "<line class=\"axis\" x1=\"" + Int(kLeft) + "\" x2=\"" + Int(kChartW - kRight) + "\" y1=\"" +
         Int(kChartH - kBottom) + "\" y2=\"" + Int(kChartH - kBottom) + "\"/>\n</svg>\n";
  return svg;
}

std::string LineChartSvg(const std::vector<ChartPoint>& points, const std::string& title, const std::string& xTitle,
                         const std::string& unit) {
  std::vector<ChartPoint> p;
  for (const ChartPoint& q : points)
    if (std::isfinite(q.x) && std::isfinite(q.y)) p.push_back(q);
  if (p.empty()) return NoData(title, "no games yet");
  double x0 = p[0].x, x1 = p[0].x, y0 = 0, y1 = p[0].y;
  for (const ChartPoint& q : p) {
    x0 = std::min(x0, q.x);
    x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y);
    y1 = std::max(y1, q.y);
  }
  Axis ax = NiceAxis(x0, x1, 10), ay = NiceAxis(y0, y1);
  double plotW = kChartW - kLeft - kRight, plotH = kChartH - kTop - kBottom;
  auto X = [&](double x) { return kLeft + plotW * (x - ax.lo) / (ax.hi - ax.lo); };
  auto Y = [&](double y) { return kChartH - kBottom - plotH * (y - ay.lo) / (ay.hi - ay.lo); };
  std::string svg = ChartOpen(title) + ValueAxis(ay, unit);
  int steps = static_cast<int>(std::lround((ax.hi - ax.lo) / ax.step));
  for (int i = 0; i <= steps; ++i) {
    double v = ax.lo + i * ax.step;
    svg += "<text class=\"tick\" x=\"" + Coord(X(v)) + "\" y=\"" + Int(kChartH - kBottom + 18) +
           "\" text-anchor=\"middle\">" + EscapeHtml(TickText(v, ax.step)) + "</text>";
  }
  svg += "\n<text class=\"label\" x=\"" + Int(kLeft + static_cast<int>(plotW) / 2) + "\" y=\"" + Int(kChartH - kBottom + 44) +
         "\" text-anchor=\"middle\">" + EscapeHtml(xTitle) + "</text>\n<polyline class=\"line\" points=\"";
  for (size_t i = 0; i < p.size(); ++i) svg += (i ? " " : "") + Coord(X(p[i].x)) + "," + Coord(Y(p[i].y));
  const ChartPoint& last = p.back();
  // the last value beside its point, on the side with room
  bool right = X(last.x) < kLeft + plotW / 2;
  svg += "\"/>\n<circle class=\"dot\" cx=\"" + Coord(X(last.x)) + "\" cy=\"" + Coord(Y(last.y)) +
         "\" r=\"4\"/><text class=\"value\" x=\"" + Coord(X(last.x) + (right ? 6 : -6)) + "\" y=\"" +
         Coord(Y(last.y) - 8) + "\" text-anchor=\"" + (right ? "start" : "end") + "\">" +
         EscapeHtml(Format("%.2f", last.y) + unit) + "</text>\n";
  svg += "<line class=\"axis\" x1=\"" + Int(kLeft) + "\" x2=\"" + Int(kChartW - kRight) + "\" y1=\"" +
         Coord(Y(std::max(ay.lo, 0.0))) + "\" y2=\"" + Coord(Y(std::max(ay.lo, 0.0))) + "\"/>\n</svg>\n";
  return svg;
}

std::vector<Bar> BandBars(const int32_t* meters) {
  std::vector<Bar> bars;
  for (int band = 0; band < 7; ++band) bars.push_back({"band " + std::to_string(band), static_cast<double>(meters[1 + band])});
  return bars;
}

std::vector<Bar> PrizeBars(const int32_t* meters) {
  std::vector<Bar> bars;
  int64_t listed = 0;
  for (int n = 302; n <= 410; ++n) {
    if (meters[n] <= 0) continue;
    int64_t prize = n <= 319 ? 5 * (n - 301) : 10 * (n - 310);
    bars.push_back({ReportMoney(prize), static_cast<double>(meters[n])});
    listed += meters[n];
  }
  // The meter of odd prizes is shared with the bank's odd offers, so they are counted from the total.
  int64_t other = static_cast<int64_t>(meters[421]) - listed;
  if (other > 0) bars.push_back({"other", static_cast<double>(other)});
  return bars;
}

std::string ReportPage(const ReportInput& in) {
  const RecordValues& v = in.values;
  const MeterFigures& f = in.figures;
  const JournalSummary& j = in.journal;
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Quibblo meters: " +
                  EscapeHtml(in.recordPath) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  h += "<h1>Quibblo meters</h1>\n<p class=\"sub\">Record file " + EscapeHtml(in.recordPath) + " (" +
       Int(static_cast<int64_t>(in.fileSize)) + " bytes), " + EscapeHtml(Latin1ToUtf8(in.trailer)) + "</p>\n";
  if (!in.problem.empty())
    h += "<p class=\"warn\">Not a whole record file: " + EscapeHtml(in.problem) + ". Reported as far as its bytes go.</p>\n";

  std::string balance = std::isfinite(v.balance) ? Format("%.2f pence", static_cast<double>(v.balance)) : "not a number";
  auto card = [](const std::string& value, const std::string& what) {
    return "<div class=\"card\"><b>" + value + "</b><span>" + what + "</span></div>";
  };
  h += "<h2>Totals</h2>\n<div class=\"cards\">" + card(Int(f.gamesPaid), "games paid") +
       card(Int(f.continuesBought), "continues bought") + card(Money(f.stakesTaken), "stakes taken") +
       card(Money(f.prizesWon), "prizes won") + card(Int(f.gamesWithPrize), "games with a prize") +
       card(Percent(f.returnToPlayer), "return to player") + card(EscapeHtml(balance), "payout balance") + "</div>\n";

  h += "<h2>Return to player over time</h2>\n";
  if (j.available) {
    h += "<p class=\"sub\">From the game journal " + EscapeHtml(in.journalPath) + ": " + Int(j.games) + " games from " +
         EscapeHtml(j.firstStarted) + " to " + EscapeHtml(j.lastStarted) + ", stakes " + Money(j.stakes) +
         ", prizes " + Money(j.prizes) + (j.stakes > 0 ? ", return " + Percent(100.0 * j.prizes / j.stakes) : "") + ".";
    if (j.owedGames > 0)
      h += " <b>" + Int(j.owedGames) + (j.owedGames == 1 ? " prize" : " prizes") + " owed, " + Money(j.owedPrizes) +
           ".</b>";
    h += "</p>\n" + LineChartSvg(j.returnOverTime, "Prizes over stakes, all games up to each game", "game number", "%");
  } else {
    h += "<p class=\"note\">The game history is not available: " + EscapeHtml(j.problem) + ".</p>\n";
  }

  h += "<h2>Games per payout band</h2>\n" + BarChartSvg(BandBars(v.meters), "Games started in each payout band") +
       "<table><tr><th>band</th><th>games</th><th>prizes won</th><th>prize per game</th></tr>\n";
  for (int band = 0; band < 7; ++band) {
    int64_t games = v.meters[1 + band], value = v.meters[414 + band];
    h += "<tr>" + Cell(Int(band), true) + Cell(Int(games), true) + Cell(Money(value), true) +
         Cell(games > 0 ? EscapeHtml(ReportMoney(static_cast<int64_t>(std::llround(static_cast<double>(value) / games))))
                        : "", true) + "</tr>\n";
  }
  h += "</table>\n";

  h += "<h2>Prize distribution</h2>\n" + BarChartSvg(PrizeBars(v.meters), "Games won at each prize");

  h += "<h2>Last games</h2>\n";
  if (!j.available) {
    h += "<p class=\"note\">The game history is not available.</p>\n";
  } else if (j.lastGames.empty()) {
    h += "<p class=\"note\">The game journal holds no games yet.</p>\n";
  } else {
    h += "<table><tr><th>game</th><th>started</th><th>ended</th><th>state</th><th>band</th><th>stake</th>"
         "<th>continues</th><th>outcome</th><th>prize</th><th>paid</th></tr>\n";
    for (auto g = j.lastGames.rbegin(); g != j.lastGames.rend(); ++g)
      h += "<tr>" + Cell(Int(g->number), true) + Cell(EscapeHtml(g->started)) + Cell(EscapeHtml(g->ended)) +
           Cell(EscapeHtml(g->state)) + Cell(g->band ? Int(*g->band) : "", true) + Cell(Money(g->stake), true) +
           Cell(Int(g->continues), true) + Cell(EscapeHtml(g->outcome)) + Cell(Money(g->prize), true) +
           Cell(EscapeHtml(g->paid)) + "</tr>\n";
    h += "</table>\n";
  }

  h += "<h2>Meters</h2>\n<table><tr><th>meter</th><th>meaning</th><th>count</th></tr>\n";
  bool any = false;
  for (int i = 0; i < kRecordMeterCount; ++i) {
    if (v.meters[i] == 0) continue;
    std::string meaning = MeterMeaning(i);
    if (meaning.empty()) meaning = "meter never counted by the game";
    h += "<tr>" + Cell(Int(i), true) + Cell(EscapeHtml(meaning)) + Cell(Int(v.meters[i]), true) + "</tr>\n";
    any = true;
  }
  if (!any) h += "<tr><td colspan=\"3\">all zero</td></tr>\n";
  h += "</table>\n</body>\n</html>\n";
  return h;
}
