#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "card/CardLayout.h"
#include "ledger/SavedEvents.h"
#include "download/TarqConvert.h"
#include "platform/DurableFlush.h"
#include "platform/IoError.h"

namespace {
using card_layout::FirstEventRecord;
}

int TTarqConvert::ProgressPercent(int64_t framesDone) const {
  if (SamplesToDownload <= 0) return 100;
  const long double percent =
      static_cast<long double>(framesDone) / static_cast<long double>(SamplesToDownload) * 100.0L;
  // Default rounding mode: halves go to the even neighbour (12.5 gives 12, 13.5 gives 14).
  const long double rounded = std::rint(percent);
  if (!(rounded > 0)) return 0;
  return rounded >= 100 ? 100 : static_cast<int>(rounded);
}

void TTarqConvert::SetProgressFor(int64_t framesDone) {
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

void TTarqConvert::PrepareRun() {
  StopRequested = false;
  LastProgress = -1;
  NextProgressCheck = 0;
  DownloadActive = true;
}

void TTarqConvert::DownloadEvents(const TDownloadSnapshot& snapshot, TDownloadHost& host) {
  if (!DownloadActive.load()) PrepareRun();
  Host = &host;
  Run = snapshot;
  bool failed = false;
  int refused = 0;
  std::string errorText;
  // For the failure's details: the selected events reached, the one in hand.
  size_t attempted = 0;
  std::string eventInHand;
  std::string errorFile;
  std::optional<platform::ECloseError> closeFailure;  // what the host is told in place of errorText
  FailedEvent.clear();
  FailedPath.clear();
  Staging = std::make_unique<platform::TStaging>();
  Held.clear();

  try {
    MakeWriters();
    if (!Run.Products.Problem.empty()) throw std::runtime_error(Run.Products.Problem);
    const int lastSelected = Run.Events.empty() ? 0 : Run.Events.back();
    auto isSelected = [this](int event) {
      return std::binary_search(Run.Events.begin(), Run.Events.end(), event);
    };

    Card.CardValid = Card.OpenDataFile();
    if (!Card.CardValid) {
      failed = true;
      errorText = card_layout::NotValidCardText;
    } else {
      TEventHeader& e = Card.Event;
      Card.DataFile.Seek(FirstEventRecord);
      SamplesToDownload = 0;
      SamplesDownloaded = 0;
      // A stop requested while the events are counted ends the run before its first event.
      for (int i = 0; !StopRequested.load(); ++i) {
        if (!Card.ReadEventHeader(Card.RestoreMode)) break;
        if (isSelected(i)) SamplesToDownload += std::max<int32_t>(e.SamplesPerChannel, 0);
        Card.SkipEventData();
        if (i >= lastSelected) break;
      }

      Signature = {};
      bool signature = Run.Recorder != nullptr;
      for (const TOutputKind* kind : Run.Kinds) signature = signature || kind->UsesSignature;
      if (signature) {
        Card.DataFile.Seek(0);
        Card.DataFile.Read(Signature.data(), card_layout::FieldRecords);
      }
      if (Run.Recorder) {
        SavedCard =
            ReadCardIdentity(Card, Signature, Card.DataFile.Size() * card_layout::RecordSize);
      }
      RecorderWarned = false;
      Card.DataFile.Seek(FirstEventRecord);

      for (int i = 0; !StopRequested.load(); ++i) {
        const int64_t headerOffset = Card.DataFile.Position() * 3;
        if (!Card.ReadEventHeader(Card.RestoreMode)) break;
        if (!isSelected(i)) {
          Card.SkipEventData();
        } else {
          host.ShowFileName(e.OriginalFileName);
          ++attempted;
          eventInHand = e.OriginalFileName;
          SetProgressFor(SamplesDownloaded);
          const TOpenResult opened = OpenEventFiles();
          if (opened == TOpenResult::Failed) {
            failed = true;
            errorFile = FailedPath;
            break;
          }
          if (opened == TOpenResult::Refused) {
            // The message is shown; the line stays selected and the run goes on.
            ++refused;
            SamplesDownloaded += std::max<int32_t>(e.SamplesPerChannel, 0);
            Card.SkipEventData();
          } else {
            ConvertEvent();
            if (CloseEventFiles()) {
              if (PartlyRefused) ++refused;
              FinishSave(true);
              StartSave(i, headerOffset);
            }
          }
          eventInHand.clear();
        }
        if (i >= lastSelected) break;
      }
    }
  } catch (...) {
    failed = true;
    errorText = CaughtErrorText();
    errorFile = CaughtErrorFile();
    closeFailure = CaughtCloseError();
    DiscardEventFiles();
  }
  // The last event saved, or the one being saved when the run failed.
  try {
    FinishSave(true);
  } catch (...) {
    failed = true;
    if (errorText.empty()) {
      errorText = CaughtErrorText();
      errorFile = CaughtErrorFile();
    }
  }
  try {
    for (const auto& writer : Writers) writer->FinishRun();
    for (const TConvertedEvent& event : Held) host.Deselect(event);
  } catch (...) {
    failed = true;
    if (errorText.empty()) {
      errorText = CaughtErrorText();
      errorFile = CaughtErrorFile();
    }
  }
  Held.clear();
  Staging.reset();

  try {
    Card.CloseDataFile();
  } catch (const platform::EInOutError& error) {
    if (errorText.empty()) errorText = platform::IoErrorText(error.Code());
    failed = true;
  }
  const bool stopped = StopRequested.load();
  StopRequested = false;
  // The window learns the result before the run counts as ended: a window waiting for the end
  // waits for this call.
  try {
    if (closeFailure) {
      host.CloseFailed(*closeFailure);
    } else if (!errorText.empty()) {
      host.ShowError(errorText);
    }
    if (failed) {
      const std::string event = FailedEvent.empty() ? eventInHand : FailedEvent;
      host.RunFailed({errorFile, event, static_cast<int>(Run.Events.size() - attempted)});
    }
    host.RunFinished(!failed && refused == 0 && !stopped, failed || stopped ? 0 : refused);
  } catch (...) {
  }
  Host = nullptr;
  {
    std::lock_guard lock(RunMutex);
    DownloadActive = false;
  }
  RunEnded.notify_all();
}

void TTarqConvert::StartSave(int line, int64_t headerOffset) {
  TPendingSave& save = Saving.emplace();
  save.Event = {line, Card.Event.OriginalFileName, EventBaseName, OutputNames()};
  TSavedEvent& saved = save.Saved;
  for (const auto& writer : Writers) save.Held = save.Held || writer->Holds();
  for (size_t k = 0; k < Writers.size(); ++k) {
    for (TWrittenFile& file : Writers[k]->TakeWritten()) {
      file.Saved.Kind = Run.Kinds[k]->Name;
      saved.Files.push_back(std::move(file.Saved));
      save.Staged.push_back(std::move(file.Staged));
    }
  }
  const bool recorded = Run.Recorder && !saved.Files.empty();
  if (recorded) {
    saved.EventIdentity = EventIdentity(Card.Event, Signature, headerOffset);
    saved.CardSha256 = EventCardSha256;
    saved.Card = SavedCard;
    saved.OriginalFileName = Card.Event.OriginalFileName;
    saved.Destination = Run.DataDir;
  }
  Saver.Start([&save, recorder = recorded ? Run.Recorder : nullptr] {
    std::vector<std::string> paths;
    for (const TSavedFile& file : save.Saved.Files) paths.push_back(file.Path);
    // Until its files and their final names are on the medium the event is not saved: a
    // failing flush or rename fails the event, whose files then go as those of any failed
    // event.
    platform::PublishDurably(save.Staged, paths, save.Published);
    if (recorder) save.Warning = recorder->RecordSavedEvent(save.Saved);
  });
}

void TTarqConvert::FinishSave(bool wait) {
  if (!Saving || (!wait && !Saver.Idle())) return;
  std::exception_ptr failure;
  try {
    Saver.Wait();
  } catch (...) {
    failure = std::current_exception();
  }
  TPendingSave save = std::move(*Saving);
  Saving.reset();
  if (failure) {
    for (size_t k = 0; k < save.Staged.size(); ++k) {
      platform::TRecordFile::EraseQuietly(k < save.Published ? save.Saved.Files[k].Path
                                                             : save.Staged[k]);
    }
    FailedEvent = save.Event.OriginalFileName;
    std::rethrow_exception(failure);
  }
  if (save.Warning) {
    // Once a run: the download goes on without the record.
    if (!RecorderWarned && Host) Host->ShowWarning(*save.Warning);
    RecorderWarned = true;
  }
  if (save.Held) {
    Held.push_back(std::move(save.Event));
  } else if (Host) {
    Host->Deselect(save.Event);
  }
}

std::string TTarqConvert::CaughtErrorText() {
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

std::optional<platform::ECloseError> TTarqConvert::CaughtCloseError() {
  try {
    throw;
  } catch (const platform::ECloseError& error) {
    return error;
  } catch (...) {
    return std::nullopt;
  }
}

std::string TTarqConvert::CaughtErrorFile() {
  try {
    throw;
  } catch (const platform::EInOutError& error) {
    return platform::FinalPathOf(error.FileName());
  } catch (...) {
    return {};
  }
}

void TTarqConvert::StopDownload() {
  StopRequested = true;
  std::unique_lock lock(RunMutex);
  RunEnded.wait(lock, [this] { return !DownloadActive.load(); });
}
