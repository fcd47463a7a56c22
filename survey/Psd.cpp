#include "survey/Psd.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <numbers>

#include <fftw3.h>

namespace survey {

namespace {

// FFTW's planner is not thread-safe: plans are made under this lock and kept for the life of
// the process (executing a plan on new arrays is thread-safe).
fftw_plan SharedPlan(int64_t n) {
  static std::mutex lock;
  static auto* plans = new std::map<int64_t, fftw_plan>;
  std::lock_guard<std::mutex> guard(lock);
  fftw_plan& plan = (*plans)[n];
  if (!plan) {
    double* in = fftw_alloc_real(static_cast<size_t>(n));
    fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
    plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE);
    fftw_free(in);
    fftw_free(out);
  }
  return plan;
}

int64_t LargestPowerOfTwo(int64_t limit) {
  int64_t n = 1;
  while (n * 2 <= limit) n *= 2;
  return n;
}

// The cosine taper over 10% of the length at each end.
std::vector<double> Taper(int64_t n) {
  std::vector<double> taper(static_cast<size_t>(n), 1.0);
  const auto edge = static_cast<int64_t>(std::floor(0.1 * static_cast<double>(n)));
  for (int64_t i = 0; i < edge; ++i) {
    const double w =
        0.5 * (1 - std::cos(std::numbers::pi * (static_cast<double>(i) + 0.5) /
                            static_cast<double>(edge)));
    taper[static_cast<size_t>(i)] = w;
    taper[static_cast<size_t>(n - 1 - i)] = w;
  }
  return taper;
}

void RemoveTrend(double* x, int64_t n) {
  const double centre = 0.5 * static_cast<double>(n - 1);
  double sum = 0, moment = 0, spread = 0;
  for (int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) - centre;
    sum += x[i];
    moment += t * x[i];
    spread += t * t;
  }
  const double mean = sum / static_cast<double>(n);
  const double slope = spread > 0 ? moment / spread : 0;
  for (int64_t i = 0; i < n; ++i) x[i] -= mean + slope * (static_cast<double>(i) - centre);
}

}  // namespace

struct TPsdCalculator::TSegmentSetup {
  int64_t Length = 0;
  fftw_plan Plan = nullptr;
  std::vector<double> Taper;
  double Scale = 0;             // from |X|^2 to a one-sided density
  std::vector<double> Removal;  // per FFT bin: from counts to the output unit
  std::vector<int64_t> FirstBin, LastBin;  // per grid frequency: the octave's bins
  std::vector<double> Power;               // the periodograms' sum
};

std::vector<double> GridFrequencies(double lowest, double highest) {
  std::vector<double> grid;
  if (!(lowest > 0) || !(highest >= lowest)) return grid;
  for (auto k = static_cast<int>(std::ceil(8 * std::log2(lowest) - 1e-9));; ++k) {
    const double f = std::exp2(k / 8.0);
    if (f > highest * (1 + 1e-12)) break;
    grid.push_back(f);
  }
  return grid;
}

std::vector<double> ChannelGrid(double rate, double windowSeconds) {
  return GridFrequencies(20 / windowSeconds, rate / 2);
}

TPsdCalculator::TPsdCalculator(double rate, const TChannelResponse* response,
                               std::vector<double> grid)
    : Rate(rate), Response(response), Frequencies(std::move(grid)) {}

TPsdCalculator::~TPsdCalculator() {
  for (TSegmentSetup* setup : Setups) delete setup;
  fftw_free(In);
  fftw_free(Out);
}

TPsdCalculator::TSegmentSetup& TPsdCalculator::Setup(int64_t n) {
  for (TSegmentSetup* setup : Setups) {
    if (setup->Length == n) return *setup;
  }
  auto* setup = new TSegmentSetup;
  Setups.push_back(setup);
  setup->Length = n;
  setup->Plan = SharedPlan(n);
  setup->Taper = Taper(n);
  double squares = 0;
  for (double w : setup->Taper) squares += w * w;
  const double meanSquare = squares / static_cast<double>(n);
  setup->Scale = 2 / (static_cast<double>(n) * Rate * meanSquare * SegmentsPerWindow);
  const int64_t bins = n / 2 + 1;
  setup->Removal.assign(static_cast<size_t>(bins), 1.0);
  if (Response) {
    const int integrations = Response->Motion == TMotion::Acceleration  ? 0
                             : Response->Motion == TMotion::Velocity ? 1
                                                                     : 2;
    for (int64_t k = 1; k < bins; ++k) {
      const double f = static_cast<double>(k) * Rate / static_cast<double>(n);
      const double gain = Response->Gain(f);
      const double omega2 = std::pow(2 * std::numbers::pi * f, 2 * integrations);
      setup->Removal[static_cast<size_t>(k)] =
          gain > 0 ? omega2 / (gain * gain) : std::numeric_limits<double>::quiet_NaN();
    }
  }
  const double binWidth = Rate / static_cast<double>(n);
  for (double f : Frequencies) {
    // Bin 0 (the mean) and the Nyquist bin stay out of every octave.
    auto first = static_cast<int64_t>(std::ceil(f / std::numbers::sqrt2 / binWidth - 1e-9));
    auto last = static_cast<int64_t>(std::floor(f * std::numbers::sqrt2 / binWidth + 1e-9));
    first = std::max<int64_t>(first, 1);
    last = std::min<int64_t>(last, bins - 2);
    if (first > last) first = last = std::clamp<int64_t>(std::llround(f / binWidth), 1, bins - 2);
    setup->FirstBin.push_back(first);
    setup->LastBin.push_back(last);
  }
  setup->Power.assign(static_cast<size_t>(bins), 0.0);
  if (n > BufferSamples) {
    fftw_free(In);
    fftw_free(Out);
    In = fftw_alloc_real(static_cast<size_t>(n));
    Out = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
    BufferSamples = n;
  }
  return *setup;
}

std::vector<double> TPsdCalculator::WindowDb(const double* samples, int64_t count) {
  const int64_t n = LargestPowerOfTwo(count / 4);
  TSegmentSetup& setup = Setup(n);
  std::fill(setup.Power.begin(), setup.Power.end(), 0.0);
  const int64_t bins = n / 2 + 1;
  Made.clear();
  for (int s = 0; s < SegmentsPerWindow; ++s) {
    const std::vector<double>& power = SegmentPower(setup, samples + s * count / 16);
    for (int64_t k = 0; k < bins; ++k) setup.Power[static_cast<size_t>(k)] += power[static_cast<size_t>(k)];
  }
  std::swap(Kept, Made);
  const double lowest = 20 * Rate / static_cast<double>(count);
  std::vector<double> db(Frequencies.size(), std::numeric_limits<double>::quiet_NaN());
  for (size_t j = 0; j < Frequencies.size(); ++j) {
    if (Frequencies[j] < lowest * (1 - 1e-9)) continue;
    double sum = 0;
    for (int64_t k = setup.FirstBin[j]; k <= setup.LastBin[j]; ++k) {
      sum += setup.Power[static_cast<size_t>(k)] * setup.Removal[static_cast<size_t>(k)];
    }
    const double power = sum * setup.Scale /
                         static_cast<double>(setup.LastBin[j] - setup.FirstBin[j] + 1);
    db[j] = power > 0 ? 10 * std::log10(power) : std::numeric_limits<double>::quiet_NaN();
  }
  return db;
}

const std::vector<double>& TPsdCalculator::SegmentPower(TSegmentSetup& setup,
                                                         const double* first) {
  const int64_t n = setup.Length;
  for (TKeptPower& kept : Kept) {
    if (kept.First == first && kept.Length == n) {
      Made.push_back(std::move(kept));
      kept.First = nullptr;
      return Made.back().Power;
    }
  }
  auto* out = static_cast<fftw_complex*>(Out);
  std::copy(first, first + n, In);
  RemoveTrend(In, n);
  for (int64_t i = 0; i < n; ++i) In[i] *= setup.Taper[static_cast<size_t>(i)];
  fftw_execute_dft_r2c(setup.Plan, In, out);
  TKeptPower made{first, n, std::vector<double>(static_cast<size_t>(n / 2 + 1))};
  for (int64_t k = 0; k <= n / 2; ++k) {
    made.Power[static_cast<size_t>(k)] = out[k][0] * out[k][0] + out[k][1] * out[k][1];
  }
  Made.push_back(std::move(made));
  return Made.back().Power;
}

void TPsdCalculator::AddRun(const TSampleRun& run, std::vector<TWindowPsd>& windows) {
  const auto count = static_cast<int64_t>(run.Samples.size());
  const auto window = static_cast<int64_t>(std::llround(PsdWindowSeconds * Rate));
  if (count < window) {
    if (static_cast<double>(count) >= ShortestWindowSeconds * Rate) {
      windows.push_back({run.Start, WindowDb(run.Samples.data(), count)});
    }
    return;
  }
  Kept.clear();  // a new run shares nothing with the last
  for (int64_t first = 0; first + window <= count; first += window / 2) {
    windows.push_back({run.TimeOf(first), WindowDb(run.Samples.data() + first, window)});
  }
}

}  // namespace survey
