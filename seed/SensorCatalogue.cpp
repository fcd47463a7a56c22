#include "seed/SensorCatalogue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "base/TextFields.h"
#include "seed/SeedText.h"

namespace seed {

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

TSensorModel Entry(const char* name, const char* description, double generatorConstant,
                   double naturalFrequency, double damping, double referenceFrequency) {
  TSensorModel model = MovingCoilSensor(generatorConstant, naturalFrequency, damping);
  model.Name = name;
  model.Description = description;
  model.ReferenceFrequency = referenceFrequency;
  return model;
}

// The nominal values of each class of sensor, as its makers' data sheets state them; a unit's
// calibrated constant goes in the sheet's sensitivity column.
const std::array<TSensorModel, 4>& Catalogue() {
  static const std::array<TSensorModel, 4> catalogue = [] {
    // Moving-coil exploration geophone element, 4.5 Hz, coil 375 ohm with an open-circuit
    // constant of 28.8 V/(m/s) and damping 0.6 (typical data sheet values of this class).
    TSensorModel geophone = Entry("geophone-4.5", "Geophone, 4.5 Hz", 28.8, 4.5, 0.6, 20);
    // Short-period seismometers with a moving coil, damped to 0.707 by their shunt: the 2 Hz
    // and the 1 Hz classes of field seismometer (data sheets give 150-280 V/(m/s)).
    TSensorModel sp2 = Entry("sp-2", "Short-period seismometer, 2 Hz", 200, 2, 0.707, 10);
    TSensorModel sp1 = Entry("sp-1", "Short-period seismometer, 1 Hz", 275, 1, 0.707, 5);
    // Force-balance broadband seismometer, flat to velocity from 120 s to about 50 Hz,
    // 1500 V/(m/s) at 1 Hz: the 120 s pair (h 0.707) and a second-order corner at 50 Hz.
    TSensorModel broadband =
        Entry("broadband-120", "Broadband seismometer, 120 s", 1500, 1.0 / 120, 0.707, 1);
    const double w = TwoPi * 50 * std::sqrt(0.5);
    broadband.Poles.emplace_back(-w, w);
    broadband.Poles.emplace_back(-w, -w);
    broadband.GeneratorFrequency = 1;
    return std::array<TSensorModel, 4>{geophone, sp2, sp1, broadband};
  }();
  return catalogue;
}

std::complex<double> Shape(const TSensorModel& model, double frequency) {
  const std::complex<double> s(0, TwoPi * frequency);
  std::complex<double> value = 1;
  for (const std::complex<double>& zero : model.Zeros) value *= s - zero;
  for (const std::complex<double>& pole : model.Poles) value /= s - pole;
  return value;
}

}  // namespace

const TSensorModel* FindSensorModel(std::string_view name) {
  const std::string lower = WUtil::AsciiLower(name);
  for (const TSensorModel& model : Catalogue()) {
    if (model.Name == lower) return &model;
  }
  return nullptr;
}

std::string SensorModelNames() {
  std::string names;
  for (const TSensorModel& model : Catalogue()) {
    if (!names.empty()) names += ", ";
    names += model.Name;
  }
  return names;
}

TSensorModel MovingCoilSensor(double generatorConstant, double naturalFrequency, double damping) {
  TSensorModel model;
  model.Description =
      "Moving-coil sensor, " + RealText(naturalFrequency) + " Hz, damping " + RealText(damping);
  model.GeneratorConstant = generatorConstant;
  model.NaturalFrequency = naturalFrequency;
  model.Damping = damping;
  // Where a moving-coil sensor is flat within 1 %: |F|^2 = x^4 / ((x^2 - 1)^2 + 4 h^2 x^2) at
  // x = f / f0 falls short of 1 by about (2 h^2 - 1) / x^2 (5 f0 is enough for h up to 0.75).
  model.ReferenceFrequency =
      naturalFrequency * std::max(5.0, 10 * std::sqrt(std::max(0.0, 2 * damping * damping - 1)));
  model.Zeros = {0, 0};
  const double w0 = TwoPi * naturalFrequency;
  if (damping < 1) {
    const double im = w0 * std::sqrt(1 - damping * damping);
    model.Poles = {{-damping * w0, im}, {-damping * w0, -im}};
  } else {
    const double root = w0 * std::sqrt(damping * damping - 1);
    model.Poles = {{-damping * w0 + root, 0}, {-damping * w0 - root, 0}};
  }
  return model;
}

double SensorGainAt(const TSensorModel& model, double frequency) {
  const double at = std::abs(Shape(model, frequency));
  const double stated =
      model.GeneratorFrequency > 0 ? std::abs(Shape(model, model.GeneratorFrequency)) : 1.0;
  return model.GeneratorConstant * at / stated;
}

double NormalizationFactorAt(const TSensorModel& model, double frequency) {
  return 1 / std::abs(Shape(model, frequency));
}

}  // namespace seed
