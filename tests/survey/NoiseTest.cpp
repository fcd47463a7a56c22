// Noise spectra against values worked out by hand: white noise of known variance through
// known responses, and the gains of responses in the shapes inventories give them.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "survey/NoiseSummary.h"
#include "survey/Psd.h"
#include "survey/StationResponse.h"

namespace {

constexpr double Pi = std::numbers::pi;

std::string Inventory(const std::string& channels) {
  return "<?xml version=\"1.0\"?><FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" "
         "schemaVersion=\"1.2\"><Source>test</Source><Created>2026-01-01T00:00:00Z</Created>"
         "<Network code=\"XX\"><Station code=\"STA1\">" +
         channels + "</Station></Network></FDSNStationXML>";
}

std::string FlatChannel(const std::string& code, const std::string& units, double value) {
  return "<Channel code=\"" + code + "\" locationCode=\"00\">"
         "<Response><InstrumentSensitivity><Value>" + std::to_string(value) +
         "</Value><Frequency>1</Frequency><InputUnits><Name>" + units +
         "</Name></InputUnits><OutputUnits><Name>COUNTS</Name></OutputUnits>"
         "</InstrumentSensitivity></Response></Channel>";
}

// White noise of variance sigma^2 has the one-sided density 2 sigma^2 / rate in counts^2/Hz.
// Through a flat gain S (counts per unit) it is 2 sigma^2 / (rate S^2) in units^2/Hz; from
// velocity to acceleration each frequency is multiplied by (2 pi f)^2, whose average over the
// octave [a, b] = [f / sqrt(2), min(f sqrt(2), rate / 2)] is (2 pi)^2 (a^2 + ab + b^2) / 3.
TEST(NoiseTest, WhiteNoiseGivesItsDensityWithinOneDb) {
  const double rate = 40, sigma = 1000, gain = 2.5e4;
  survey::TSampleRun run{0, rate, {}};
  std::mt19937_64 random(7);
  std::normal_distribution<double> noise(0, sigma);
  for (int i = 0; i < 6 * 3600 * 40; ++i) run.Samples.push_back(noise(random));
  const survey::TInventoryResponses inventory = survey::ParseInventoryResponses(
      Inventory(FlatChannel("HNZ", "M/S**2", gain) + FlatChannel("HHZ", "M/S", gain)), "test");
  ASSERT_EQ(inventory.Channels.size(), 2u);

  struct TCase {
    const char* Name;
    const survey::TChannelResponse* Response;
    double Density;  // at 1 Hz... scaled per frequency below for velocity
    bool Velocity;
  };
  const TCase cases[] = {
      {"counts", nullptr, 2 * sigma * sigma / rate, false},
      {"acceleration", inventory.Find("XX.STA1.00.HNZ", 0), 2 * sigma * sigma / (rate * gain * gain),
       false},
      {"velocity", inventory.Find("XX.STA1.00.HHZ", 0), 2 * sigma * sigma / (rate * gain * gain),
       true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<double> grid = survey::ChannelGrid(rate);
    survey::TPsdCalculator calculator(rate, c.Response, grid);
    std::vector<survey::TWindowPsd> windows;
    calculator.AddRun(run, windows);
    EXPECT_EQ(windows.size(), 11u);
    const survey::TNoiseSummary summary =
        survey::SummarizeNoise(grid, windows, c.Response != nullptr);
    int checked = 0;
    for (size_t j = 0; j < grid.size(); ++j) {
      const double f = grid[j];
      if (f < 5 * grid.front() || f > 0.4 * rate) continue;
      double expected = c.Density;
      if (c.Velocity) {
        const double a = f / std::numbers::sqrt2, b = std::min(f * std::numbers::sqrt2, rate / 2);
        expected *= 4 * Pi * Pi * (a * a + a * b + b * b) / 3;
      }
      EXPECT_NEAR(summary.MeanDb[j], 10 * std::log10(expected), 1.0) << f << " Hz";
      ++checked;
    }
    EXPECT_GT(checked, 60);
  }
}

// A geophone of natural frequency f0 = 1 Hz and damping 0.707: |H(f)| = f^2 /
// sqrt((f0^2 - f^2)^2 + (2 h f0 f)^2), normalised to the sensitivity at 1 Hz.
double Geophone(double f) {
  const double h = std::sqrt(0.5);
  return f * f / std::sqrt(std::pow(1 - f * f, 2) + std::pow(2 * h * f, 2));
}

TEST(NoiseTest, ResponsesGiveTheirGainInTheShapesInventoriesWrite) {
  const double w = 2 * Pi * std::sqrt(0.5);
  const std::string poles = "<Zero><Real>0</Real><Imaginary>0</Imaginary></Zero>"
                            "<Zero><Real>0</Real><Imaginary>0</Imaginary></Zero>";
  auto pole = [](double re, double im) {
    return "<Pole><Real>" + std::to_string(re) + "</Real><Imaginary>" + std::to_string(im) +
           "</Imaginary></Pole>";
  };
  auto sensitivity = [](const std::string& units) {
    return "<InstrumentSensitivity><Value>2.88E7</Value><Frequency>1.0</Frequency><InputUnits>"
           "<Name>" + units + "</Name></InputUnits><OutputUnits><Name>COUNTS</Name></OutputUnits>"
           "</InstrumentSensitivity>";
  };
  // Ours: a sensor stage in rad/s, then the datalogger's coefficients and decimation.
  const std::string written =
      "<Channel code=\"HHZ\" locationCode=\"00\"><Response>" + sensitivity("M/S") +
      "<Stage number=\"1\"><PolesZeros><InputUnits><Name>M/S</Name></InputUnits><OutputUnits>"
      "<Name>V</Name></OutputUnits><PzTransferFunctionType>LAPLACE (RADIANS/SECOND)"
      "</PzTransferFunctionType><NormalizationFactor>1.0</NormalizationFactor>"
      "<NormalizationFrequency>1.0</NormalizationFrequency>" + poles + pole(-w, w) +
      pole(-w, -w) + "</PolesZeros><StageGain><Value>28.8</Value><Frequency>1.0</Frequency>"
      "</StageGain></Stage><Stage number=\"2\"><Coefficients><InputUnits><Name>V</Name>"
      "</InputUnits><OutputUnits><Name>COUNTS</Name></OutputUnits><CfTransferFunctionType>"
      "DIGITAL</CfTransferFunctionType></Coefficients><Decimation><InputSampleRate>250"
      "</InputSampleRate><Factor>1</Factor><Offset>0</Offset><Delay>0</Delay><Correction>0"
      "</Correction></Decimation><StageGain><Value>1.0E6</Value><Frequency>1.0</Frequency>"
      "</StageGain></Stage></Response></Channel>";
  // A data centre's: poles in Hz, FIR stages, a digital poles-and-zeros stage.
  const double h = std::sqrt(0.5);
  const std::string centre =
      "<Channel code=\"BHZ\" locationCode=\"\"><Response>" + sensitivity("m/s") +
      "<Stage number=\"1\"><PolesZeros><InputUnits><Name>m/s</Name></InputUnits><OutputUnits>"
      "<Name>V</Name></OutputUnits><PzTransferFunctionType>LAPLACE (HERTZ)"
      "</PzTransferFunctionType><NormalizationFactor>1.0</NormalizationFactor>"
      "<NormalizationFrequency>1.0</NormalizationFrequency>" + poles + pole(-h, h) +
      pole(-h, -h) + "</PolesZeros><StageGain><Value>28.8</Value><Frequency>1</Frequency>"
      "</StageGain></Stage><Stage number=\"2\"><FIR><InputUnits><Name>V</Name></InputUnits>"
      "<OutputUnits><Name>COUNTS</Name></OutputUnits><Symmetry>NONE</Symmetry>"
      "<NumeratorCoefficient>1</NumeratorCoefficient></FIR><StageGain><Value>1E6</Value>"
      "<Frequency>1</Frequency></StageGain></Stage><Stage number=\"3\"><PolesZeros>"
      "<InputUnits><Name>COUNTS</Name></InputUnits><OutputUnits><Name>COUNTS</Name>"
      "</OutputUnits><PzTransferFunctionType>DIGITAL (Z-TRANSFORM)</PzTransferFunctionType>"
      "<NormalizationFactor>1</NormalizationFactor><NormalizationFrequency>1"
      "</NormalizationFrequency>" + pole(0.5, 0) + "</PolesZeros><StageGain><Value>1</Value>"
      "<Frequency>1</Frequency></StageGain></Stage></Response></Channel>";
  const std::string pressure = "<Channel code=\"BDF\" locationCode=\"\"><Response>" +
                               sensitivity("PA") + "</Response></Channel>";
  const survey::TInventoryResponses inventory =
      survey::ParseInventoryResponses(Inventory(written + centre + pressure), "test");

  ASSERT_EQ(inventory.Problems.size(), 1u);
  EXPECT_NE(inventory.Problems[0].find("XX.STA1..BDF"), std::string::npos);
  for (const char* id : {"XX.STA1.00.HHZ", "XX.STA1..BHZ"}) {
    SCOPED_TRACE(id);
    const survey::TChannelResponse* response = inventory.Find(id, 0);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Motion, survey::TMotion::Velocity);
    for (double f : {0.1, 0.5, 1.0, 4.0, 40.0}) {
      EXPECT_NEAR(response->Gain(f) / (2.88e7 * Geophone(f) / Geophone(1)), 1.0, 1e-4) << f;
    }
  }
}

}  // namespace
