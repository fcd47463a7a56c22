#pragma once
// The noise of a channel over all its windows: per grid frequency, the mean of the windows'
// dB values, their 10th, 50th and 90th percentiles, and their probability density (the share
// of windows in each 1 dB bin).

#include <cstdint>
#include <string>
#include <vector>

#include "survey/Psd.h"

namespace survey {

struct TNoiseSummary {
  bool Acceleration = false;  // dB relative to 1 (m/s²)²/Hz; otherwise to 1 count²/Hz
  std::vector<double> Frequencies;  // Hz
  std::vector<int64_t> Windows;     // per frequency: the windows that reach it
  std::vector<double> MeanDb;       // NaN where no window reaches
  std::vector<double> P10Db, P50Db, P90Db;
  double PdfLowestDb = 0;           // the lower edge of the first 1 dB bin
  std::vector<std::vector<double>> Pdf;  // [frequency][bin]: share of the frequency's windows
  int64_t WindowCount = 0;

  std::string UnitText() const;  // "(m/s^2)^2/Hz" or "counts^2/Hz"
};

TNoiseSummary SummarizeNoise(const std::vector<double>& grid,
                             const std::vector<TWindowPsd>& windows, bool acceleration);

}  // namespace survey
