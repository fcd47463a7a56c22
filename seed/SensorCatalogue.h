#pragma once
// Sensors: the built-in catalogue of common seismic sensors, and sensors described by their
// generator constant, natural frequency and damping.
//
// Every sensor here is a velocity transducer: input M/S, output V. Its transfer function is
// G * F(s) / |F(i 2 pi fG)| with F(s) = prod(s - zero) / prod(s - pole) (Laplace, rad/s) and
// G the generator constant in V/(m/s) at the frequency fG where it is stated; fG = 0 means the
// high-frequency limit (a moving-coil sensor, whose F tends to 1 above its natural frequency).

#include <complex>
#include <string>
#include <string_view>
#include <vector>

namespace seed {

struct TSensorModel {
  std::string Name;               // catalogue name, or empty for a described sensor
  std::string Description;        // written as the Sensor's Description
  double GeneratorConstant = 0;   // V/(m/s)
  double GeneratorFrequency = 0;  // Hz where the constant holds; 0: the high-frequency limit
  double NaturalFrequency = 0;    // Hz
  double Damping = 0;             // fraction of critical
  double ReferenceFrequency = 0;  // Hz in the flat part of the passband
  std::vector<std::complex<double>> Zeros;  // rad/s
  std::vector<std::complex<double>> Poles;  // rad/s
};

// The catalogue entry of a name (case-insensitive), or null.
const TSensorModel* FindSensorModel(std::string_view name);
// The catalogue's names, for messages: "geophone-4.5, sp-2, sp-1, broadband-120".
std::string SensorModelNames();

// A moving-coil sensor of natural frequency f0 (Hz) and damping h: two zeros at 0 and the
// poles of s^2 + 2 h w0 s + w0^2 (w0 = 2 pi f0), a complex pair when h < 1.
TSensorModel MovingCoilSensor(double generatorConstant, double naturalFrequency, double damping);

// |G F(i 2 pi f) / F(i 2 pi fG)|: the sensor's gain in V/(m/s) at f Hz.
double SensorGainAt(const TSensorModel& model, double frequency);
// 1 / |F(i 2 pi f)|: the factor that makes the poles and zeros 1 in modulus at f.
double NormalizationFactorAt(const TSensorModel& model, double frequency);

}  // namespace seed
