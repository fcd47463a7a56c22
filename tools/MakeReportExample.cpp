// Writes an example quality report of built events into a directory, for the documentation:
// readtarq-make-report-example DIR. The events look like a field crew's: an earthquake on
// 6 and 3 channels, one of which clipped, one channel dead, one station without GPS.

#include <cstdio>
#include <string>

#include "platform/IoError.h"
#include "quality/EventDigest.h"
#include "quality/QualityReport.h"
#include "support/SyntheticFrames.h"

namespace {

TReportEvent BuildEvent(int index, const std::string& file, int64_t station, TUtcTime start,
                        const testing_support::TSyntheticEvent& shape, const std::string& network,
                        const std::string& code) {
  const std::vector<uint8_t> frames = testing_support::SyntheticFrames(shape);
  TEventDigest digest(shape.Channels, shape.Frames);
  digest.AddFrames(frames.data(), shape.Frames);
  TReportEvent e;
  e.Index = index;
  e.File = file;
  e.Station = station;
  e.Start = start;
  e.SampleRate = shape.SampleRate;
  e.SamplesPerChannel = shape.Frames;
  e.Gain = 1;
  for (int c = 1; c <= shape.Channels; ++c) {
    TReportChannel channel;
    channel.Number = c;
    channel.Id = network + "." + code + "." + (c <= 3 ? "00" : "10") + ".HH" + "ZNE"[(c - 1) % 3];
    channel.Figures = digest.FiguresOf(c - 1);
    channel.Envelope = digest.EnvelopeOf(c - 1);
    if (channel.Figures.Saturated > 0) {
      e.ClippedPercent += 100.0 * static_cast<double>(channel.Figures.Saturated) /
                          static_cast<double>(channel.Figures.Count * shape.Channels);
    }
    e.Channels.push_back(channel);
  }
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: readtarq-make-report-example DIR\n", stderr);
    return 2;
  }
  TQualityReport report;
  report.Card = {"Card holds data", 3, 212'655'104, 1'992'294'400, 512};

  testing_support::TSyntheticEvent quake;
  quake.Channels = 6;
  quake.SampleRate = 250;
  quake.Frames = 250 * 120;
  quake.ArrivalSeconds = 24;
  quake.Clipping = {5};
  quake.Seed = 3;
  TReportEvent first = BuildEvent(1, "08121405.T01", 1042, {2026, 12, 8, 14, 5, 0, 0}, quake,
                                  "XX", "T1042");
  first.Position = TReportPosition{45.19312, 5.72674, 212};
  report.Events.push_back(first);

  testing_support::TSyntheticEvent calm;
  calm.Channels = 3;
  calm.SampleRate = 125;
  calm.Frames = 125 * 60;
  calm.Amplitude = 9'000;
  calm.ArrivalSeconds = 31;
  calm.Flat = {2};
  calm.Seed = 9;
  TReportEvent second =
      BuildEvent(2, "08121417.T01", 1043, {2026, 12, 8, 14, 17, 30, 500'000}, calm, "XX", "T1043");
  second.Gain = 4;
  report.Events.push_back(second);

  testing_support::TSyntheticEvent far;
  far.Channels = 3;
  far.SampleRate = 100;
  far.Frames = 100 * 300;
  far.Amplitude = 60'000;
  far.ArrivalSeconds = 90;
  far.Seed = 21;
  TReportEvent third =
      BuildEvent(3, "08121502.T01", 1042, {2026, 12, 8, 15, 2, 11, 0}, far, "XX", "T1042");
  third.Position = TReportPosition{45.19318, 5.72671, 214};
  report.Events.push_back(third);

  TReportFiles files;
  try {
    files = WriteQualityReport(argv[1], report);
  } catch (const platform::EInOutError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  std::printf("%s\n%s\n", files.JsonPath.c_str(), files.HtmlPath.c_str());
  return 0;
}
