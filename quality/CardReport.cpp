#include "quality/CardReport.h"

#include <algorithm>

#include "card/CardLayout.h"
#include "event/EventValues.h"
#include "seed/SeedError.h"
#include "seed/StationXml.h"

TCardFacts CardFactsOf(const TCardSummary& summary) {
  TCardFacts facts;
  facts.Status = summary.Status.Text;
  if (summary.Scanned) {
    facts.Events = summary.EventCount;
    facts.UsedBytes = summary.UsedBytes;
    facts.TotalBytes = summary.TotalBytes;
    if (summary.EpromVersion > 0) facts.EpromVersion = summary.EpromVersion;
  }
  return facts;
}

TListEntry ListEntryOf(const TEventEntry& entry, const TProbeDate& probeDate) {
  const TEventHeader& h = entry.Header;
  TListEntry list;
  list.Index = entry.Line;
  list.File = h.OriginalFileName;
  list.SampleRate = h.SampleRate;
  list.DurationMinutes = h.DurationMinutes;
  list.Gain = h.Gain;
  list.Station = h.StationSerial;
  list.Channels = h.ChannelCount;
  list.Start = EventStartOf(h, probeDate);
  list.GpsFix = HasGpsFix(h);
  if (h.EventFormat == 2) list.Satellites = h.SatelliteCount;
  return list;
}

std::string ChannelSeedId(const seed::TCodeOptions& codes, int64_t serial, int sampleRate,
                          int channel) {
  try {
    const seed::TChannelCodes c = seed::ChannelCodesFor(codes, serial, sampleRate, channel - 1);
    return c.Network + "." + c.Station + "." + c.Location + "." + c.Channel;
  } catch (const seed::ESeedError&) {
    return {};
  }
}

TEventFrames EventFramesOf(const TEventEntry& entry, const std::string& dataFilePath) {
  const int32_t channels = entry.Header.ChannelCount;
  TEventFrames frames;
  frames.DataFilePath = dataFilePath;
  frames.FirstRecord = entry.DataOffset / card_layout::RecordSize;
  frames.Channels = channels >= 1 && channels <= MaxChannels ? channels : 0;
  frames.Frames = std::max<int64_t>(entry.Header.SamplesPerChannel, 0);
  return frames;
}

bool ReadReportEvent(const TEventEntry& entry, const std::string& dataFilePath,
                     const TProbeDate& probeDate, const seed::TCodeOptions& codes,
                     TReportEvent& out, const std::atomic<bool>* cancel) {
  const TEventHeader& h = entry.Header;
  out = TReportEvent{};
  out.Index = entry.Line;
  out.File = h.OriginalFileName;
  out.Station = h.StationSerial;
  out.Start = EventStartOf(h, probeDate);
  out.SampleRate = h.SampleRate;
  out.SamplesPerChannel = std::max<int64_t>(h.SamplesPerChannel, 0);
  out.Gain = h.Gain;
  out.ClippedPercent = h.ClippedSamples;
  out.GpsFix = HasGpsFix(h);
  if (h.EventFormat == 2) out.Satellites = h.SatelliteCount;
  if (const std::optional<seed::TGpsFix> fix = seed::GpsFixOf(h)) {
    if (const std::optional<seed::TPosition> p = seed::PositionOf(*fix)) {
      out.Position = TReportPosition{p->Latitude, p->Longitude, p->Elevation};
    }
  }
  const TEventFrames frames = EventFramesOf(entry, dataFilePath);
  TEventDigest digest(frames.Channels, frames.Frames);
  if (ReadEventDigest(frames, digest, cancel).Cancelled) return false;
  out.Channels = ChannelsOfDigest(digest, codes, h.StationSerial, h.SampleRate);
  return true;
}

std::vector<TReportChannel> ChannelsOfDigest(const TEventDigest& digest,
                                             const seed::TCodeOptions& codes, int64_t serial,
                                             int sampleRate) {
  std::vector<TReportChannel> channels;
  for (int c = 1; c <= digest.Channels(); ++c) {
    TReportChannel channel;
    channel.Number = c;
    channel.Id = ChannelSeedId(codes, serial, sampleRate, c);
    channel.Figures = digest.FiguresOf(c - 1);
    channel.Envelope = digest.EnvelopeOf(c - 1);
    channels.push_back(std::move(channel));
  }
  return channels;
}
