#include "seed/Response.h"

#include <algorithm>

namespace seed {

namespace {
// Assigned from strings rather than literals (GCC 12 warns wrongly on literal assignments).
const std::string MetresPerSecond = "M/S";
const std::string Volts = "V";
const std::string Counts = "COUNTS";
const std::string AmplifierText = "Recorder amplifier";
const std::string ConverterText = "Recorder converter";
}  // namespace

std::optional<TChannelResponse> ChannelResponse(const TSensorModel* sensor, int gain,
                                                double countsPerVolt, double sampleRate) {
  if (gain <= 0 || !(countsPerVolt > 0) || !(sampleRate > 0)) return std::nullopt;
  TChannelResponse response;
  // The sensor's flat band, kept well below the recorder's Nyquist frequency (its
  // anti-alias filter is not known and is taken as flat up to there).
  const double ceiling = sampleRate / 5;
  response.Frequency =
      sensor ? std::min(sensor->ReferenceFrequency, ceiling) : std::min(1.0, ceiling);
  response.InputUnits = sensor ? MetresPerSecond : Volts;
  response.OutputUnits = Counts;

  if (sensor != nullptr) {
    TResponseStage stage;
    stage.Kind = TResponseStage::TKind::PolesZeros;
    stage.Description = sensor->Description;
    stage.InputUnits = MetresPerSecond;
    stage.OutputUnits = Volts;
    stage.NormalizationFactor = NormalizationFactorAt(*sensor, response.Frequency);
    stage.NormalizationFrequency = response.Frequency;
    stage.Zeros = sensor->Zeros;
    stage.Poles = sensor->Poles;
    stage.Gain = SensorGainAt(*sensor, response.Frequency);
    stage.GainFrequency = response.Frequency;
    response.Stages.push_back(stage);
  }
  TResponseStage amplifier;  // analog, gain only
  amplifier.Description = AmplifierText;
  amplifier.InputUnits = Volts;
  amplifier.OutputUnits = Volts;
  amplifier.NormalizationFactor = 1;
  amplifier.NormalizationFrequency = 0;
  amplifier.Gain = gain;
  amplifier.GainFrequency = response.Frequency;
  response.Stages.push_back(amplifier);

  TResponseStage converter;
  converter.Kind = TResponseStage::TKind::Coefficients;
  converter.Description = ConverterText;
  converter.InputUnits = Volts;
  converter.OutputUnits = Counts;
  converter.InputSampleRate = sampleRate;
  converter.Gain = countsPerVolt;
  converter.GainFrequency = response.Frequency;
  response.Stages.push_back(converter);

  response.Sensitivity = 1;
  for (const TResponseStage& stage : response.Stages) response.Sensitivity *= stage.Gain;
  return response;
}

}  // namespace seed
