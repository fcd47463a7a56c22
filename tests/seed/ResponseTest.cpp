// The responses of channels: every catalogue sensor and a described one, at the rates a
// recorder uses, consistent in gain and shape; the recorder's stages from its header values.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "seed/Response.h"
#include "seed/SensorCatalogue.h"

namespace {

using seed::TResponseStage;

// |response| at f from the stages' own poles, zeros and gains, as a reader of the document
// would compute it.
double Modulus(const seed::TChannelResponse& response, double f) {
  double modulus = 1;
  for (const TResponseStage& stage : response.Stages) {
    std::complex<double> value = stage.NormalizationFactor;
    const std::complex<double> s(0, 2 * std::numbers::pi * f);
    for (const auto& zero : stage.Zeros) value *= s - zero;
    for (const auto& pole : stage.Poles) value /= s - pole;
    modulus *= std::abs(value) * stage.Gain;
  }
  return modulus;
}

TEST(Response, EverySensorAtEveryRateIsConsistentAtItsSensitivityFrequency) {
  std::vector<seed::TSensorModel> sensors;
  for (const char* name : {"geophone-4.5", "SP-2", "sp-1", "broadband-120"}) {
    const seed::TSensorModel* model = seed::FindSensorModel(name);
    ASSERT_NE(model, nullptr) << name;
    sensors.push_back(*model);
  }
  sensors.push_back(seed::MovingCoilSensor(250, 2, 0.7));
  sensors.push_back(seed::MovingCoilSensor(30, 1, 1.5));  // overdamped: two real poles
  for (const seed::TSensorModel& sensor : sensors) {
    for (const double rate : {10.0, 100.0, 250.0, 1000.0}) {
      SCOPED_TRACE(sensor.Description + " at " + std::to_string(rate));
      const auto response = seed::ChannelResponse(&sensor, 4, 52428.6, rate);
      ASSERT_TRUE(response.has_value());
      ASSERT_EQ(response->Stages.size(), 3u);
      const double f = response->Frequency;
      EXPECT_GT(f, 0);
      EXPECT_LE(f, rate / 5);  // below the recorder's Nyquist frequency
      EXPECT_NEAR(Modulus(*response, f) / response->Sensitivity, 1, 1e-9);
      double product = 1;
      for (const TResponseStage& stage : response->Stages) product *= stage.Gain;
      EXPECT_NEAR(product / response->Sensitivity, 1, 1e-12);
      EXPECT_EQ(response->Stages[1].Gain, 4);  // the header's gain, on the volts
      EXPECT_EQ(response->Stages[2].Gain, 52428.6);
      EXPECT_EQ(response->Stages[2].InputSampleRate, rate);
      EXPECT_EQ(response->InputUnits, "M/S");
      EXPECT_EQ(response->Stages[0].OutputUnits, response->Stages[1].InputUnits);
      EXPECT_EQ(response->Stages[2].OutputUnits, "COUNTS");
      // In the flat band (at a rate that leaves it below Nyquist), the sensor's gain is its
      // generator constant within a few per cent.
      if (rate >= 100) {
        EXPECT_NEAR(response->Stages[0].Gain / sensor.GeneratorConstant, 1, 0.03);
      }
    }
  }
}

// Poles from the natural frequency and damping: |p| = 2 pi f0 and -Re p / |p| = h.
TEST(Response, MovingCoilPolesFollowNaturalFrequencyAndDamping) {
  for (const char* name : {"geophone-4.5", "sp-2", "sp-1", "broadband-120"}) {
    SCOPED_TRACE(name);
    const seed::TSensorModel& model = *seed::FindSensorModel(name);
    ASSERT_GE(model.Poles.size(), 2u);
    const std::complex<double> pole = model.Poles[0];
    EXPECT_NEAR(std::abs(pole) / (2 * std::numbers::pi * model.NaturalFrequency), 1, 1e-12);
    EXPECT_NEAR(-pole.real() / std::abs(pole), model.Damping, 1e-12);
    EXPECT_EQ(model.Zeros.size(), 2u);
  }
  // The broadband sensor states its constant at 1 Hz, where its gain is exactly that.
  const seed::TSensorModel& broadband = *seed::FindSensorModel("broadband-120");
  EXPECT_NEAR(seed::SensorGainAt(broadband, 1), 1500, 1e-9);
  EXPECT_LT(seed::SensorGainAt(broadband, 0.001), 150);  // far below its 120 s corner
}

TEST(Response, WithoutASensorFromVoltsAndNoneWithoutTheRecordersValues) {
  const auto volts = seed::ChannelResponse(nullptr, 1, 209715, 50);
  ASSERT_TRUE(volts.has_value());
  EXPECT_EQ(volts->InputUnits, "V");
  EXPECT_EQ(volts->Stages.size(), 2u);
  EXPECT_EQ(volts->Sensitivity, 209715);
  EXPECT_FALSE(seed::ChannelResponse(nullptr, 0, 209715, 50));  // no gain
  EXPECT_FALSE(seed::ChannelResponse(nullptr, 1, 0, 50));       // a rate without a factor
}

}  // namespace
