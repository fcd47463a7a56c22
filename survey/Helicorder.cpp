#include "survey/Helicorder.h"

#include <algorithm>
#include <cmath>

#include "survey/SurveyTime.h"
#include "survey/SvgText.h"

namespace survey {

namespace {

constexpr int LeftMargin = 64;
constexpr int RightMargin = 16;
constexpr int TopMargin = 34;
constexpr int BottomMargin = 28;
constexpr const char* LineColours[] = {"#1b1b1b", "#c0392b", "#1f4e9c", "#217a3c"};

double ScaleOf(const THelicorder& plot) {
  std::vector<double> peaks;
  for (size_t c = 0; c < plot.Filled.size(); ++c) {
    if (!plot.Filled[c]) continue;
    const double mean = plot.LineMean[c / static_cast<size_t>(plot.Columns)];
    peaks.push_back(std::max(std::abs(plot.High[c] - mean), std::abs(plot.Low[c] - mean)));
  }
  if (peaks.empty()) return 1;
  const auto rank = static_cast<size_t>(0.995 * static_cast<double>(peaks.size() - 1));
  std::nth_element(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(rank), peaks.end());
  return peaks[rank] > 0 ? peaks[rank] : 1;
}

std::string LineLabel(int64_t offset) {
  const int64_t minutes = offset / (60 * Microseconds);
  const char text[] = {static_cast<char>('0' + minutes / 600), static_cast<char>('0' + minutes / 60 % 10),
                       ':', static_cast<char>('0' + minutes % 60 / 10),
                       static_cast<char>('0' + minutes % 10)};
  return std::string(text, sizeof text);
}

}  // namespace

THelicorderLayout HelicorderLayout(double rate) {
  if (rate >= 50) return {96, 15 * 60 * Microseconds};
  return {24, 3600 * Microseconds};
}

THelicorder BuildHelicorder(const std::string& id, int64_t day, double rate,
                            const std::vector<TSampleRun>& runs, int columns) {
  THelicorder plot;
  plot.Id = id;
  plot.Day = day;
  plot.Layout = HelicorderLayout(rate);
  plot.Columns = columns;
  const auto total = static_cast<size_t>(plot.Layout.Lines) * static_cast<size_t>(columns);
  plot.Low.assign(total, 0);
  plot.High.assign(total, 0);
  plot.Filled.assign(total, false);
  std::vector<double> sums(static_cast<size_t>(plot.Layout.Lines), 0.0);
  std::vector<int64_t> counts(sums.size(), 0);
  const double columnsPerSecond =
      static_cast<double>(total) / (static_cast<double>(DayMicroseconds) / 1e6);
  const int64_t dayStart = DayStart(day);
  for (const TSampleRun& run : runs) {
    // Column by column: the samples whose times fall in it, found from the rate.
    const double first = static_cast<double>(run.Start - dayStart) / 1e6 * columnsPerSecond;
    const double samplesPerColumn = run.Rate / columnsPerSecond;
    const auto count = static_cast<int64_t>(run.Samples.size());
    const auto firstColumn = static_cast<int64_t>(std::max(0.0, std::floor(first)));
    for (auto c = static_cast<size_t>(firstColumn); c < total; ++c) {
      const auto from = std::clamp<int64_t>(
          static_cast<int64_t>(std::ceil((static_cast<double>(c) - first) * samplesPerColumn)),
          0, count);
      const auto to = std::clamp<int64_t>(
          static_cast<int64_t>(std::ceil((static_cast<double>(c + 1) - first) * samplesPerColumn)),
          0, count);
      if (from >= count) break;
      if (from >= to) continue;
      const double* v = run.Samples.data() + from;
      double low = v[0], high = v[0], sum = 0;
      for (int64_t i = 0; i < to - from; ++i) {
        low = std::min(low, v[i]);
        high = std::max(high, v[i]);
        sum += v[i];
      }
      if (!plot.Filled[c]) {
        plot.Low[c] = static_cast<float>(low);
        plot.High[c] = static_cast<float>(high);
        plot.Filled[c] = true;
      } else {
        plot.Low[c] = std::min(plot.Low[c], static_cast<float>(low));
        plot.High[c] = std::max(plot.High[c], static_cast<float>(high));
      }
      const size_t line = c / static_cast<size_t>(columns);
      sums[line] += sum;
      counts[line] += to - from;
    }
  }
  for (size_t line = 0; line < sums.size(); ++line) {
    plot.LineMean.push_back(counts[line] ? sums[line] / static_cast<double>(counts[line]) : 0);
  }
  plot.Scale = ScaleOf(plot);
  return plot;
}

THelicorderLine HelicorderLine(const THelicorder& plot, int line, double base, double half,
                               double shortest) {
  THelicorderLine drawn;
  const auto columns = static_cast<size_t>(plot.Columns);
  const double mean = plot.LineMean[static_cast<size_t>(line)];
  const auto y = [&](double v) {
    return base - std::clamp((v - mean) / plot.Scale * half, -3 * half, 3 * half);
  };
  size_t gapStart = columns;
  for (size_t c = 0; c <= columns; ++c) {
    const size_t at = static_cast<size_t>(line) * columns + c;
    const bool filled = c < columns && plot.Filled[at];
    if (c < columns && !filled && gapStart == columns) gapStart = c;
    if ((filled || c == columns) && gapStart < columns) {
      drawn.Gaps.emplace_back(gapStart, c);
      gapStart = columns;
    }
    if (!filled) continue;
    THelicorderStroke stroke{c, y(plot.High[at]), y(plot.Low[at])};
    if (stroke.Bottom - stroke.Top < shortest) {
      stroke.Top -= shortest / 2;
      stroke.Bottom += shortest / 2;
    }
    drawn.Strokes.push_back(stroke);
  }
  return drawn;
}

std::string HelicorderSvg(const THelicorder& plot) {
  const int lines = plot.Layout.Lines;
  const double spacing = lines > 24 ? 9 : 28;
  const int width = LeftMargin + plot.Columns + RightMargin;
  const auto height = static_cast<int>(TopMargin + spacing * lines + BottomMargin);
  const double half = spacing / 2;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"heli\" width=\"" +
                    std::to_string(width) + "\" height=\"" + std::to_string(height) +
                    "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
                    "\" font-family=\"sans-serif\" font-size=\"11\">";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>";
  svg += "<text x=\"" + std::to_string(LeftMargin) + "\" y=\"16\" font-size=\"13\">" + plot.Id +
         " " + DayText(plot.Day) + " UTC, " + std::to_string(lines) + " lines of " +
         std::to_string(plot.Layout.LineLength / (60 * Microseconds)) +
         " min; half a line's spacing = " + Shortest(std::round(plot.Scale * 100) / 100) +
         " counts</text>";
  for (int line = 0; line < lines; ++line) {
    const double base = TopMargin + spacing * (line + 0.5);
    if (lines <= 24 || line % 4 == 0) {
      svg += "<text x=\"4\" y=\"" + Fixed(base + 4) + "\">" +
             LineLabel(line * plot.Layout.LineLength) + "</text>";
    }
    std::string gaps;
    std::string trace;
    const THelicorderLine drawn = HelicorderLine(plot, line, base, half, 0.6);
    for (const auto& [first, end] : drawn.Gaps) {
      gaps += "<rect x=\"" + std::to_string(LeftMargin + first) + "\" y=\"" + Fixed(base - half) +
              "\" width=\"" + std::to_string(end - first) + "\" height=\"" + Fixed(spacing) +
              "\"/>";
    }
    for (const THelicorderStroke& stroke : drawn.Strokes) {
      trace += 'M';
      trace += std::to_string(LeftMargin + stroke.Column);
      trace += ' ';
      trace += Fixed(stroke.Top);
      trace += 'V';
      trace += Fixed(stroke.Bottom);
    }
    if (!gaps.empty()) svg += "<g fill=\"#f6caca\">" + gaps + "</g>";
    if (!trace.empty()) {
      svg += "<path fill=\"none\" stroke-width=\"1\" stroke=\"" +
             std::string(LineColours[line % 4]) + "\" d=\"" + trace + "\"/>";
    }
  }
  // Minutes along the line.
  const int64_t minutes = plot.Layout.LineLength / (60 * Microseconds);
  const int64_t tick = minutes > 15 ? 5 : 1;
  const double bottomY = TopMargin + spacing * lines;
  for (int64_t m = 0; m <= minutes; m += tick) {
    const double x = LeftMargin + static_cast<double>(plot.Columns) * static_cast<double>(m) /
                                      static_cast<double>(minutes);
    svg += "<line x1=\"" + Fixed(x) + "\" x2=\"" + Fixed(x) + "\" y1=\"" + Fixed(bottomY) +
           "\" y2=\"" + Fixed(bottomY + 4) + "\" stroke=\"#555\"/>";
    svg += "<text x=\"" + Fixed(x) + "\" y=\"" + Fixed(bottomY + 16) +
           "\" text-anchor=\"middle\">" + std::to_string(m) + "</text>";
  }
  svg += "</svg>";
  return svg;
}

}  // namespace survey
