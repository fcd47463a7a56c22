#pragma once
// SEED codes of a recorder's channels: network, station, location and channel.
//
// By default a recorder is station "serial in decimal, at least three digits" of network XX
// (the code for temporary networks that are not registered). Its channels form sensors of
// three consecutive channels: location 00 for channels 0-2, 01 for 3-5, and so on; the
// channel code is band code + instrument code H (high-gain seismometer) + orientation Z, N
// or E by the channel's place in its sensor.
//
// Band codes by sample rate (Hz):   >= 1000  250-999  80-249  10-79  2-9  1-2  0.1-1  < 0.1
//   short-period sensor              G        D        E       S      M    L    V      U
//   broadband sensor                 F        C        H       B      M    L    V      U
// A rate between two ranges (9.5 Hz) takes the lower range's code.
//
// Valid codes hold upper-case letters A-Z and digits only: network 1-2 characters, station 1-5,
// location empty or exactly 2, channel exactly 3.

#include <cstdint>
#include <string>
#include <string_view>

namespace seed {

enum class TSensorPeriod { Short, Broad };
enum class TCodeKind { Network, Station, Location, Channel };

inline constexpr std::string_view DefaultNetwork = "XX";
inline constexpr int ChannelsPerSensor = 3;
inline constexpr char InstrumentCode = 'H';

struct TChannelCodes {
  std::string Network;
  std::string Station;
  std::string Location;
  std::string Channel;
  friend bool operator==(const TChannelCodes&, const TChannelCodes&) = default;
};

// Throw ESeedError for a sample rate <= 0 (or not a number), or a negative channel index.
char BandCode(double sampleRate, TSensorPeriod period);
char OrientationCode(int channelIndex);      // channel index from 0 within the event
std::string LocationCode(int channelIndex);  // "00", "01", ... up to "99"
std::string ChannelCode(double sampleRate, TSensorPeriod period, int channelIndex);
// Throws ESeedError for a negative serial or one of more than 5 digits.
std::string StationCode(int64_t serial);

// The default codes of a channel; network and station may be replaced afterwards.
TChannelCodes DefaultChannelCodes(int64_t serial, double sampleRate, TSensorPeriod period,
                                  int channelIndex);

// Empty when the code is valid, else why not: "station code 'AB-1' holds '-': only letters
// A-Z and digits are allowed".
std::string CodeProblem(TCodeKind kind, std::string_view code);
// Throws ESeedError with CodeProblem's text.
void CheckCode(TCodeKind kind, std::string_view code);
void CheckCodes(const TChannelCodes& codes);

}  // namespace seed
