#include "survey/NoiseSummary.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace survey {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The percentile of sorted values, interpolated between ranks.
double Percentile(const std::vector<double>& sorted, double percent) {
  if (sorted.empty()) return NaN;
  const double rank = percent / 100 * static_cast<double>(sorted.size() - 1);
  const auto low = static_cast<size_t>(std::floor(rank));
  const size_t high = std::min(low + 1, sorted.size() - 1);
  return sorted[low] + (sorted[high] - sorted[low]) * (rank - static_cast<double>(low));
}

}  // namespace

std::string TNoiseSummary::UnitText() const {
  return Acceleration ? "(m/s^2)^2/Hz" : "counts^2/Hz";
}

TNoiseSummary SummarizeNoise(const std::vector<double>& grid,
                             const std::vector<TWindowPsd>& windows, bool acceleration) {
  TNoiseSummary summary;
  summary.Acceleration = acceleration;
  summary.Frequencies = grid;
  summary.WindowCount = static_cast<int64_t>(windows.size());
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -lowest;
  std::vector<std::vector<double>> columns(grid.size());
  for (const TWindowPsd& window : windows) {
    for (size_t j = 0; j < grid.size() && j < window.Db.size(); ++j) {
      if (!std::isfinite(window.Db[j])) continue;
      columns[j].push_back(window.Db[j]);
      lowest = std::min(lowest, window.Db[j]);
      highest = std::max(highest, window.Db[j]);
    }
  }
  summary.PdfLowestDb = std::isfinite(lowest) ? std::floor(lowest) : 0;
  const size_t bins =
      std::isfinite(highest) ? static_cast<size_t>(std::floor(highest) - summary.PdfLowestDb) + 1
                             : 0;
  for (std::vector<double>& column : columns) {
    std::sort(column.begin(), column.end());
    summary.Windows.push_back(static_cast<int64_t>(column.size()));
    double sum = 0;
    std::vector<double> pdf(bins, 0.0);
    for (double db : column) {
      sum += db;
      const auto bin = static_cast<size_t>(std::floor(db) - summary.PdfLowestDb);
      pdf[std::min(bin, bins - 1)] += 1.0 / static_cast<double>(column.size());
    }
    summary.MeanDb.push_back(column.empty() ? NaN : sum / static_cast<double>(column.size()));
    summary.P10Db.push_back(Percentile(column, 10));
    summary.P50Db.push_back(Percentile(column, 50));
    summary.P90Db.push_back(Percentile(column, 90));
    summary.Pdf.push_back(std::move(pdf));
  }
  return summary;
}

}  // namespace survey
