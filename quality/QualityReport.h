#pragma once
// The quality report of a card: report.json for scripts and report.html, one self-contained
// page (inline style and SVG, no script, nothing fetched) with the card summary, a table of the
// events, and per event a plot of its channels drawn from their envelopes, with peak, RMS and
// flags for saturated and dead channels.
//
// Both are built from plain values: the command-line tool and the window fill them from the
// card and from one TEventDigest per event. A report never replaces another: the files go to
// the first free pair of names among report.*, report_a.*, ..., report_z.*, created
// exclusively so that a concurrent writer cannot be overwritten either.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "quality/ChannelFigures.h"
#include "quality/Envelope.h"
#include "quality/JsonViews.h"

struct TReportPosition {
  double Latitude = 0;   // degrees, south negative
  double Longitude = 0;  // degrees, west negative
  double Altitude = 0;   // metres
};

struct TReportChannel {
  int Number = 0;    // 1-based
  std::string Id;    // SEED code NET.STA.LOC.CHA
  TChannelFigures Figures;
  TEnvelope Envelope;
};

struct TReportEvent {
  int Index = 0;     // 1-based line number
  std::string File;  // original file name
  std::optional<int64_t> Station;  // serial number
  TUtcTime Start;
  int SampleRate = 0;
  int64_t SamplesPerChannel = 0;
  int Gain = 0;
  double ClippedPercent = 0;
  std::optional<TReportPosition> Position;  // empty without GPS
  bool GpsFix = false;            // recorded with a GPS fix: the time is the receiver's
  std::optional<int> Satellites;  // in use; empty without a receiver (format 1)
  std::vector<TReportChannel> Channels;
};

struct TQualityReport {
  TCardFacts Card;
  std::vector<TReportEvent> Events;
  std::string Source = {};  // where the card was read (its directory or drive): names it in a
                            // report of several cards
};

// The channel's label in plots: "1 Z", "2 N", "3 E", "4 Z", ... (sensors of three components).
std::string ChannelLabel(int number);

// report.json: {card{status, events, used_bytes, total_bytes, eprom_version},
// events[{index, file, station, start, sample_rate, samples_per_channel, gain,
// clipped_percent, position{latitude, longitude, altitude} | null, gps_fix, satellites | null,
// channels[{number, id, min, max, mean, rms, saturated}]}]}. The figures of a channel without
// samples are null.
nlohmann::ordered_json ReportJson(const TQualityReport& report);
// report.html.
std::string ReportHtml(const TQualityReport& report);
// One report over several cards, in their order: the JSON is {cards[{source, card, events}]},
// the page a part per card headed by its source. Of a single card, the report above.
nlohmann::ordered_json ReportJson(const std::vector<TQualityReport>& cards);
std::string ReportHtml(const std::vector<TQualityReport>& cards);

// The text with &, <, >, " and ' as HTML references, control characters as "?" and bytes that
// are not UTF-8 as U+FFFD: safe in element content and in quoted attributes.
std::string HtmlEscape(std::string_view text);

struct TReportFiles {
  std::string JsonPath;
  std::string HtmlPath;
};

// Writes the two texts as report*.json and report*.html in `directory` under the first pair
// of free names. When no pair is free, or a file cannot be created or written, nothing stays
// behind and platform::EFileError tells why ("Cannot create file ...", "Cannot write file
// ...", "Cannot write the report: the names ... are all taken in ...").
TReportFiles WriteReportFiles(const std::string& directory, const std::string& json,
                              const std::string& html);
// ReportJson and ReportHtml written by WriteReportFiles.
TReportFiles WriteQualityReport(const std::string& directory, const TQualityReport& report);
TReportFiles WriteQualityReport(const std::string& directory,
                                const std::vector<TQualityReport>& cards);
