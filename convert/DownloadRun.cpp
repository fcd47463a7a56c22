#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>

#include "app/WUtil.h"
#include "convert/TarqConvert.h"
#include "platform/IoError.h"

namespace {
constexpr int64_t FirstEventRecord = 3;  // after the 9-byte signature
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

void TTarqConvert::WriteBinaryHeader(const std::array<uint8_t, 9>& signature) {
  std::array<uint8_t, 180> head;
  std::copy(signature.begin(), signature.end(), head.begin());
  const auto& image = Card.Event.HeaderImage;
  std::copy(image.begin(), image.end(), head.begin() + 9);
  // A format-1 header has no fields 13-18; the card state still holds those of some earlier
  // format-2 header, which would make the copy depend on what was read before it.
  if (Card.Event.EventFormat != 2) std::fill(head.begin() + 9 + 108, head.begin() + 9 + 162, ' ');
  BinaryOut.File.Write(head.data(), static_cast<int64_t>(head.size() / 3));
}

void TTarqConvert::PrepareRun() {
  StopRequested = false;
  LastProgress = -1;
  NextProgressCheck = 0;
  DownloadActive = true;
}

void TTarqConvert::DownloadEvents(TDownloadHost& host) {
  if (!DownloadActive.load()) PrepareRun();
  Host = &host;
  LastProgress = -1;
  NextProgressCheck = 0;
  bool failed = false;
  int refused = 0;
  std::string errorText;

  try {
    int lastSelected = host.LineCount() - 1;
    while (lastSelected > 0 && !host.IsSelected(lastSelected)) --lastSelected;

    Card.CardValid = Card.OpenDataFile();
    if (!Card.CardValid) {
      failed = true;
      errorText = "Not a valid flash card";
    } else {
      TEventHeader& e = Card.Event;
      Card.DataFile.Seek(FirstEventRecord);
      SamplesToDownload = 0;
      SamplesDownloaded = 0;
      // A stop requested while the events are counted ends the run before its first event.
      for (int i = 0; !StopRequested.load(); ++i) {
        if (!Card.ReadEventHeader(Card.RestoreMode)) break;
        if (host.IsSelected(i)) SamplesToDownload += std::max<int32_t>(e.SamplesPerChannel, 0);
        Card.SkipEventData();
        if (i >= lastSelected) break;
      }

      std::array<uint8_t, 9> signature{};
      if (Settings.BinaryFile) {
        Card.DataFile.Seek(0);
        Card.DataFile.Read(signature.data(), 3);
      }
      Card.DataFile.Seek(FirstEventRecord);

      for (int i = 0; !StopRequested.load(); ++i) {
        if (!Card.ReadEventHeader(Card.RestoreMode)) break;
        if (!host.IsSelected(i)) {
          Card.SkipEventData();
        } else {
          host.ShowFileName(e.OriginalFileName);
          SetProgressFor(SamplesDownloaded);
          // The hosts hand UTF-8; the headers are ISO 8859-1 like every other text in them.
          Comment = host.CommentLines();
          for (std::string& line : Comment) line = WUtil::Utf8ToLatin1(line);
          const TOpenResult opened = OpenEventFiles();
          if (opened == TOpenResult::Failed) {
            failed = true;
            break;
          }
          if (opened == TOpenResult::Refused) {
            // The message is shown; the line stays selected and the run goes on.
            ++refused;
            SamplesDownloaded += std::max<int32_t>(e.SamplesPerChannel, 0);
            Card.SkipEventData();
          } else {
            if (Settings.BinaryFile) WriteBinaryHeader(signature);
            ConvertEvent();
            CloseEventFiles();
            if (!StopRequested.load()) host.Deselect(i);
          }
        }
        if (i >= lastSelected) break;
      }
    }
  } catch (const platform::EInOutError& error) {
    failed = true;
    errorText = platform::IoErrorText(error.Code());
    DiscardEventFiles();
  } catch (const std::exception& error) {
    failed = true;
    errorText = error.what();
    DiscardEventFiles();
  } catch (...) {
    failed = true;
    errorText = "Download failed";
    DiscardEventFiles();
  }

  try {
    Card.CloseDataFile();
  } catch (const platform::EInOutError& error) {
    if (errorText.empty()) errorText = platform::IoErrorText(error.Code());
    failed = true;
  }
  const bool stopped = StopRequested.load();
  StopRequested = false;
  // The window learns the result before the run counts as ended, so that a window thread
  // waiting in StopDownload (serving these calls) or joining the worker never waits on it.
  try {
    if (!errorText.empty()) host.ShowError(errorText);
    host.RunFinished(!failed && refused == 0 && !stopped, failed || stopped ? 0 : refused);
  } catch (...) {
  }
  Host = nullptr;
  DownloadActive = false;
}

void TTarqConvert::StopDownload(const std::function<void()>& serve) {
  StopRequested = true;
  while (DownloadActive.load()) {
    if (serve) serve();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
