#pragma once
// The day plot of one channel-day (a helicorder): the day cut into lines read left to right,
// top to bottom, every line drawn at the same scale so that lines compare; missing data are
// shaded.
//
// Lines: 24 lines of one hour below 50 Hz; 96 lines of 15 minutes at 50 Hz and above, where
// an hour-long line would squeeze more than 180 000 samples into a line's width and hide
// local events.
//
// Each line is drawn about its own mean (offsets drift over a day); the common scale puts the
// 99.5th percentile of the columns' largest deflections at half the distance between lines,
// and clips at one and a half times that distance.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "survey/RecordSamples.h"

namespace survey {

struct THelicorderLayout {
  int Lines = 24;
  int64_t LineLength = 3600 * 1'000'000LL;  // microseconds
};

THelicorderLayout HelicorderLayout(double rate);

// The columns of a day plot: per line and column, the smallest and largest sample.
struct THelicorder {
  std::string Id;
  int64_t Day = 0;  // days since 1970
  THelicorderLayout Layout;
  int Columns = 0;                 // per line
  std::vector<float> Low, High;    // [line * Columns + column]
  std::vector<bool> Filled;        // whether the column holds a sample
  std::vector<double> LineMean;    // per line; 0 for a line without data
  double Scale = 1;                // the deflection drawn at half a line's spacing
};

THelicorder BuildHelicorder(const std::string& id, int64_t day, double rate,
                            const std::vector<TSampleRun>& runs, int columns = 1100);
std::string HelicorderSvg(const THelicorder& plot);

// One line of a day plot as drawn about its `base` (y growing downwards), `half` its half
// spacing: the runs of columns without data [first, end), and each filled column's stroke, the
// deflection about the line's mean clipped at one and a half line spacings, and never shorter
// than `shortest` (a flat column still shows).
struct THelicorderStroke {
  size_t Column = 0;
  double Top = 0;
  double Bottom = 0;
};
struct THelicorderLine {
  std::vector<std::pair<size_t, size_t>> Gaps;
  std::vector<THelicorderStroke> Strokes;
};
THelicorderLine HelicorderLine(const THelicorder& plot, int line, double base, double half,
                               double shortest);

}  // namespace survey
