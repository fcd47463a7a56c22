#include <algorithm>
#include <cmath>
#include <cstdint>
#include <future>
#include <stdexcept>

#include "card/CardLayout.h"
#include "download/DownloadRun.h"
#include "download/LedgerSummaries.h"
#include "ledger/SavedEvents.h"
#include "platform/DurableFlush.h"
#include "platform/IoError.h"
#include "seed/StationXmlExport.h"

TDownloadRun::TDownloadRun(TTarqCard& card) : Card(card) {}

TDownloadRun::~TDownloadRun() {
  DiscardEventFiles();
}

int TDownloadRun::ProgressPercent(int64_t framesDone) const {
  if (SamplesToDownload <= 0) return 100;
  const long double percent =
      static_cast<long double>(framesDone) / static_cast<long double>(SamplesToDownload) * 100.0L;
  // Default rounding mode: halves go to the even neighbour (12.5 gives 12, 13.5 gives 14).
  const long double rounded = std::rint(percent);
  if (!(rounded > 0)) return 0;
  return rounded >= 100 ? 100 : static_cast<int>(rounded);
}

void TDownloadRun::SetProgressFor(int64_t framesDone) {
  if (!Host || framesDone < NextProgressCheck) return;
  const int percent = ProgressPercent(framesDone);
  // The count only grows during a run, and the bar cannot show percent + 1 before
  // (percent + 0.5) % of it: the division waits until then.
  NextProgressCheck =
      SamplesToDownload <= 0
          ? INT64_MAX
          : static_cast<int64_t>((percent + 0.5L) * static_cast<long double>(SamplesToDownload) /
                                 100.0L) -
                1;
  if (percent == LastProgress) return;
  LastProgress = percent;
  Host->SetProgress(percent);
}

void TDownloadRun::PrepareRun() {
  StopRequested = false;
  LastProgress = -1;
  NextProgressCheck = 0;
  DownloadActive = true;
}

bool TDownloadRun::IsSelected(const TEventEntry& entry) const {
  return std::binary_search(Snapshot.Events.begin(), Snapshot.Events.end(), entry.Line - 1);
}

bool TDownloadRun::WalkCard() {
  Card.CardValid = Card.OpenDataFile();
  if (!Card.CardValid) return false;
  const int lastSelected = Snapshot.Events.empty() ? 0 : Snapshot.Events.back();
  // A stop requested while the events are counted ends the run before its first event.
  Entries = Card.WalkEvents(lastSelected + 1, [this] { return !StopRequested.load(); });
  SamplesToDownload = 0;
  SamplesDownloaded = 0;
  for (const TEventEntry& entry : Entries) {
    if (IsSelected(entry))
      SamplesToDownload += std::max<int32_t>(entry.Header.SamplesPerChannel, 0);
  }
  return true;
}

void TDownloadRun::ReadCardSignature() {
  Signature = {};
  bool signature = Snapshot.Recorder != nullptr;
  for (const TOutputKind* kind : Snapshot.Kinds) signature = signature || kind->UsesSignature;
  if (signature) {
    Card.DataFile.Seek(0);
    Card.DataFile.Read(Signature.data(), card_layout::FieldRecords);
  }
  if (Snapshot.Recorder) {
    SavedCard = ReadCardIdentity(Card, Signature, Card.DataFile.Size() * card_layout::RecordSize);
  }
  RecorderWarned = false;
}

void TDownloadRun::DownloadEvents(const TDownloadSnapshot& snapshot, TDownloadHost& host) {
  if (!DownloadActive.load()) PrepareRun();
  Host = &host;
  Snapshot = snapshot;
  Outcome = {};
  CutShort = false;
  Staging = std::make_unique<platform::TStaging>();
  Held.clear();

  try {
    MakeWriters();
    if (!Snapshot.Products.Problem.empty()) throw std::runtime_error(Snapshot.Products.Problem);
    if (!WalkCard()) {
      Outcome.Failed = true;
      Outcome.ErrorText = card_layout::NotValidCardText;
    } else {
      ReadCardSignature();
      for (const TEventEntry& entry : Entries) {
        if (StopRequested.load()) break;
        if (!IsSelected(entry)) continue;
        DownloadEvent(entry);
        // The card could not be read to the end of that event: nothing after it is trusted.
        if (CutShort) break;
      }
    }
  } catch (const ECreateFailed& error) {
    // Shown at once, as the event's other messages are; the run stops there.
    ShowError(error.what());
    Outcome.Failed = true;
    Outcome.ErrorFile = error.FileName();
    StopRequested = true;
    DiscardEventFiles();
  } catch (...) {
    Outcome.Failed = true;
    Outcome.ErrorText = CaughtErrorText();
    Outcome.ErrorFile = CaughtErrorFile();
    Outcome.CloseFailure = CaughtCloseError();
    DiscardEventFiles();
  }
  CancelReadAhead();
  // The events still being saved, also when the run failed: each is saved or fails alone.
  while (!Saving.empty()) {
    try {
      FinishSave(true);
    } catch (...) {
      Outcome.Failed = true;
      if (Outcome.ErrorText.empty()) {
        Outcome.ErrorText = CaughtErrorText();
        Outcome.ErrorFile = CaughtErrorFile();
      }
    }
  }
  try {
    FinishHeldEvents();
  } catch (...) {
    Outcome.Failed = true;
    if (Outcome.ErrorText.empty()) {
      Outcome.ErrorText = CaughtErrorText();
      Outcome.ErrorFile = CaughtErrorFile();
    }
  }
  Held.clear();
  Staging.reset();

  try {
    Card.CloseDataFile();
  } catch (const platform::EInOutError& error) {
    if (Outcome.ErrorText.empty()) Outcome.ErrorText = platform::IoErrorText(error.Code());
    Outcome.Failed = true;
  }
  EndRun();
}

void TDownloadRun::DownloadEvent(const TEventEntry& entry) {
  Entry = &entry;
  const TEventHeader& e = entry.Header;
  Host->ShowFileName(e.OriginalFileName);
  ++Outcome.Attempted;
  Outcome.InHand = {e.OriginalFileName, entry.Line - 1};
  SetProgressFor(SamplesDownloaded);
  if (!OpenEventFiles()) {
    // The message is shown; the line stays selected and the run goes on, reading the card
    // from the next event.
    CancelReadAhead();
    ++Outcome.Refused;
    SamplesDownloaded += std::max<int32_t>(e.SamplesPerChannel, 0);
  } else {
    ConvertEvent();
    if (CloseEventFiles()) {
      if (PartlyRefused) ++Outcome.Refused;
      FinishSavesDone();
      while (Saving.size() >= MostSavesWaiting) FinishSave(true);
      StartSave();
    }
  }
  Outcome.InHand = {};
}

void TDownloadRun::EndRun() {
  TDownloadHost& host = *Host;
  const bool stopped = StopRequested.load();
  StopRequested = false;
  const TOutcome& o = Outcome;
  // The window learns the result before the run counts as ended: a window waiting for the end
  // waits for this call.
  try {
    if (o.CloseFailure) {
      host.CloseFailed(*o.CloseFailure);
    } else if (!o.ErrorText.empty()) {
      host.ShowError(o.ErrorText);
    }
    if (o.Failed) {
      const TEventAt& failed = o.FailedSave.Name.empty() ? o.InHand : o.FailedSave;
      // No selected event after the failed one is saved, however far the run had converted:
      // a failing save fails the saves queued after it, and the run stops.
      const int notAttempted =
          failed.Line < 0 ? static_cast<int>(Snapshot.Events.size() - o.Attempted)
                          : static_cast<int>(std::count_if(
                                Snapshot.Events.begin(), Snapshot.Events.end(),
                                [line = failed.Line](int selected) { return selected > line; }));
      host.RunFailed({o.ErrorFile, failed.Name, notAttempted});
    }
    host.RunFinished(!o.Failed && o.Refused == 0 && !stopped, o.Failed || stopped ? 0 : o.Refused);
  } catch (...) {
  }
  Host = nullptr;
  Entry = nullptr;
  {
    std::lock_guard lock(RunMutex);
    DownloadActive = false;
  }
  RunEnded.notify_all();
}

void TDownloadRun::StartSave() {
  const TEventEntry& entry = *Entry;
  TPendingSave& save = Saving.emplace_back();
  save.Event = {entry.Line - 1, Event().OriginalFileName, EventBaseName, OutputNames(), {}};
  TSavedEvent& saved = save.Saved;
  for (const auto& writer : Writers) {
    if (TEventWriter::TFiling filing = writer->TakeFiling()) save.File = std::move(filing);
  }
  for (size_t k = 0; k < Writers.size(); ++k) {
    for (TWrittenFile& file : Writers[k]->TakeWritten()) {
      file.Saved.Kind = Snapshot.Kinds[k]->Name;
      saved.Files.push_back(std::move(file.Saved));
      save.Staged.push_back(std::move(file.Staged));
    }
  }
  save.Recordable = Snapshot.Recorder && (!saved.Files.empty() || save.File);
  if (save.Recordable) {
    saved.EventIdentity = EventIdentity(Event(), Signature, entry.HeaderOffset);
    saved.CardSha256 = EventCardSha256;
    saved.Card = SavedCard;
    saved.OriginalFileName = Event().OriginalFileName;
    saved.Destination = Snapshot.DataDir;
    // Kept so that the archive's inventory can be written without the card.
    if (const std::optional<seed::TEventSummary> summary =
            StationXmlSummaryOf(Event(), Card.EpromVersion, Card.ProbeDate)) {
      saved.Values = HeaderValuesOf(*summary);
    }
  }
  // The saver holds the event by reference: the queue's other ends leave it in place.
  Saver.Push([this, &save, recorder = save.Recordable ? Snapshot.Recorder : nullptr] {
    // The event's filing into the archive waits on its day files' flushes as the publishing
    // waits on the event files' own: the two run side by side (an event with no files of its
    // own is filed here, when its filing is asked for). The next event's filing starts only
    // once this one has ended, so the archive is still filed in event order.
    std::future<seed::TSdsInsertResult> filing;
    if (save.File) {
      filing =
          std::async(save.Staged.empty() ? std::launch::deferred : std::launch::async, save.File);
    }
    std::vector<std::string> paths;
    for (const TSavedFile& file : save.Saved.Files) paths.push_back(file.Path);
    // Until its files and their final names are on the medium the event is not saved: a
    // failing flush or rename fails the event, whose files then go as those of any failed
    // event.
    platform::PublishDurably(save.Staged, paths, save.Published);
    if (filing.valid()) {
      save.Event.Filing = filing.get();
      save.Held = !save.Event.Filing->Durable;
    }
    // The archive's records are a saved copy as files are, once they are on the medium: a held
    // event is recorded when the run's end has written them.
    if (save.Held) return;
    if (save.Event.Filing) AddArchived(*save.Event.Filing, save.Saved);
    if (recorder && (!save.Saved.Files.empty() || !save.Saved.Channels.empty())) {
      save.Warning = recorder->RecordSavedEvent(save.Saved);
    }
  });
}

bool TDownloadRun::FinishSave(bool wait) {
  std::exception_ptr failure;
  if (Saving.empty() || !Saver.CollectOldest(wait, failure)) return false;
  TPendingSave save = std::move(Saving.front());
  Saving.pop_front();
  if (failure) {
    for (size_t k = 0; k < save.Staged.size(); ++k) {
      platform::TRecordFile::EraseQuietly(k < save.Published ? save.Saved.Files[k].Path
                                                             : save.Staged[k]);
    }
    if (Outcome.FailedSave.Name.empty()) {
      Outcome.FailedSave = {save.Event.OriginalFileName, save.Event.Line};
    }
    std::rethrow_exception(failure);
  }
  if (save.Warning) {
    // Once a run: the download goes on without the record.
    if (!RecorderWarned && Host) Host->ShowWarning(*save.Warning);
    RecorderWarned = true;
  }
  if (save.Held) {
    Held.push_back({std::move(save.Event), std::move(save.Saved), save.Recordable});
  } else if (Host) {
    Host->Deselect(save.Event);
  }
  return true;
}

void TDownloadRun::FinishSavesDone() {
  while (FinishSave(false)) {
  }
}

void TDownloadRun::FinishHeldEvents() {
  std::vector<seed::TSdsInsertResult> filed;
  for (const auto& writer : Writers) {
    writer->FinishRun();
    for (seed::TSdsInsertResult& filing : writer->TakeRunFilings()) filed.push_back(std::move(filing));
  }
  for (THeldEvent& held : Held) {
    // The held event's filing, now written, as the archive reports it.
    if (held.Event.Filing) {
      for (seed::TSdsInsertResult& filing : filed) {
        if (filing.Id == held.Event.Filing->Id) held.Event.Filing = std::move(filing);
      }
      AddArchived(*held.Event.Filing, held.Saved);
    }
    if (held.Record && (!held.Saved.Files.empty() || !held.Saved.Channels.empty())) {
      if (std::optional<std::string> warning = Snapshot.Recorder->RecordSavedEvent(held.Saved)) {
        if (!RecorderWarned && Host) Host->ShowWarning(*warning);
        RecorderWarned = true;
      }
    }
    if (Host) Host->Deselect(held.Event);
  }
}

void TDownloadRun::AddArchived(const seed::TSdsInsertResult& filing, TSavedEvent& saved) const {
  const std::string root =
      Snapshot.Products.ArchiveRoot.empty() ? Snapshot.DataDir : Snapshot.Products.ArchiveRoot;
  for (const seed::TSdsFiledChannel& channel : filing.Channels) {
    TArchivedChannel& archived = saved.Channels.emplace_back();
    archived.Root = root;
    archived.DayFile = channel.DayFile;
    archived.Codes = channel.Codes.Network + "." + channel.Codes.Station + "." +
                     channel.Codes.Location + "." + channel.Codes.Channel;
    archived.RecordStarts = channel.RecordStarts;
    archived.Sha256 = channel.Sha256;
  }
}

std::string TDownloadRun::CaughtErrorText() {
  try {
    throw;
  } catch (const platform::EInOutError& error) {
    return platform::IoErrorText(error.Code());
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "Download failed";
  }
}

std::optional<platform::ECloseError> TDownloadRun::CaughtCloseError() {
  try {
    throw;
  } catch (const platform::ECloseError& error) {
    return error;
  } catch (...) {
    return std::nullopt;
  }
}

std::string TDownloadRun::CaughtErrorFile() {
  try {
    throw;
  } catch (const platform::EInOutError& error) {
    return platform::FinalPathOf(error.FileName());
  } catch (...) {
    return {};
  }
}

void TDownloadRun::StopDownload() {
  StopRequested = true;
  std::unique_lock lock(RunMutex);
  RunEnded.wait(lock, [this] { return !DownloadActive.load(); });
}
