// Writes the sample card: five one-minute recordings of one small earthquake by two stations
// of a version-410 recorder, in both event formats, with three and six channels.
//
//   readtarq-make-demo-card samples/demo-card
//
// The card is the same on every run: the noise comes from a fixed pseudo-random sequence.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "support/CardBuilder.h"

namespace {

using testing_support::SampleBytes;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

// A small deterministic generator (xorshift), so the card does not depend on the library.
class TNoise {
 public:
  explicit TNoise(uint64_t seed) : State(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  // Roughly normal, mean 0, deviation 1.
  double Next() {
    double sum = 0;
    for (int i = 0; i < 12; ++i) sum += Uniform();
    return sum - 6.0;
  }

 private:
  double Uniform() {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return static_cast<double>(State >> 11) / 9007199254740992.0;
  }
  uint64_t State;
};

struct TRecording {
  std::string Marker;  // DEB or DEB2
  int Channels;
  int Serial;
  int Rate;
  std::string FileStem;     // MMDDhhmm of the start
  std::string StartSecond;  // ss then mmm
  std::string FileNumber;
  int Gain;
  double PArrival;  // seconds after the start
  double SArrival;
  double Amplitude;  // counts of the largest S-wave motion
  std::string Position;
  std::string LatMinutes;
  std::string LonMinutes;
  std::string SatAltitude;
};

// One channel's ground motion: background noise, then the P and S trains, each a decaying
// wave. Channel 0 of a sensor is vertical (strong P), 1 and 2 horizontal (strong S); a second
// sensor (channels 3-5) is a less sensitive one at the same place.
double Motion(const TRecording& r, int channel, double t, TNoise& noise) {
  const int component = channel % 3;
  const double sensitivity = channel < 3 ? 1.0 : 0.25;
  double value = 1500.0 * noise.Next();
  auto train = [&](double arrival, double frequency, double decay, double amplitude) {
    if (t < arrival) return 0.0;
    const double s = t - arrival;
    const double rise = std::min(1.0, s / 0.4);
    return amplitude * rise * std::exp(-s / decay) *
           std::sin(2 * std::numbers::pi * frequency * s + channel);
  };
  const double p = component == 0 ? 0.45 : 0.15;
  const double s = component == 0 ? 0.35 : 1.0;
  value += train(r.PArrival, 6.0 + component, 3.0, p * r.Amplitude);
  value += train(r.SArrival, 2.5 + 0.5 * component, 9.0, s * r.Amplitude);
  value *= sensitivity;
  return std::clamp(value, -8388608.0, 8388607.0);
}

TBuiltEvent Event(const TRecording& r) {
  TBuiltEvent event;
  event.Marker = r.Marker;
  event.Channels = std::to_string(r.Channels) + "," + std::to_string(r.Serial);
  event.FileStem = r.FileStem;
  event.StartSecond = r.StartSecond;
  event.FileNumber = r.FileNumber;
  event.RateDuration = std::to_string(r.Rate) + ",1";
  event.Gain = std::to_string(r.Gain);
  event.Clipped = "0.00";
  event.FullScale = "8388607";
  event.Position = r.Position;
  event.LatMinutes = r.LatMinutes;
  event.LonMinutes = r.LonMinutes;
  event.SatAltitude = r.SatAltitude;
  event.Field17 = "60000";  // milliseconds recorded, from version 410 on
  event.HeaderEnd = "FIN";
  event.Trailer = "END";

  TNoise noise(static_cast<uint64_t>(r.Serial) * 1000 + std::stoul(r.FileNumber));
  const int frames = r.Rate * 60;
  int32_t largest = 0;
  event.UseRawSamples = true;
  event.RawSamples.reserve(static_cast<size_t>(frames) * r.Channels * 3);
  for (int k = 0; k < frames; ++k) {
    const double t = static_cast<double>(k) / r.Rate;
    for (int c = 0; c < r.Channels; ++c) {
      const auto sample = static_cast<int32_t>(std::lround(Motion(r, c, t, noise)));
      largest = std::max(largest, sample < 0 ? -sample : sample);
      event.RawSamples += SampleBytes(sample);
    }
  }
  event.MaxAmplitude = std::to_string(largest);
  return event;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: readtarq-make-demo-card DIRECTORY\n");
    return 2;
  }
  const std::string directory = argv[1];
  if (!platform::DirectoryExists(directory) && !platform::MakeDirectory(directory)) {
    std::fprintf(stderr, "Cannot create %s\n", directory.c_str());
    return 1;
  }

  // Station 47 north of the epicentre, station 193 further south with two sensors.
  const std::vector<TRecording> recordings = {
      {"DEB", 3, 47, 125, "06141023", "12345", "001", 1, 14.2, 21.8, 410000, "", "", "", ""},
      {"DEB2", 3, 47, 100, "06141452", "03020", "002", 2, 9.6, 15.1, 620000, "45N,006E", "12.345",
       "54.321", "8,1250"},
      {"DEB2", 6, 193, 125, "06141452", "05500", "001", 1, 12.9, 20.3, 380000, "44N,005E",
       "58.102", "49.877", "6,830"},
      {"DEB", 6, 193, 100, "06150307", "41125", "002", 4, 18.0, 28.4, 95000, "", "", "", ""},
      {"DEB2", 3, 47, 250, "06150307", "38900", "003", 1, 16.7, 25.2, 150000, "45N,006E",
       "12.351", "54.318", "9,1251"},
  };
  TCardBuilder card;
  card.Signature = "TARQPR410";
  card.Label = "CARTE TARQPROBE UTILISEE";
  for (const TRecording& r : recordings) card.Events.push_back(Event(r));
  card.TailZeros = 30000;  // space left for further recordings
  card.WriteTo(directory);
  std::printf("Wrote %s/fichbase.dat (%lld bytes, %zu events) and %s/secttarq.hex\n",
              directory.c_str(), static_cast<long long>(card.DataFileSize()), card.Events.size(),
              directory.c_str());
  return 0;
}
