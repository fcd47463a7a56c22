#pragma once
// The response of a channel: the sensor (poles and zeros, M/S to V), the recorder's
// amplifier (V to V, its gain) and its converter (V to COUNTS at the recording rate), and the
// overall sensitivity, all stated at one frequency in the flat part of the passband.
//
// The recorder's header gives its gain, a factor on the volts before the converter, and the
// conversion factor in counts per volt at the converter's input (its full-scale count over
// its input range). Without a sensor the response starts at the recorder's input, in volts.

#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "seed/SensorCatalogue.h"

namespace seed {

struct TResponseStage {
  enum class TKind { PolesZeros, Coefficients };
  TKind Kind = TKind::PolesZeros;
  std::string Description;
  std::string InputUnits;  // "M/S", "V", "COUNTS"
  std::string OutputUnits;
  // PolesZeros (Laplace, rad/s)
  double NormalizationFactor = 1;
  double NormalizationFrequency = 0;
  std::vector<std::complex<double>> Zeros;
  std::vector<std::complex<double>> Poles;
  // Coefficients: a digital stage of gain only, at this input rate (factor 1)
  double InputSampleRate = 0;
  double Gain = 0;
  double GainFrequency = 0;
};

struct TChannelResponse {
  std::vector<TResponseStage> Stages;
  double Sensitivity = 0;  // the product of the stage gains
  double Frequency = 0;
  std::string InputUnits;   // "M/S", or "V" without a sensor
  std::string OutputUnits;  // "COUNTS"
};

// The response of a channel recorded at `sampleRate` Hz with the header's `gain` and
// `countsPerVolt`, behind `sensor` (null: not known). Nullopt when the recorder's values give
// none (a gain or a factor of 0 or below, or a rate of 0 or below).
std::optional<TChannelResponse> ChannelResponse(const TSensorModel* sensor, int gain,
                                                double countsPerVolt, double sampleRate);

}  // namespace seed
