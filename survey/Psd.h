#pragma once
// Power spectral densities of a channel's data, after McNamara and Buland (2004):
//
// - Windows: one hour of continuous data, a new window every half hour (50% overlap). A run
//   of data shorter than one hour (a triggered event) gives one window of its whole length
//   when it lasts at least a minute; shorter runs give none.
// - Each window is cut into 13 segments of a quarter of its length, each starting a sixteenth
//   of the window after the one before (75% overlap), each truncated to the largest power of
//   two samples that fits in it.
// - Each segment: mean and linear trend removed, a cosine taper over 10% of its length at each
//   end, FFT (FFTW), |X|^2 scaled to a one-sided density (2 / (N * rate)) and corrected for
//   the power the taper removes (divided by the mean square of the taper).
// - The 13 periodograms are averaged; the response is removed from the average, frequency by
//   frequency, and the result turned into ground acceleration (times (2*pi*f)^2 per
//   integration); without a response the density stays in counts^2/Hz.
// - Smoothing: the average power over one full octave (from f/sqrt(2) to f*sqrt(2)) at each
//   frequency of a grid of 1/8 octave steps, f = 2^(k/8) Hz, from the first grid frequency at
//   or above 20 / window length (periods up to a twentieth of the window) to the Nyquist
//   frequency; in dB (10 log10).

#include <cstdint>
#include <vector>

#include "survey/RecordSamples.h"
#include "survey/StationResponse.h"

namespace survey {

constexpr double PsdWindowSeconds = 3600;
constexpr double ShortestWindowSeconds = 60;
constexpr int SegmentsPerWindow = 13;

// The grid frequencies 2^(k/8) Hz in [lowest, highest], ascending.
std::vector<double> GridFrequencies(double lowest, double highest);
// The grid of a channel sampled at `rate` whose longest window lasts `windowSeconds`.
std::vector<double> ChannelGrid(double rate, double windowSeconds = PsdWindowSeconds);

struct TWindowPsd {
  int64_t Start = 0;       // microseconds since 1970
  std::vector<double> Db;  // one per grid frequency; NaN below the window's lowest frequency
};

// The densities of one channel's runs, all at one rate. The FFT plans are shared by all
// calculators (made once per segment length, under a lock); a calculator itself serves one
// thread.
class TPsdCalculator {
 public:
  // `response` may be null (densities in counts^2/Hz); it must outlive the calculator.
  TPsdCalculator(double rate, const TChannelResponse* response, std::vector<double> grid);
  ~TPsdCalculator();
  TPsdCalculator(const TPsdCalculator&) = delete;
  TPsdCalculator& operator=(const TPsdCalculator&) = delete;

  // The windows of a run (its rate must be the calculator's), appended to `windows`.
  void AddRun(const TSampleRun& run, std::vector<TWindowPsd>& windows);
  // The density of one window of `count` samples.
  std::vector<double> WindowDb(const double* samples, int64_t count);

  const std::vector<double>& Grid() const { return Frequencies; }

 private:
  struct TSegmentSetup;
  TSegmentSetup& Setup(int64_t segment);
  // The periodogram of the n samples at `first`: consecutive windows of a run share five of
  // their thirteen segments, so the last window's periodograms are kept for the next one.
  const std::vector<double>& SegmentPower(TSegmentSetup& setup, const double* first);

  double Rate;
  const TChannelResponse* Response;
  std::vector<double> Frequencies;
  std::vector<TSegmentSetup*> Setups;
  struct TKeptPower {
    const double* First = nullptr;
    int64_t Length = 0;
    std::vector<double> Power;
  };
  std::vector<TKeptPower> Kept, Made;
  double* In = nullptr;
  void* Out = nullptr;
  int64_t BufferSamples = 0;
};

}  // namespace survey
