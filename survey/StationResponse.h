#pragma once
// The responses of an inventory's channels (FDSN StationXML), as far as the noise survey needs
// them: how many counts one unit of ground motion gives at each frequency.
//
// The gain is the channel's InstrumentSensitivity (or, without it, the product of the stage
// gains) times the shape of its analog PolesZeros stages, normalised to 1 at the sensitivity's
// frequency:
//
//   |H(f)| = S * |P(f)| / |P(fs)|,   P(f) = product over the stages of prod(s - z) / prod(s - p)
//
// with s = 2*pi*i*f for LAPLACE (RADIANS/SECOND) stages and s = i*f for LAPLACE (HERTZ). The
// digital stages (FIR coefficients, decimation, digital poles and zeros) are left out: their
// passband is flat to within a fraction of a dB up to near the Nyquist frequency, where the
// survey stops anyway. Input units M, M/S and M/S**2 (and their usual spellings) are ground
// displacement, velocity and acceleration; a channel in other units has no usable response.

#include <complex>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace survey {

enum class TMotion { Displacement, Velocity, Acceleration };

struct TPoleZeroStage {
  bool Hertz = false;  // LAPLACE (HERTZ): poles and zeros in Hz
  std::vector<std::complex<double>> Zeros;
  std::vector<std::complex<double>> Poles;
  std::complex<double> Value(double frequency) const;
};

struct TChannelResponse {
  std::string Id;  // NET.STA.LOC.CHA
  int64_t From = std::numeric_limits<int64_t>::min();  // the epoch, microseconds since 1970
  int64_t To = std::numeric_limits<int64_t>::max();
  double Sensitivity = 0;          // counts per unit of motion at SensitivityFrequency
  double SensitivityFrequency = 1;  // Hz
  TMotion Motion = TMotion::Velocity;
  std::string InputUnits;  // as the document writes them
  std::vector<TPoleZeroStage> Stages;

  // Counts per unit of motion (m, m/s or m/s²) at the frequency.
  double Gain(double frequency) const;
};

struct TInventoryResponses {
  std::vector<TChannelResponse> Channels;
  std::vector<std::string> Problems;  // channels whose response cannot be used, and why
  // The response of the channel's epoch holding `time`; null when there is none.
  const TChannelResponse* Find(const std::string& id, int64_t time) const;
};

// Throws std::runtime_error naming the file when it cannot be read or is not StationXML.
TInventoryResponses ReadInventoryResponses(const std::string& path);
// The same from the document's text; `name` names it in messages.
TInventoryResponses ParseInventoryResponses(std::string_view text, const std::string& name);

}  // namespace survey
