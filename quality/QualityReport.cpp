#include "quality/QualityReport.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "event/EventValues.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "platform/RecordFile.h"
#include "platform/WholeFile.h"

namespace {

// ---- Numbers, without the C library's locale ---------------------------------------------

std::string Fixed(double value, int decimals) {
  if (!std::isfinite(value)) return "?";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return "?";
  std::string text(buffer, result.ptr);
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
  return text;
}

// The digits before the point in groups of three, separated by a narrow no-break space:
// 8 388 607, -1 531 042.4.
std::string GroupDigits(const std::string& number) {
  const size_t sign = !number.empty() && number[0] == '-' ? 1 : 0;
  const size_t point = std::min(number.find('.'), number.size());
  std::string text = number.substr(0, sign);
  for (size_t i = sign; i < point; ++i) {
    if (i > sign && (point - i) % 3 == 0) text += "\xE2\x80\xAF";
    text += number[i];
  }
  return text + number.substr(point);
}

std::string Grouped(int64_t value) { return GroupDigits(std::to_string(value)); }

// A coordinate of the plot, to a tenth of a pixel.
std::string Px(double value) { return Fixed(std::round(value * 10) / 10, 1); }

// "45.19312° N, 5.72674° E" then `altitudeSeparator` then "212 m".
std::string PositionText(const TReportPosition& p, const char* altitudeSeparator = ", ") {
  return Fixed(std::abs(p.Latitude), 5) + "\xC2\xB0 " + (p.Latitude < 0 ? "S" : "N") + ", " +
         Fixed(std::abs(p.Longitude), 5) + "\xC2\xB0 " + (p.Longitude < 0 ? "W" : "E") +
         altitudeSeparator + Fixed(p.Altitude, 0) + "\xC2\xA0m";
}

std::string DurationText(int64_t samples, int rate) {
  if (rate <= 0) return "unknown duration";
  const int64_t seconds = samples / rate;
  const int64_t rest = samples % rate;
  std::string text;
  if (seconds >= 60) text = std::to_string(seconds / 60) + " min";
  if (seconds % 60 == 0 && rest == 0 && seconds > 0) return text;
  if (!text.empty()) text += ' ';
  text += std::to_string(seconds % 60);
  if (rest != 0) text += "." + Fixed(static_cast<double>(rest) / rate, 3).substr(2);
  return text + " s";
}

// ---- Flags -------------------------------------------------------------------------------

struct TEventFlags {
  int Saturated = 0;  // channels
  int Dead = 0;
  bool RateZero = false;
  bool Incomplete = false;  // fewer samples fed than the header promises
  bool NoChannels = false;
  bool NoFix = false;  // the time came from the recorder's free-running clock
};

TEventFlags FlagsOf(const TReportEvent& e) {
  TEventFlags flags;
  for (const TReportChannel& c : e.Channels) {
    if (c.Figures.Saturated > 0) ++flags.Saturated;
    if (c.Figures.Dead) ++flags.Dead;
    if (c.Envelope.SamplesFed() < c.Envelope.TotalSamples()) flags.Incomplete = true;
  }
  flags.RateZero = e.SampleRate <= 0;
  flags.NoChannels = e.Channels.empty();
  flags.NoFix = !e.GpsFix;
  return flags;
}

std::string Badge(const std::string& kind, const std::string& text) {
  return "<span class=\"badge " + kind + "\">" + text + "</span>";
}

std::string FlagBadges(const TEventFlags& f) {
  std::string html;
  if (f.Saturated > 0) {
    html += Badge("bad", std::to_string(f.Saturated) + (f.Saturated == 1 ? " saturated channel"
                                                                          : " saturated channels"));
  }
  if (f.Dead > 0) {
    html += Badge("warn", std::to_string(f.Dead) + (f.Dead == 1 ? " dead channel" : " dead channels"));
  }
  if (f.NoChannels) html += Badge("bad", "no channels");
  if (f.RateZero) html += Badge("bad", "sample rate 0");
  if (f.Incomplete) html += Badge("bad", "samples missing");
  if (f.NoFix) html += Badge("warn", "no GPS fix");
  if (html.empty()) html = Badge("ok", "OK");
  return html;
}

// ---- The plot of one event ---------------------------------------------------------------

constexpr int PlotWidth = 1040;
constexpr int LabelWidth = 150;
constexpr int InfoWidth = 150;
constexpr int TraceWidth = PlotWidth - LabelWidth - InfoWidth;
constexpr int RowHeight = 54;
constexpr int AxisHeight = 40;

// A step of 1, 2 or 5 times a power of ten that cuts `span` into at most `most` parts.
double NiceStep(double span, int most) {
  const double raw = span / most;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

void AppendTimeAxis(std::string& svg, const TReportEvent& e, double top) {
  const double x0 = LabelWidth;
  const double x1 = LabelWidth + TraceWidth;
  svg += "<line class=\"axis\" x1=\"" + Px(x0) + "\" y1=\"" + Px(top) + "\" x2=\"" + Px(x1) +
         "\" y2=\"" + Px(top) + "\"/>";
  if (e.SampleRate <= 0 || e.SamplesPerChannel <= 0) {
    svg += "<text class=\"tick\" x=\"" + Px(x0) + "\" y=\"" + Px(top + 16) +
           "\">no time axis: " + (e.SampleRate <= 0 ? "sample rate 0" : "no samples") +
           "</text>";
    return;
  }
  const double duration = static_cast<double>(e.SamplesPerChannel) / e.SampleRate;
  const double step = NiceStep(duration, 10);
  for (int k = 0; k * step <= duration * (1 + 1e-9); ++k) {
    const double t = k * step;
    const double x = x0 + t / duration * TraceWidth;
    svg += "<line class=\"axis\" x1=\"" + Px(x) + "\" y1=\"" + Px(top) + "\" x2=\"" + Px(x) +
           "\" y2=\"" + Px(top + 5) + "\"/>";
    const int decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : step >= 0.01 ? 2 : 3;
    svg += "<text class=\"tick\" text-anchor=\"middle\" x=\"" + Px(x) + "\" y=\"" + Px(top + 17) +
           "\">" + Fixed(t, decimals) + "</text>";
  }
  svg += "<text class=\"caption\" text-anchor=\"end\" x=\"" + Px(x1) + "\" y=\"" + Px(top + 34) +
         "\">seconds after " + UtcText(e.Start) + " UTC</text>";
}

void AppendTrace(std::string& svg, const TReportChannel& c, double top) {
  const double centre = top + RowHeight / 2.0;
  const double half = RowHeight / 2.0 - 5;
  const TChannelFigures& f = c.Figures;
  const std::vector<TEnvelopeBucket> columns = c.Envelope.Columns(TraceWidth);
  // Each trace is scaled to its own swing about its mean.
  const double swing = std::max(f.Maximum - f.Mean, f.Mean - f.Minimum);
  const auto y = [&](int32_t v) {
    return swing > 0 ? centre - (v - f.Mean) / swing * half : centre;
  };
  svg += "<line class=\"base\" x1=\"" + Px(LabelWidth) + "\" y1=\"" + Px(centre) + "\" x2=\"" +
         Px(LabelWidth + TraceWidth) + "\" y2=\"" + Px(centre) + "\"/>";
  if (c.Envelope.BucketCount() == 0) {
    svg += "<text class=\"tick\" x=\"" + Px(LabelWidth + 8) + "\" y=\"" + Px(centre - 4) +
           "\">no samples</text>";
  }
  // One closed path per run of filled columns: along the maxima, back along the minima, at
  // least a pixel thick.
  std::string path;
  const int count = static_cast<int>(columns.size());
  for (int start = 0; start < count;) {
    if (columns[static_cast<size_t>(start)].Empty()) {
      ++start;
      continue;
    }
    int end = start;
    while (end < count && !columns[static_cast<size_t>(end)].Empty()) ++end;
    std::vector<std::string> lowers;
    for (int i = start; i < end; ++i) {
      const TEnvelopeBucket& b = columns[static_cast<size_t>(i)];
      double upper = y(b.Max);
      double lower = y(b.Min);
      if (lower - upper < 1) {
        const double mid = (upper + lower) / 2;
        upper = mid - 0.5;
        lower = mid + 0.5;
      }
      const double x = LabelWidth + i + 0.5;
      path.append(i == start ? "M" : "L").append(Px(x)).append(" ").append(Px(upper));
      lowers.push_back(Px(x).append(" ").append(Px(lower)));
    }
    for (auto point = lowers.rbegin(); point != lowers.rend(); ++point) {
      path.append("L").append(*point);
    }
    path += "Z";
    start = end;
  }
  if (!path.empty()) {
    svg += std::string("<path class=\"") + (f.Dead ? "trace dead" : "trace") + "\" d=\"" + path +
           "\"/>";
  }
  // Saturated samples: a red mark over the column at the clipped side.
  for (int i = 0; i < count; ++i) {
    const TEnvelopeBucket& b = columns[static_cast<size_t>(i)];
    if (!b.Saturated()) continue;
    const double x = LabelWidth + i;
    if (b.Max == SampleMaximum) {
      svg += "<rect class=\"sat\" x=\"" + Px(x) + "\" y=\"" + Px(top + 1) +
             "\" width=\"1.5\" height=\"4\"/>";
    }
    if (b.Min == SampleMinimum) {
      svg += "<rect class=\"sat\" x=\"" + Px(x) + "\" y=\"" + Px(top + RowHeight - 5) +
             "\" width=\"1.5\" height=\"4\"/>";
    }
  }
}

std::string EventPlot(const TReportEvent& e) {
  const int rows = static_cast<int>(e.Channels.size());
  const int height = rows * RowHeight + AxisHeight;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(PlotWidth) + "\" height=\"" + std::to_string(height) +
                    "\" viewBox=\"0 0 " + std::to_string(PlotWidth) + " " +
                    std::to_string(height) + "\" role=\"img\">";
  for (int r = 0; r < rows; ++r) {
    const TReportChannel& c = e.Channels[static_cast<size_t>(r)];
    const double top = r * RowHeight;
    const double centre = top + RowHeight / 2.0;
    if (r % 2 == 1) {
      svg += "<rect class=\"stripe\" x=\"0\" y=\"" + Px(top) + "\" width=\"" +
             std::to_string(PlotWidth) + "\" height=\"" + std::to_string(RowHeight) + "\"/>";
    }
    AppendTrace(svg, c, top);
    svg += "<text class=\"ch\" x=\"8\" y=\"" + Px(centre - 3) + "\">" +
           HtmlEscape(ChannelLabel(c.Number)) + "</text>";
    const std::string flag =
        c.Figures.Saturated > 0
            ? "<tspan class=\"flagbad\">SATURATED \xC3\x97" + Grouped(c.Figures.Saturated) + "</tspan>"
        : c.Figures.Dead        ? "<tspan class=\"flagwarn\">DEAD</tspan>"
                                : "";
    svg += "<text class=\"ch\" x=\"44\" y=\"" + Px(centre - 3) + "\">" + flag + "</text>";
    svg += "<text class=\"id\" x=\"8\" y=\"" + Px(centre + 13) + "\">" + HtmlEscape(c.Id) +
           "</text>";
    const double infoX = LabelWidth + TraceWidth + 12;
    const TChannelFigures& f = c.Figures;
    svg += "<text class=\"info\" x=\"" + Px(infoX) + "\" y=\"" + Px(centre - 3) + "\">peak " +
           (f.Count > 0 ? Grouped(f.Peak()) : "-") + "</text>";
    svg += "<text class=\"info\" x=\"" + Px(infoX) + "\" y=\"" + Px(centre + 13) + "\">RMS " +
           (f.Count > 0 ? GroupDigits(Fixed(f.Rms, 1)) : "-") + "</text>";
  }
  AppendTimeAxis(svg, e, rows * RowHeight + 2);
  return svg + "</svg>";
}

const char* const Style = R"(
body{margin:0;padding:24px 32px;background:#f4f5f7;color:#1d2330;font:14px/1.45 "DejaVu Sans","Segoe UI",Helvetica,Arial,sans-serif}
main{max-width:1100px;margin:0 auto}
h1{font-size:22px;margin:0 0 16px}
h2{font-size:17px;margin:0 0 4px}
.card,.event{background:#fff;border:1px solid #d9dce3;border-radius:6px;padding:16px 20px;margin-bottom:20px}
dl.summary{display:grid;grid-template-columns:repeat(5,auto);gap:4px 28px;margin:0}
dl.summary dt{font-size:12px;color:#5b6375;text-transform:uppercase;letter-spacing:.04em}
dl.summary dd{margin:0;font-size:16px;font-weight:600}
table{border-collapse:collapse;width:100%;font-size:13px}
th{text-align:left;font-weight:600;color:#5b6375;border-bottom:2px solid #d9dce3;padding:6px 8px;white-space:nowrap}
td{border-bottom:1px solid #eceef2;padding:6px 8px;vertical-align:top}
td.num{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}
td.pos{white-space:nowrap}
td a{color:#1f4e79;text-decoration:none;font-weight:600}
.meta{color:#5b6375;margin:0 0 10px;font-size:13px}
.badge{display:inline-block;border-radius:10px;padding:1px 8px;margin:0 4px 2px 0;font-size:12px;font-weight:600;white-space:nowrap}
.badge.ok{background:#e3f4e8;color:#1e7a3c}
.badge.warn{background:#fff1d6;color:#8a5a00}
.badge.bad{background:#fde4e4;color:#b42318}
svg{display:block;margin-top:8px}
svg text{font-family:"DejaVu Sans","Segoe UI",Helvetica,Arial,sans-serif}
svg .stripe{fill:#f7f8fa}
svg .base{stroke:#d4d8e0;stroke-width:1}
svg .axis{stroke:#8a93a6;stroke-width:1}
svg .trace{fill:#1f4e79;stroke:#1f4e79;stroke-width:.5;stroke-linejoin:round}
svg .trace.dead{fill:#9aa1ad;stroke:#9aa1ad}
svg .sat{fill:#d62728}
svg .ch{font-size:13px;font-weight:700;fill:#1d2330}
svg .id{font-size:11px;fill:#5b6375;font-family:"DejaVu Sans Mono",Menlo,Consolas,monospace}
svg .info{font-size:11px;fill:#3a4252;font-variant-numeric:tabular-nums}
svg .tick{font-size:11px;fill:#5b6375}
svg .caption{font-size:11px;fill:#5b6375}
svg .flagbad{fill:#b42318;font-size:10px}
svg .flagwarn{fill:#8a5a00;font-size:10px}
footer{color:#8a93a6;font-size:12px;text-align:center}
)";

std::string OptionalNumber(const std::optional<int64_t>& value) {
  return value ? Grouped(*value) : "\xE2\x80\x93";
}

}  // namespace

std::string ChannelLabel(int number) {
  return std::to_string(number) + " " + ChannelPlaceOf(number).Letter;
}

std::string HtmlEscape(std::string_view text) {
  const std::string valid = ValidUtf8(text);
  std::string out;
  out.reserve(valid.size());
  for (const char c : valid) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    }
  }
  return out;
}

nlohmann::ordered_json ReportJson(const TQualityReport& report) {
  nlohmann::ordered_json events = nlohmann::ordered_json::array();
  for (const TReportEvent& e : report.Events) {
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (const TReportChannel& c : e.Channels) {
      const TChannelFigures& f = c.Figures;
      const auto figure = [&](auto value) {
        return f.Count > 0 ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
      };
      channels.push_back({{"number", c.Number},
                          {"id", ValidUtf8(c.Id)},
                          {"min", figure(f.Minimum)},
                          {"max", figure(f.Maximum)},
                          {"mean", figure(f.Mean)},
                          {"rms", figure(f.Rms)},
                          {"saturated", f.Saturated}});
    }
    nlohmann::ordered_json position = nullptr;
    if (e.Position) {
      position = {{"latitude", e.Position->Latitude},
                  {"longitude", e.Position->Longitude},
                  {"altitude", e.Position->Altitude}};
    }
    events.push_back({{"index", e.Index},
                      {"file", ValidUtf8(e.File)},
                      {"station", e.Station ? nlohmann::ordered_json(*e.Station) : nlohmann::ordered_json(nullptr)},
                      {"start", UtcText(e.Start)},
                      {"sample_rate", e.SampleRate},
                      {"samples_per_channel", e.SamplesPerChannel},
                      {"gain", e.Gain},
                      {"clipped_percent", e.ClippedPercent},
                      {"position", position},
                      {"gps_fix", e.GpsFix},
                      {"satellites", e.Satellites ? nlohmann::ordered_json(*e.Satellites)
                                                  : nlohmann::ordered_json(nullptr)},
                      {"channels", channels}});
  }
  return {{"card", StatusJson(report.Card)}, {"events", events}};
}

namespace {

std::string HtmlHead(const std::string& title) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>" +
      title + "</title>\n<style>";
  html += Style;
  html += "</style>\n</head>\n<body>\n<main>\n<h1>" + title + "</h1>\n";
  return html;
}

// The card's summary, its table of events and a section per event. Anchors start with
// `anchor` ("event-" for a report of one card), so the cards of one page keep theirs apart.
std::string CardHtml(const TQualityReport& report, const std::string& anchor) {
  const TCardFacts& card = report.Card;
  std::string html;
  html += "<section class=\"card\">\n<dl class=\"summary\">";
  html += "<dt>Status</dt><dt>Events</dt><dt>Used size</dt><dt>Total size</dt><dt>Eprom version</dt>";
  html += "<dd>" + Badge(card.Events ? "ok" : "bad", HtmlEscape(card.Status)) + "</dd>";
  html += "<dd>" + OptionalNumber(card.Events) + "</dd>";
  html += "<dd>" + (card.UsedBytes ? Grouped(*card.UsedBytes) + " bytes" : "\xE2\x80\x93") + "</dd>";
  html += "<dd>" + (card.TotalBytes ? Grouped(*card.TotalBytes) + " bytes" : "\xE2\x80\x93") + "</dd>";
  html += "<dd>" + (card.EpromVersion ? std::to_string(*card.EpromVersion) : "\xE2\x80\x93") + "</dd>";
  html += "</dl>\n</section>\n";

  if (!report.Events.empty()) {
    html += "<section class=\"card\">\n<table>\n<tr><th>#</th><th>File</th><th>Station</th>"
            "<th>Start (UTC)</th><th>Rate</th><th>Duration</th><th>Gain</th><th>Clipped</th>"
            "<th>Ch.</th><th>Position</th><th>Flags</th></tr>\n";
    for (const TReportEvent& e : report.Events) {
      const std::string id = anchor + std::to_string(e.Index);
      html += "<tr><td class=\"num\">" + std::to_string(e.Index) + "</td><td><a href=\"#" + id +
              "\">" + HtmlEscape(e.File) + "</a></td><td class=\"num\">" +
              (e.Station ? std::to_string(*e.Station) : "\xE2\x80\x93") +
              "</td><td class=\"num\">" + UtcText(e.Start) + "</td><td class=\"num\">" +
              std::to_string(e.SampleRate) + " Hz</td><td class=\"num\">" +
              DurationText(e.SamplesPerChannel, e.SampleRate) + "</td><td class=\"num\">" +
              std::to_string(e.Gain) + "</td><td class=\"num\">" + Fixed(e.ClippedPercent, 2) +
              " %</td><td class=\"num\">" + std::to_string(e.Channels.size()) +
              "</td><td class=\"pos\">" +
              (e.Position ? PositionText(*e.Position, "<br>") : "no GPS") + "</td><td>" +
              FlagBadges(FlagsOf(e)) + "</td></tr>\n";
    }
    html += "</table>\n</section>\n";
  }

  for (const TReportEvent& e : report.Events) {
    html += "<section class=\"event\" id=\"" + anchor + std::to_string(e.Index) +
            "\">\n<h2>Event " + std::to_string(e.Index) + " \xC2\xB7 " + HtmlEscape(e.File) +
            "</h2>\n";
    html += "<p class=\"meta\">Station " +
            (e.Station ? std::to_string(*e.Station) : std::string("unknown")) +
            " \xC2\xB7 start " + UtcText(e.Start) + " UTC \xC2\xB7 " +
            std::to_string(e.SampleRate) + " Hz \xC2\xB7 " + Grouped(e.SamplesPerChannel) +
            " samples per channel (" + DurationText(e.SamplesPerChannel, e.SampleRate) +
            ") \xC2\xB7 gain " + std::to_string(e.Gain) + " \xC2\xB7 clipped " +
            Fixed(e.ClippedPercent, 2) + " % \xC2\xB7 " +
            (e.Position ? "position " + PositionText(*e.Position) : std::string("no GPS position")) +
            (e.Satellites ? " \xC2\xB7 " + std::to_string(*e.Satellites) +
                                (*e.Satellites == 1 ? " satellite" : " satellites")
                          : std::string()) +
            (e.GpsFix ? " \xC2\xB7 time from a GPS fix" : " \xC2\xB7 time without a GPS fix") +
            "</p>\n";
    html += FlagBadges(FlagsOf(e)) + "\n";
    if (!e.Channels.empty()) html += EventPlot(e) + "\n";
    html += "</section>\n";
  }
  return html;
}

const char* const HtmlFoot =
    "<footer>ReadTarq " READTARQ_VERSION_TEXT "</footer>\n</main>\n</body>\n</html>\n";

}  // namespace

std::string ReportHtml(const TQualityReport& report) {
  return HtmlHead("Card quality report") + CardHtml(report, "event-") + HtmlFoot;
}

nlohmann::ordered_json ReportJson(const std::vector<TQualityReport>& cards) {
  if (cards.size() == 1) return ReportJson(cards.front());
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TQualityReport& card : cards) {
    nlohmann::ordered_json one = ReportJson(card);
    list.push_back({{"source", ValidUtf8(card.Source)},
                    {"card", std::move(one["card"])},
                    {"events", std::move(one["events"])}});
  }
  return {{"cards", list}};
}

std::string ReportHtml(const std::vector<TQualityReport>& cards) {
  if (cards.size() == 1) return ReportHtml(cards.front());
  std::string html = HtmlHead("Quality report of " + std::to_string(cards.size()) + " cards");
  for (size_t k = 0; k < cards.size(); ++k) {
    const std::string number = std::to_string(k + 1);
    html += "<h2 id=\"card-" + number + "\">Card " + number + " \xC2\xB7 " +
            HtmlEscape(cards[k].Source) + "</h2>\n";
    html += CardHtml(cards[k], "card-" + number + "-event-");
  }
  return html + HtmlFoot;
}

TReportFiles WriteReportFiles(const std::string& directory, const std::string& json,
                              const std::string& html) {
  std::string dir = directory;
  if (dir.empty() || dir.back() != platform::PathDelim) dir += platform::PathDelim;
  for (int letter = 0; letter <= 26; ++letter) {
    const std::string stem =
        letter == 0 ? "report" : std::string("report_") + static_cast<char>('a' + letter - 1);
    const TReportFiles files{dir + stem + ".json", dir + stem + ".html"};
    // Both names of a pair must be free: a report_a.html alone makes report_a.json unusable.
    if (platform::PathExists(files.JsonPath) || platform::PathExists(files.HtmlPath)) continue;
    // Each written whole and flushed: a file under either name is a complete report.
    bool jsonWritten = false;
    int code = 0;
    try {
      code = platform::WriteNewFile(files.JsonPath, json);
      if (code == 0) {
        jsonWritten = true;
        code = platform::WriteNewFile(files.HtmlPath, html);
        if (code != 0) platform::TRecordFile::EraseQuietly(files.JsonPath);
      }
    } catch (const platform::EInOutError& error) {  // a failing close too: the report is lost
      if (jsonWritten) platform::TRecordFile::EraseQuietly(files.JsonPath);
      const std::string& path = jsonWritten ? files.HtmlPath : files.JsonPath;
      throw platform::EFileError(error.Code(), path, "Cannot write file " + path);
    }
    if (code == platform::TRecordFile::NameTaken) continue;  // taken a moment ago
    if (code != 0) {
      const std::string& path = jsonWritten ? files.HtmlPath : files.JsonPath;
      throw platform::EFileError(code, path, "Cannot create file " + path);
    }
    return files;
  }
  throw platform::EFileError(
      platform::IoCodeFromErrno(EEXIST), directory,
      "Cannot write the report: the names report.json to report_z.html are all taken in " +
          directory);
}

TReportFiles WriteQualityReport(const std::string& directory, const TQualityReport& report) {
  return WriteReportFiles(directory, JsonText(ReportJson(report)) + "\n", ReportHtml(report));
}

TReportFiles WriteQualityReport(const std::string& directory,
                                const std::vector<TQualityReport>& cards) {
  return WriteReportFiles(directory, JsonText(ReportJson(cards)) + "\n", ReportHtml(cards));
}
