#pragma once
// Peterson's (1993) new low and high noise models: the quietest and the noisiest ground
// acceleration observed at stations worldwide, in dB relative to 1 (m/s²)²/Hz, from the
// published piecewise tables (dB = A + B log10(period) between consecutive periods).

namespace survey {

// The model at a period in seconds; NaN outside 0.1 s to 100 000 s.
double LowNoiseModelDb(double period);
double HighNoiseModelDb(double period);

}  // namespace survey
