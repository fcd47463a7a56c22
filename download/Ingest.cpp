#include "download/Ingest.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>
#include <optional>
#include <string_view>

#include "card/CardLayout.h"
#include "download/DownloadHost.h"
#include "download/DownloadRun.h"
#include "download/DownloadSnapshot.h"
#include "event/EventValues.h"
#include "seed/SeedTime.h"
#include "seed/StationInventory.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string CodesText(const seed::TChannelCodes& codes) {
  return codes.Network + "." + codes.Station + "." + codes.Location + "." + codes.Channel;
}

// The run of one card as the ingest sees it: what each saved event put into the archive.
class TIngestHost : public TDownloadHost {
 public:
  TIngestHost(TCardIngest& result, size_t index, TIngestProgress& progress, std::mutex& tell,
              int recordLength, const std::atomic<bool>* stop)
      : Result(result),
        Index(index),
        Progress(progress),
        Tell(tell),
        RecordLength(recordLength),
        Stop(stop) {}

  void Deselect(const TConvertedEvent& event) override {
    SavedLines.insert(event.Line);
    if (!event.Filing) return;
    const seed::TSdsInsertResult& filing = *event.Filing;
    if (filing.RecordsWritten > 0) {
      ++Result.Ingested;
    } else {
      ++Result.Skipped;
    }
    Result.Bytes += int64_t{filing.RecordsWritten} * RecordLength;
    for (const seed::TSdsFiledChannel& channel : filing.Channels) {
      if (!channel.Wrote) continue;  // its records were there already
      Channels.insert(CodesText(channel.Codes));
      DayFiles.insert(channel.DayFile);
    }
    for (const seed::TSdsOverlap& overlap : filing.Overlaps) {
      Result.Overlaps.push_back(
          {CodesText(overlap.Codes), overlap.Start, overlap.Seconds, event.OriginalFileName,
           Result.Card});
    }
  }
  void ShowFileName(const std::string& name) override { Current = name; }
  void SetProgress(int percent) override {
    if (Stop && Stop->load() && Run) Run->RequestStop();
    std::lock_guard guard(Tell);
    Progress.CardProgress(Index, Current, percent);
  }
  void RunFinished(bool, int) override {}
  void ShowError(const std::string& text) override { Result.Messages.push_back(text); }
  void ShowWarning(const std::string& text) override { Result.Messages.push_back(text); }
  void RunFailed(const TRunFailure& failure) override {
    Result.Error = failure.File.empty() ? "the download failed" : "error on " + failure.File;
    if (!Result.Messages.empty()) Result.Error = Result.Messages.back();
  }
  void CloseFailed(const platform::ECloseError& error) override {
    Result.Messages.push_back(error.what());
  }

  std::set<int> SavedLines;
  std::set<std::string> Channels;
  std::set<std::string> DayFiles;
  TDownloadRun* Run = nullptr;  // the card's, while it runs

 private:
  TCardIngest& Result;
  size_t Index;
  TIngestProgress& Progress;
  std::mutex& Tell;
  std::string Current;
  int RecordLength;
  const std::atomic<bool>* Stop;
};

// The recorder of every card's run: one at a time.
class TLockedRecorder : public TSaveRecorder {
 public:
  explicit TLockedRecorder(TSaveRecorder& recorder) : Recorder(recorder) {}
  std::optional<std::string> RecordSavedEvent(const TSavedEvent& event) override {
    std::lock_guard guard(Lock);
    return Recorder.RecordSavedEvent(event);
  }

 private:
  TSaveRecorder& Recorder;
  std::mutex Lock;
};

// The station of an event as the archive names it (NET.STA), or its serial when it has no codes.
std::string StationOf(const TEventHeader& header, const TEventValues& values,
                      const TProductOptions& products) {
  try {
    const seed::TChannelCodes codes = seed::ChannelCodesFor(
        {products.Network, products.Sheet.get()}, header.StationSerial, header.SampleRate, 0);
    return codes.Network + "." + codes.Station;
  } catch (const std::exception&) {
    return values.SerialText;
  }
}

TEventSpan SpanOf(const TEventEntry& entry, const TProbeDate& probeDate, int32_t eprom,
                  const TProductOptions& products) {
  const TEventHeader& header = entry.Header;
  const TEventValues values = EventValuesOf(header, eprom, probeDate);
  TEventSpan span;
  span.Station = StationOf(header, values, products);
  span.Rate = header.SampleRate;
  const TUtcTime& start = values.Start;
  if (!start.IsValid() || header.SampleRate <= 0) return span;
  span.Start = start.EpochMicroseconds();
  span.End = span.Start + static_cast<int64_t>(std::llround(
                              static_cast<double>(std::max(header.SamplesPerChannel, 0)) /
                              header.SampleRate * 1e6));
  return span;
}

void IngestCard(TTarqCard& card, size_t index, const TIngestOptions& options,
                TSaveRecorder* recorder, TIngestProgress& progress, std::mutex& tell,
                TCardIngest& result, std::vector<TEventSpan>& spans) {
  const auto started = std::chrono::steady_clock::now();
  try {
    card.RestoreMode = false;
    card.ProbeCard();
    if (!card.CardValid) {
      result.Error = card_layout::NotValidCardText;
    } else {
      if (!card.NewCard) card.ScanEvents();
      const std::vector<TEventEntry> entries = card.Entries;
      result.Events = static_cast<int>(entries.size());
      {
        std::lock_guard guard(tell);
        progress.CardStarted(index, result.Events);
      }
      TDownloadSnapshot snapshot;
      for (const TEventEntry& entry : entries) snapshot.Events.push_back(entry.Line - 1);
      snapshot.Kinds.push_back(&OutputKindNamed("sds"));
      for (const TOutputKind* kind : options.EventKinds) snapshot.Kinds.push_back(kind);
      snapshot.DataDir = options.EventDir.empty() ? options.Archive : options.EventDir;
      snapshot.SerialNr = options.SerialNr;
      snapshot.Products = options.Products;
      snapshot.Products.ArchiveRoot = options.Archive;
      snapshot.Recorder = recorder;
      TIngestHost host(result, index, progress, tell, options.Products.RecordLength,
                       options.Stop);
      if (!entries.empty() && !(options.Stop && options.Stop->load())) {
        TDownloadRun run(card);
        host.Run = &run;
        run.PrepareRun();
        run.DownloadEvents(snapshot, host);
      }

      for (const TEventEntry& entry : entries) {
        if (host.SavedLines.count(entry.Line - 1) == 0) {
          result.NotSaved.push_back(entry.Header.OriginalFileName);
        } else {
          spans.push_back(SpanOf(entry, card.ProbeDate, card.EpromVersion, options.Products));
        }
      }
      if (options.Stop && options.Stop->load() && !result.NotSaved.empty() &&
          result.Error.empty()) {
        result.Error = "stopped by the user";
      }
      result.Channels.assign(host.Channels.begin(), host.Channels.end());
      result.DayFiles.assign(host.DayFiles.begin(), host.DayFiles.end());
    }
  } catch (const std::exception& error) {
    result.Error = error.what();
  }
  result.Seconds = SecondsSince(started);
  std::lock_guard guard(tell);
  progress.CardFinished(index, result);
}

}  // namespace

bool TIngestSummary::AllSaved() const {
  return std::all_of(Cards.begin(), Cards.end(), [](const TCardIngest& c) { return c.Saved(); });
}

TIngestTotals TIngestSummary::Totals() const {
  TIngestTotals totals;
  std::set<std::string> channels, dayFiles;
  for (const TCardIngest& card : Cards) {
    totals.Events += card.Events;
    totals.Ingested += card.Ingested;
    totals.Skipped += card.Skipped;
    totals.NotSaved += card.NotSaved.size();
    totals.Overlaps += card.Overlaps.size();
    totals.Bytes += card.Bytes;
    channels.insert(card.Channels.begin(), card.Channels.end());
    dayFiles.insert(card.DayFiles.begin(), card.DayFiles.end());
  }
  totals.Channels = channels.size();
  totals.DayFiles = dayFiles.size();
  return totals;
}

std::vector<TIngestGap> GapsBetween(std::vector<TEventSpan> spans) {
  std::erase_if(spans, [](const TEventSpan& s) { return s.Rate <= 0 || s.End <= s.Start; });
  std::sort(spans.begin(), spans.end(), [](const TEventSpan& a, const TEventSpan& b) {
    return std::tie(a.Station, a.Start, a.End) < std::tie(b.Station, b.Start, b.End);
  });
  std::vector<TIngestGap> gaps;
  for (size_t i = 0; i < spans.size();) {
    // The data of one station so far ends at `end`: the next event starting later than 1.5
    // sample periods after it leaves a gap.
    int64_t end = spans[i].End;
    size_t j = i + 1;
    for (; j < spans.size() && spans[j].Station == spans[i].Station; ++j) {
      const double tolerance = 1.5e6 / spans[j].Rate;
      if (static_cast<double>(spans[j].Start - end) > tolerance) {
        gaps.push_back({spans[i].Station, end, static_cast<double>(spans[j].Start - end) / 1e6});
      }
      end = std::max(end, spans[j].End);
    }
    i = j;
  }
  return gaps;
}

TIngestSummary IngestCards(const std::vector<TTarqCard*>& cards,
                           const std::vector<std::string>& names, const TIngestOptions& options,
                           TIngestProgress& progress) {
  const auto started = std::chrono::steady_clock::now();
  TIngestSummary summary;
  summary.Cards.resize(cards.size());
  std::vector<std::vector<TEventSpan>> spans(cards.size());
  for (size_t i = 0; i < cards.size(); ++i) summary.Cards[i].Card = names[i];
  std::optional<TLockedRecorder> recorder;
  if (options.Recorder) recorder.emplace(*options.Recorder);
  std::mutex tell;
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < cards.size(); i = next++) {
      IngestCard(*cards[i], i, options, recorder ? &*recorder : nullptr, progress, tell,
                 summary.Cards[i], spans[i]);
    }
  };
  const size_t jobs = std::clamp<size_t>(static_cast<size_t>(std::max(options.Jobs, 1)), 1,
                                         std::max<size_t>(cards.size(), 1));
  std::vector<std::thread> workers;
  for (size_t j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  std::vector<TEventSpan> all;
  for (auto& card : spans) all.insert(all.end(), card.begin(), card.end());
  summary.Gaps = GapsBetween(std::move(all));
  summary.Seconds = SecondsSince(started);
  return summary;
}

std::string IngestTimeText(int64_t microseconds) {
  if (microseconds < 0) return "?";
  return seed::TSeedTime::FromEpochMicroseconds(microseconds).IsoText();
}

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return error == std::errc() ? std::string(text, end) : "?";
}

std::string Plural(int64_t n, const std::string& word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void CardLines(const TCardIngest& card, std::string& text) {
  text += card.Card + ": " + Plural(card.Ingested, "event") + " ingested, " +
          std::to_string(card.Skipped) + " already in the archive";
  if (!card.NotSaved.empty()) text += ", " + std::to_string(card.NotSaved.size()) + " NOT SAVED";
  text += "; " + Plural(static_cast<int64_t>(card.Channels.size()), "channel") + ", " +
          Plural(static_cast<int64_t>(card.DayFiles.size()), "day file") + ", " +
          Fixed(static_cast<double>(card.Bytes) / 1e6, 1) + " MB, " +
          Plural(static_cast<int64_t>(card.Overlaps.size()), "overlap") + ", " +
          Fixed(card.Seconds, 1) + " s\n";
  if (!card.Error.empty()) text += "  stopped: " + card.Error + "\n";
  for (const std::string& name : card.NotSaved) text += "  not saved: " + name + "\n";
}

}  // namespace

std::string IngestText(const TIngestSummary& summary) {
  std::string text;
  for (const TCardIngest& card : summary.Cards) CardLines(card, text);
  const TIngestTotals total = summary.Totals();
  text += "Total: " + Plural(static_cast<int64_t>(summary.Cards.size()), "card") + ", " +
          Plural(total.Ingested, "event") + " ingested, " + std::to_string(total.Skipped) +
          " already in the archive, " + std::to_string(total.NotSaved) + " not saved; " +
          Plural(static_cast<int64_t>(total.Channels), "channel") + ", " +
          Plural(static_cast<int64_t>(total.DayFiles), "day file") + ", " +
          Fixed(static_cast<double>(total.Bytes) / 1e6, 1) + " MB, " +
          Plural(static_cast<int64_t>(total.Overlaps), "overlap") + ", " +
          Plural(static_cast<int64_t>(summary.Gaps.size()), "gap") + ", " +
          Fixed(summary.Seconds, 1) + " s\n";
  for (const TCardIngest& card : summary.Cards) {
    for (const TIngestOverlap& overlap : card.Overlaps) {
      text += "Overlap: " + overlap.Channel + " from " + IngestTimeText(overlap.Start) + ", " +
              Fixed(overlap.Seconds, 3) + " s (event " + overlap.Event + " of " + overlap.Card +
              "): both kept\n";
    }
  }
  if (!summary.Gaps.empty()) {
    text += "Gaps between events (normal for triggered recording):\n";
    for (const TIngestGap& gap : summary.Gaps) {
      text += "  station " + gap.Station + " from " + IngestTimeText(gap.Start) + ", " +
              Fixed(gap.Seconds, 3) + " s\n";
    }
  }
  return text;
}
