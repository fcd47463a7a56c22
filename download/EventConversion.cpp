#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "base/DateTime.h"
#include "base/Messages.h"
#include "base/PathNames.h"
#include "base/TextFields.h"
#include "card/CardLayout.h"
#include "download/DownloadRun.h"
#include "platform/FileSystem.h"

using WUtil::Chars;

namespace {

// What the run converts: 1 to MaxChannels channels and no negative sample count. Any other
// event is refused before its frames are read.
bool ChannelCountConvertible(const TEventHeader& e) {
  return e.ChannelCount >= 1 && e.ChannelCount <= MaxChannels;
}
bool Convertible(const TEventHeader& e) {
  return ChannelCountConvertible(e) && e.SamplesPerChannel >= 0;
}

}  // namespace

std::string TDownloadRun::OutputPath(const std::string& name) const {
  std::string dir = WUtil::WithTrailingBackslash(Snapshot.DataDir);
  if (dir.back() != platform::PathDelim) dir += platform::PathDelim;
  return dir + name;
}

bool TDownloadRun::AnyNameTaken(const std::string& baseName) const {
  for (const auto& writer : Writers) {
    for (const std::string& name : writer->Names(baseName, Event().ChannelCount)) {
      if (platform::PathExists(OutputPath(name))) return true;
    }
  }
  return false;
}

void TDownloadRun::ShowError(const std::string& text) {
  if (Host) {
    Host->ShowError(text);
  } else {
    Messages().Error(text);
  }
}

void TDownloadRun::MakeWriters() {
  Writers.clear();
  for (const TOutputKind* kind : Snapshot.Kinds) Writers.push_back(kind->NewWriter(Writer));
  // Kinds that make the same bytes of the frames make them once: the led ones take no frames.
  std::vector<bool> led(Writers.size(), false);
  for (size_t k = 0; k < Writers.size(); ++k) {
    for (size_t j = k + 1; j < Writers.size() && !led[k]; ++j) {
      if (!led[j] && Writers[k]->Lead(*Writers[j])) led[j] = true;
    }
  }

  // The writers that decode the frames, shared between two threads by their weight when more
  // than one does: text formatting on one core while the other converts the rest.
  Here.clear();
  OnLane.clear();
  std::vector<std::pair<TEventWriter*, int>> decoding;  // with their kind's weight
  for (size_t k = 0; k < Writers.size(); ++k) {
    if (Snapshot.Kinds[k]->Weight > 0 && !led[k])
      decoding.emplace_back(Writers[k].get(), Snapshot.Kinds[k]->Weight);
  }
  std::stable_sort(decoding.begin(), decoding.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  int hereWeight = 0;
  int laneWeight = 0;
  for (const auto& [writer, weight] : decoding) {
    if (decoding.size() > 1 && laneWeight < hereWeight) {
      OnLane.push_back(writer);
      laneWeight += weight;
    } else {
      Here.push_back(writer);
      hereWeight += weight;
    }
  }
}

TEventSetup TDownloadRun::EventSetup() const {
  TEventSetup setup{
      Event(),        Values,        Card.EpromVersion,    Snapshot.Comment,   Snapshot.Products,
      OutputPath(""), EventBaseName, Event().ChannelCount, Values.SensorCount, Signature,
      Staging.get()};
  return setup;
}

bool TDownloadRun::OpenEventFiles() {
  DiscardEventFiles();
  const TEventHeader& e = Event();
  Values = EventValuesOf(e, Card.EpromVersion, Card.ProbeDate);
  if (!ChannelCountConvertible(e)) {
    ShowError("Cannot convert " + e.OriginalFileName + ": it has " +
              std::to_string(e.ChannelCount) + " channels (1 to 18 can be converted)");
    return false;
  }
  if (e.SamplesPerChannel < 0) {
    ShowError("Cannot convert " + e.OriginalFileName + ": its header gives " +
              std::to_string(e.SamplesPerChannel) + " samples per channel");
    return false;
  }

  std::string yearText = WUtil::IntText(Values.Start.Year, 4);
  WUtil::ZeroFill(yearText);
  std::string stem =
      Chars(yearText, 3, 4) + Chars(e.FileStem, 1, 4) + "_" + Chars(e.FileStem, 5, 8);
  if (Snapshot.SerialNr) {
    stem += "_" + Values.SerialText;
    if (stem.size() > 15) stem.resize(15);
  }
  const std::string ext = Chars(e.OriginalFileName, 9, 12);

  EventBaseName.clear();
  std::string first;
  std::string candidate;
  bool refusalsShown = false;
  for (int letter = 0; letter <= 26; ++letter) {
    candidate = SafeFileNamePart(
        letter == 0 ? stem + ext : stem + "_" + static_cast<char>('a' + letter - 1) + ext);
    if (letter == 0) first = candidate;
    if (AnyNameTaken(candidate)) continue;
    EventBaseName = candidate;
    // Asked again for every name tried (abandoning a name drops what the kinds prepared for
    // the event); each reason is shown once.
    const TEventSetup setup = EventSetup();
    std::vector<std::string> reasons;
    size_t refusing = 0;
    for (const auto& writer : Writers) {
      const std::string reason = writer->Refusal(setup);
      if (reason.empty()) continue;
      ++refusing;
      if (std::find(reasons.begin(), reasons.end(), reason) != reasons.end()) continue;
      reasons.push_back(reason);
      if (!refusalsShown) {
        ShowError("Cannot write " + e.OriginalFileName + " as miniSEED: " + reason);
      }
    }
    refusalsShown = true;
    PartlyRefused = refusing > 0;
    if (PartlyRefused && refusing == Writers.size()) return false;
    if (CreateEventFiles()) return true;
    EventBaseName.clear();
  }
  // Replacing the files of an earlier download would lose data the user may still need.
  ShowError("Cannot convert " + e.OriginalFileName + ": the names " + first + " to " + candidate +
            " are all taken in " + Snapshot.DataDir);
  return false;
}

bool TDownloadRun::CreateEventFiles() {
  const TEventSetup setup = EventSetup();
  for (const auto& writer : Writers) {
    const std::string failed = writer->Create(setup);
    if (failed.empty()) continue;
    if (!writer->NameTaken()) throw ECreateFailed(writer->CreateErrorCode(), failed);
    // A name was taken between the check and the creation (another program writing there):
    // the files made for this name go, and the event moves to the next one.
    DiscardEventFiles();
    return false;
  }
  return true;
}

std::vector<std::string> TDownloadRun::OutputNames() const {
  std::vector<std::string> names;
  for (const auto& writer : Writers) {
    const std::vector<std::string>& created = writer->CreatedNames();
    names.insert(names.end(), created.begin(), created.end());
  }
  return names;
}

void TDownloadRun::FlushPending() {
  for (const auto& writer : Writers) writer->Flush();
}

void TDownloadRun::WriteFrames(const uint8_t* frames, int64_t count) {
  if (OnLane.empty()) {
    for (TEventWriter* writer : Here) writer->WriteFrames(frames, count);
    return;
  }
  Lane.Start([this, frames, count] {
    for (TEventWriter* writer : OnLane) writer->WriteFrames(frames, count);
  });
  // The lane reads the frames too: it is waited for before anything else touches them.
  std::exception_ptr error;
  try {
    for (TEventWriter* writer : Here) writer->WriteFrames(frames, count);
  } catch (...) {
    error = std::current_exception();
  }
  Lane.Wait();
  if (error) std::rethrow_exception(error);
}

void TDownloadRun::PadOutputs(int64_t firstMissingFrame) {
  const int64_t total = Event().SamplesPerChannel;
  int64_t missing = total - firstMissingFrame + 1;
  if (missing <= 0) return;
  FlushPending();
  DrainWriters();
  // A corrupt header may promise far more frames than the card holds: a stop ends the
  // padding too (the files are then deleted).
  while (missing > 0 && !StopRequested.load(std::memory_order_relaxed)) {
    const int64_t n = std::min(missing, TEventWriter::PadChunkFrames);
    for (const auto& writer : Writers) writer->Pad(n);
    missing -= n;
  }
}

bool TDownloadRun::CloseEventFiles() {
  const bool deleting = StopRequested.load();
  if (deleting) {
    for (const auto& writer : Writers) writer->Release();
    AbandonWriters();
  } else {
    for (const auto& writer : Writers) writer->EndEvent();
    FlushPending();
    DrainWriters();
  }
  for (const auto& writer : Writers) writer->Close(deleting);
  return !deleting;
}

void TDownloadRun::DrainWriters() {
  Writer.Drain();
  for (const auto& writer : Writers) writer->Drain();
}

void TDownloadRun::AbandonWriters() {
  Writer.Abandon();
  for (const auto& writer : Writers) writer->Abandon();
}

void TDownloadRun::DiscardEventFiles() {
  for (const auto& writer : Writers) writer->Release();
  AbandonWriters();
  for (const auto& writer : Writers) writer->Discard();
}

void TDownloadRun::ConvertEvent() {
  // The files and buffers are those OpenEventFiles made for this event: its values derived,
  // its channel count in range.
  const TEventHeader& e = Event();
  ReadAheadFrom(*Entry);
  const TEventSetup setup = EventSetup();
  for (const auto& writer : Writers) writer->WriteHeader(setup);

  // What the ledger keeps of the event's bytes on the card, hashed as they go by.
  std::optional<TEventContentHash> cardHash;
  if (Snapshot.Recorder) cardHash.emplace(e);
  const int64_t frames = std::max<int32_t>(e.SamplesPerChannel, 0);
  const bool whole = ConvertFrames(frames, cardHash ? &*cardHash : nullptr);

  if (whole) {
    // The trailer, read after the frames as the pass behind them.
    CardAhead.EndPass();
    platform::TReadResult read;
    if (TOutputWriter::TBufferPtr block = CardAhead.Take(read)) {
      if (read.Records == TrailerRecords) {
        const auto* trailer = reinterpret_cast<const uint8_t*>(block->Bytes.data());
        for (const auto& writer : Writers) writer->WriteTrailer(trailer);
      }
      Writer.Release(std::move(block));
    }
    CardAhead.EndPass();
    ReadingAhead.pop_front();
  } else {
    // A stop, or a read cut short: nothing more is read ahead.
    CancelReadAhead();
  }
  SamplesDownloaded += frames;
  EventCardSha256 = cardHash ? cardHash->FinalHex() : std::string();
}

int64_t TDownloadRun::BlockFramesOf(const TEventEntry& entry) const {
  const int64_t frameBytes = 3 * static_cast<int64_t>(entry.Header.ChannelCount);
  // The decoding reads each sample with the byte after it: one byte of the buffer stays free.
  const int64_t blockBytes =
      std::min<int64_t>(ReadBlockBytes, static_cast<int64_t>(TOutputWriter::BufferBytes) - 1);
  return std::max<int64_t>(1, blockBytes / frameBytes);
}

void TDownloadRun::QueueEventReads(const TEventEntry& entry) {
  const int64_t channels = entry.Header.ChannelCount;
  const int64_t frames = std::max<int32_t>(entry.Header.SamplesPerChannel, 0);
  CardAhead.Queue(
      [this, &entry, channels](char* bytes, int64_t first, int64_t count) {
        // A card that cannot be positioned at the event's frames ends the run with the error.
        if (first == 0) Card.PositionAtFrames(entry);
        return Card.ReadOpenEventFrames(entry, first / channels, count / channels,
                                        reinterpret_cast<uint8_t*>(bytes));
      },
      frames * channels, BlockFramesOf(entry) * channels);
  CardAhead.Queue(
      [this, &entry](char* bytes, int64_t, int64_t count) {
        return Card.ReadEventTrailer(entry, reinterpret_cast<uint8_t*>(bytes))
                   ? platform::TReadResult{count, 0}
                   : platform::TReadResult{0, platform::IoDataError};
      },
      TrailerRecords, TrailerRecords);
  ReadingAhead.push_back(&entry);
}

const TEventEntry* TDownloadRun::NextToRead(const TEventEntry& entry) const {
  for (const TEventEntry* next = &entry + 1; next < Entries.data() + Entries.size(); ++next) {
    if (!IsSelected(*next)) continue;
    // One the run refuses before reading it is not read ahead.
    return Convertible(next->Header) ? next : nullptr;
  }
  return nullptr;
}

void TDownloadRun::ReadAheadFrom(const TEventEntry& entry) {
  // The reads queued are this event's unless a read ended them, or the event before was not
  // converted to its end.
  if (ReadingAhead.empty() || ReadingAhead.front() != &entry || CardAhead.Ended()) {
    CancelReadAhead();
    QueueEventReads(entry);
  }
  if (ReadingAhead.size() == 1) {
    if (const TEventEntry* next = NextToRead(entry)) QueueEventReads(*next);
  }
}

void TDownloadRun::CancelReadAhead() {
  CardAhead.Cancel();
  ReadingAhead.clear();
}

int64_t TDownloadRun::TakeFrames(int64_t count, int64_t& k, int64_t& nextProgress, bool& stopped) {
  int64_t done = 0;
  while (done < count && !stopped) {
    const int64_t run = std::min(count - done, nextProgress - k);
    int64_t taken = 0;
    while (taken < run) {
      ++taken;
      if (StopRequested.load(std::memory_order_relaxed)) {
        stopped = true;
        break;
      }
    }
    done += taken;
    k += taken;
    if (k == nextProgress) {
      SetProgressFor(SamplesDownloaded + k);
      nextProgress += 100;
    }
  }
  return done;
}

bool TDownloadRun::ConvertFrames(int64_t frames, TEventContentHash* cardHash) {
  const int64_t frameRecords = Event().ChannelCount;
  const int64_t blockFrames = BlockFramesOf(*Entry);
  const bool decode = !Here.empty() || !OnLane.empty();

  int64_t k = 0;
  int64_t nextProgress = 100;
  bool stopped = false;
  bool cutShort = false;
  // The card is read in blocks of whole frames, ahead on a thread of its own (ReadAheadFrom),
  // so that a slow card delivers the next blocks, and those of the next event, while this one
  // is converted; each frame is still handled on its own: progress every 100 frames, the stop
  // after the frame in hand, padding from the frame where the card could not be read. The
  // pass counts records: a block read short ends it, and nothing is read after the frame
  // that failed.
  // Whatever ends the event abruptly (a write error, a card that cannot be positioned), the
  // card is the run's again before anything else reads it, and the blocks read ahead go back
  // to the pool.
  struct TCardBack {
    TDownloadRun& Run;
    ~TCardBack() {
      if (std::uncaught_exceptions() > 0) Run.CancelReadAhead();
    }
  } cardBack{*this};

  while (k < frames && !stopped && !cutShort) {
    platform::TReadResult read;
    TOutputWriter::TBufferPtr block = CardAhead.Take(read);
    if (!block) {
      // Never: the pass ends with the block that came short. Should it, the outputs are
      // padded as after a read error rather than closed short of their header.
      cutShort = true;
      PadOutputs(k + 1);
      break;
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block->Bytes.data());
    const int64_t wanted = std::min(blockFrames, frames - k);
    const int64_t recordsRead = std::min(read.Records, wanted * frameRecords);
    const int64_t whole = recordsRead / frameRecords;
    const int64_t blockStart = k;
    // The frames of the block up to the stop go to the writers in one pass per writer.
    const int64_t done = TakeFrames(whole, k, nextProgress, stopped);
    if (decode && done > 0) WriteFrames(bytes, done);
    // Frame k + 1 could not be read whole (an input/output error, or a data file that ends
    // inside the event): the binary file keeps the whole samples read of it, the other
    // outputs are padded with zeros.
    cutShort = !stopped && k - blockStart < std::min(blockFrames, frames - blockStart);
    const int64_t blockRecords = cutShort ? recordsRead : done * frameRecords;
    if (cardHash) cardHash->AddSamples(bytes, static_cast<size_t>(blockRecords * 3));
    for (const auto& writer : Writers) {
      if (writer->TakeBlock(block, blockRecords)) break;
    }
    Writer.Release(std::move(block));
    // The events before, once their files are on the medium, are reported saved.
    FinishSavesDone();
    if (cutShort) PadOutputs(k + 1);
  }
  CutShort = cutShort;
  return !stopped && !cutShort;
}
