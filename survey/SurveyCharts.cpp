#include "survey/SurveyCharts.h"

#include <algorithm>
#include <cmath>

#include "survey/NoiseModels.h"
#include "survey/SurveyTime.h"
#include "survey/SvgText.h"

namespace survey {

namespace {

std::string SvgOpen(int width, int height) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
         "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) +
         " " + std::to_string(height) + "\" font-family=\"sans-serif\" font-size=\"11\">" +
         "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>";
}

std::string Rect(double x, double y, double w, double h, const std::string& extra = "") {
  return "<rect x=\"" + Fixed(x) + "\" y=\"" + Fixed(y) + "\" width=\"" + Fixed(w) +
         "\" height=\"" + Fixed(h) + "\"" + extra + "/>";
}

std::string Text(double x, double y, const std::string& text, const std::string& extra = "") {
  return "<text x=\"" + Fixed(x) + "\" y=\"" + Fixed(y) + "\"" + extra + ">" + text + "</text>";
}

// The plot area of the noise chart and its axes' mapping.
struct TNoiseFrame {
  double Left = 70, Top = 30, Width = 760, Height = 420;
  double LowPeriod = 0.01, HighPeriod = 1000;
  double LowDb = -200, HighDb = -50;
  double X(double period) const {
    return Left + Width * (std::log10(period) - std::log10(LowPeriod)) /
                      (std::log10(HighPeriod) - std::log10(LowPeriod));
  }
  double Y(double db) const { return Top + Height * (HighDb - db) / (HighDb - LowDb); }
};

std::string Polyline(const TNoiseFrame& frame, const std::vector<double>& periods,
                     const std::vector<double>& db, const std::string& style) {
  std::string points;
  std::string svg;
  auto flush = [&] {
    if (points.find(' ') != std::string::npos) {
      svg += "<polyline fill=\"none\" " + style + " points=\"" + points + "\"/>";
    }
    points.clear();
  };
  for (size_t i = 0; i < periods.size(); ++i) {
    if (!std::isfinite(db[i]) || db[i] < frame.LowDb || db[i] > frame.HighDb) {
      flush();
      continue;
    }
    if (!points.empty()) points += ' ';
    points += Fixed(frame.X(periods[i])) + "," + Fixed(frame.Y(db[i]));
  }
  flush();
  return svg;
}

std::string ModelLines(const TNoiseFrame& frame) {
  std::vector<double> periods, low, high;
  for (double e = std::log10(frame.LowPeriod); e <= std::log10(frame.HighPeriod); e += 0.01) {
    const double p = std::pow(10.0, e);
    periods.push_back(p);
    low.push_back(LowNoiseModelDb(p));
    high.push_back(HighNoiseModelDb(p));
  }
  return Polyline(frame, periods, low, "stroke=\"#444\" stroke-width=\"2\"") +
         Polyline(frame, periods, high, "stroke=\"#444\" stroke-width=\"2\"");
}

std::string NoiseAxes(const TNoiseFrame& frame, const std::string& unit) {
  std::string svg = Rect(frame.Left, frame.Top, frame.Width, frame.Height,
                         " fill=\"none\" stroke=\"#888\"");
  for (double e = std::ceil(std::log10(frame.LowPeriod)); e <= std::log10(frame.HighPeriod);
       e += 1) {
    const double x = frame.X(std::pow(10.0, e));
    svg += "<line x1=\"" + Fixed(x) + "\" x2=\"" + Fixed(x) + "\" y1=\"" + Fixed(frame.Top) +
           "\" y2=\"" + Fixed(frame.Top + frame.Height) + "\" stroke=\"#ddd\"/>";
    svg += Text(x, frame.Top + frame.Height + 15, Shortest(std::pow(10.0, e)),
                " text-anchor=\"middle\"");
  }
  for (double db = std::ceil(frame.LowDb / 10) * 10; db <= frame.HighDb; db += 10) {
    const double y = frame.Y(db);
    svg += "<line x1=\"" + Fixed(frame.Left) + "\" x2=\"" + Fixed(frame.Left + frame.Width) +
           "\" y1=\"" + Fixed(y) + "\" y2=\"" + Fixed(y) + "\" stroke=\"#eee\"/>";
    svg += Text(frame.Left - 6, y + 4, Fixed(db, 0), " text-anchor=\"end\"");
  }
  svg += Text(frame.Left + frame.Width / 2, frame.Top + frame.Height + 32, "period (s)",
              " text-anchor=\"middle\"");
  svg += Text(14, frame.Top + frame.Height / 2, "dB rel. 1 " + unit,
              " text-anchor=\"middle\" transform=\"rotate(-90 14 " +
                  Fixed(frame.Top + frame.Height / 2) + ")\"");
  return svg;
}

}  // namespace

std::string AvailabilitySvg(const std::vector<TChannelAvailability>& channels,
                            const TCampaignDays& days) {
  const double left = 170, top = 24, rowHeight = 18, chartWidth = 1100;
  const int64_t dayCount = std::max<int64_t>(days.Count(), 1);
  const double dayWidth = chartWidth / static_cast<double>(dayCount);
  const auto height = static_cast<int>(top + rowHeight * static_cast<double>(channels.size()) + 30);
  std::string svg = SvgOpen(static_cast<int>(left + chartWidth + 20), height);
  const int64_t start = DayStart(days.First);
  const double perMicrosecond = chartWidth / static_cast<double>(dayCount * DayMicroseconds);
  for (size_t row = 0; row < channels.size(); ++row) {
    const TChannelAvailability& channel = channels[row];
    const double y = top + rowHeight * static_cast<double>(row);
    svg += Text(4, y + 13, channel.Id);
    svg += Rect(left, y + 2, chartWidth, rowHeight - 4, " fill=\"#e8a0a0\"");
    svg += "<g fill=\"#3c9a4c\">";
    for (const TTimeSpan& span : channel.Spans) {
      const double x = left + static_cast<double>(span.Start - start) * perMicrosecond;
      const double w = std::max(0.5, static_cast<double>(span.End - span.Start) * perMicrosecond);
      svg += Rect(x, y + 2, w, rowHeight - 4);
    }
    svg += "</g><g fill=\"transparent\">";
    for (const TDayCoverage& day : channel.Days) {
      svg += "<rect x=\"" + Fixed(left + static_cast<double>(day.Day - days.First) * dayWidth) +
             "\" y=\"" + Fixed(y + 2) + "\" width=\"" + Fixed(dayWidth) + "\" height=\"" +
             Fixed(rowHeight - 4) + "\"><title>" + channel.Id + " " + DayText(day.Day) + ": " +
             Fixed(day.Percent, 2) + "%</title></rect>";
    }
    svg += "</g>";
  }
  const int64_t labelEvery = std::max<int64_t>(1, (dayCount + 14) / 15);
  const double bottom = top + rowHeight * static_cast<double>(channels.size());
  for (int64_t d = 0; d <= dayCount; ++d) {
    const double x = left + static_cast<double>(d) * dayWidth;
    svg += "<line x1=\"" + Fixed(x) + "\" x2=\"" + Fixed(x) + "\" y1=\"" + Fixed(top) +
           "\" y2=\"" + Fixed(bottom + 4) + "\" stroke=\"#fff\" stroke-opacity=\"0.7\"/>";
    if (d < dayCount && d % labelEvery == 0) {
      svg += Text(x + 2, bottom + 16, DayText(days.First + d).substr(5));
    }
  }
  svg += Text(left, 16, "Availability per channel, one column per day (UTC): green data, red "
                        "missing; hover a day for its share");
  svg += "</svg>";
  return svg;
}

TNoiseRange NoiseChartRange(const TNoiseSummary& noise) {
  TNoiseRange range;
  if (!noise.Frequencies.empty()) {
    const double shortest = 1 / noise.Frequencies.back();
    const double longest = 1 / noise.Frequencies.front();
    range.LowPeriod = std::pow(10.0, std::floor(std::log10(shortest) + 1e-9));
    range.HighPeriod = std::pow(10.0, std::ceil(std::log10(longest) - 1e-9));
    if (range.HighPeriod <= range.LowPeriod) range.HighPeriod = range.LowPeriod * 10;
  }
  if (!noise.Acceleration) {
    double low = 1e300, high = -1e300;
    for (const auto* line : {&noise.P10Db, &noise.P90Db}) {
      for (double v : *line) {
        if (std::isfinite(v)) {
          low = std::min(low, v);
          high = std::max(high, v);
        }
      }
    }
    if (low > high) low = high = 0;
    range.LowDb = std::floor(low / 10) * 10 - 20;
    range.HighDb = std::ceil(high / 10) * 10 + 20;
  }
  return range;
}

std::vector<TDensityCell> DensityCells(const TNoiseSummary& noise, double lowDb, double highDb) {
  std::vector<double> periods;
  for (double f : noise.Frequencies) periods.push_back(1 / f);
  std::vector<TDensityCell> cells;
  for (size_t j = 0; j < periods.size() && j < noise.Pdf.size(); ++j) {
    const double wide =
        j + 1 < periods.size() ? std::sqrt(periods[j] / periods[j + 1]) : std::pow(2.0, 1.0 / 16);
    double peak = 0;
    for (double p : noise.Pdf[j]) peak = std::max(peak, p);
    for (size_t b = 0; b < noise.Pdf[j].size(); ++b) {
      const double p = noise.Pdf[j][b];
      const double db = noise.PdfLowestDb + static_cast<double>(b);
      if (p <= 0 || db < lowDb || db + 1 > highDb) continue;
      cells.push_back({periods[j] / wide, periods[j] * wide, db, peak > 0 ? p / peak : 0});
    }
  }
  return cells;
}

std::string NoiseSvg(const std::string& id, const TNoiseSummary& noise) {
  TNoiseFrame frame;
  std::vector<double> periods;
  for (double f : noise.Frequencies) periods.push_back(1 / f);
  const TNoiseRange range = NoiseChartRange(noise);
  frame.LowPeriod = range.LowPeriod;
  frame.HighPeriod = range.HighPeriod;
  frame.LowDb = range.LowDb;
  frame.HighDb = range.HighDb;
  std::string svg = SvgOpen(static_cast<int>(frame.Left + frame.Width + 20),
                            static_cast<int>(frame.Top + frame.Height + 44));
  svg += Text(frame.Left, 18, id + ": " + std::to_string(noise.WindowCount) + " windows" +
                                  (noise.Acceleration ? ", ground acceleration"
                                                      : ", counts (no response)"),
              " font-size=\"13\"");
  // The density: one column per grid frequency, reaching halfway to its neighbours.
  std::string cells;
  for (const TDensityCell& cell : DensityCells(noise, frame.LowDb, frame.HighDb)) {
    const double x0 = frame.X(cell.ShortPeriod), x1 = frame.X(cell.LongPeriod);
    cells += Rect(std::min(x0, x1), frame.Y(cell.Db + 1), std::abs(x1 - x0) + 0.3,
                  frame.Y(cell.Db) - frame.Y(cell.Db + 1) + 0.3,
                  " fill=\"" + RampColour(cell.Share) + "\"");
  }
  svg += "<g>" + cells + "</g>";
  svg += NoiseAxes(frame, noise.Acceleration ? "(m/s²)²/Hz" : "count²/Hz");
  if (noise.Acceleration) svg += ModelLines(frame);
  svg += Polyline(frame, periods, noise.P10Db, "stroke=\"#fff\" stroke-dasharray=\"4 3\"");
  svg += Polyline(frame, periods, noise.P90Db, "stroke=\"#fff\" stroke-dasharray=\"4 3\"");
  svg += Polyline(frame, periods, noise.P50Db, "stroke=\"#000\" stroke-width=\"1.5\"");
  svg += Polyline(frame, periods, noise.MeanDb, "stroke=\"#7b2cbf\" stroke-width=\"1.5\"");
  svg += "</svg>";
  return svg;
}

}  // namespace survey
