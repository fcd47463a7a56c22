#pragma once
// The download run: it converts the selected events of its snapshot, event by event.
//
// At its start the run walks the card once (TTarqCard::WalkEvents), so that a card changed
// since it was listed is converted as it is now; it then goes through the entries. Per
// selected event: its values derived (EventValuesOf), its files named and created for every
// kind of the snapshot, its frames read in blocks (TTarqCard::ReadOpenEventFrames), ahead on a
// thread of its own and on into the next selected event's, and handed to the writers, its
// files closed, or deleted after a stop. The files are written under
// temporary names (platform/StagedFile.h); those kept are flushed to the medium and given
// their final names on a thread of their own while the next events convert, one event after
// another; an event is reported converted (its line deselected) once they are there, and a
// failing flush fails its event and those handed on after it. Each output kind is a writer
// (writers/OutputKinds.h); the run reaches the event list, the progress window and in-run message
// boxes only through its TDownloadHost.
//
// Output names, with D = DataDir and B = the event's base name (yymmdd_hhmm[_serial][_letter].NNN):
//   record file        D/B
//   sensor file s      D/Capt_s_B
//   binary file        D/Bin_B
//   SAC, channel c     D/B_sensor_component letter.sac    (060512_1030_023.001_2_3E.sac)
//   miniSEED file      D/B.mseed
//   SDS archive        D/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DDD (no event name)

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "download/DownloadHost.h"
#include "download/DownloadSnapshot.h"
#include "download/WriterLane.h"
#include "event/EventValues.h"
#include "ledger/EventIdentity.h"
#include "platform/ReadAhead.h"
#include "platform/RecordFile.h"
#include "platform/StagedFile.h"
#include "writers/EventWriter.h"
#include "writers/OutputWriter.h"

class TDownloadRun {
 public:
  explicit TDownloadRun(TTarqCard& card);
  ~TDownloadRun();
  TDownloadRun(const TDownloadRun&) = delete;
  TDownloadRun& operator=(const TDownloadRun&) = delete;

  // Arms a run before its worker starts: a stop requested from then on is honoured, even
  // while the card is walked. DownloadEvents arms the run itself when nobody did.
  void PrepareRun();
  // Converts the snapshot's events, reporting to the host; returns when the run has ended.
  void DownloadEvents(const TDownloadSnapshot& snapshot, TDownloadHost& host);
  // Asks the run to stop after the frame in hand; returns at once.
  void RequestStop() { StopRequested = true; }
  // Requests a stop and waits until no run is active; returns at once when none is. Not for
  // a thread that carries out the host's calls: the worker may wait for one of them.
  void StopDownload();
  // From PrepareRun (or the start of DownloadEvents) to the run's end-of-run step.
  bool Active() const { return DownloadActive.load(); }
  // A stop was requested and the run has not ended yet.
  bool StopPending() const { return StopRequested.load(); }

  // The bar's position for a count of frames done in this run: Round(done / frames to
  // download x 100), halves to even; 100 when there is nothing to download.
  int ProgressPercent(int64_t framesDone) const;
  // The names (without directory) of the files created for the last event opened.
  std::vector<std::string> OutputNames() const;
  // Size of the blocks in which the card is read (whole frames of at most this many bytes).
  void SetReadBlockBytes(int64_t bytes) { ReadBlockBytes = bytes; }
  int64_t ReadBlockSize() const { return ReadBlockBytes; }

 private:
  // The run's worker disarms a run whose thread could not start.
  friend class TDownload;

  // An event's file could not be created: the file, and the code of the system's error.
  class ECreateFailed : public platform::EInOutError {
   public:
    ECreateFailed(int code, const std::string& path)
        : EInOutError(code, path, "Cannot create file " + path) {}
  };

  // An event of the run: its original name and its line, counted from 0.
  struct TEventAt {
    std::string Name;
    int Line = -1;
  };
  // What the end of the run reports.
  struct TOutcome {
    bool Failed = false;
    int Refused = 0;        // selected events refused, wholly or by some kinds
    size_t Attempted = 0;   // selected events reached
    TEventAt InHand;        // the event being converted
    TEventAt FailedSave;    // the first event whose save failed
    std::string ErrorText;  // shown at the end, when not empty
    std::string ErrorFile;  // the file the error struck (its final name), or ""
    std::optional<platform::ECloseError> CloseFailure;  // told in place of ErrorText
  };

  // ---- The run (DownloadRun.cpp) ----
  bool IsSelected(const TEventEntry& entry) const;
  // Opens the data file and walks the card's events up to the last selected one, once; the
  // frames to download counted. False when the card is not valid.
  bool WalkCard();
  // The signature and the card's identity, when the snapshot needs them.
  void ReadCardSignature();
  // The selected event of this entry: converted and handed to the saver, or refused.
  void DownloadEvent(const TEventEntry& entry);
  // The end-of-run step: the outcome told to the host, the run no longer active.
  void EndRun();
  void SetProgressFor(int64_t framesDone);
  // After the event's files were kept, it is filed into the archive, its files are flushed to
  // the medium and the event recorded through the snapshot's recorder on the saver's thread,
  // while the next events convert.
  // Its line is deselected once that is done: until then the event is not saved.
  struct TPendingSave {
    TConvertedEvent Event;
    TSavedEvent Saved;                   // every file kept; what the recorder records
    std::vector<std::string> Staged;     // their temporary names, file by file
    TEventWriter::TFiling File;          // into the archive, for a run filing into one
    size_t Published = 0;                // files given their final names
    bool Held = false;                   // its filing waits until the run's end
    bool Recordable = false;             // recorded once saved (held: once the run's end wrote it)
    std::optional<std::string> Warning;  // the recorder's
  };
  // Hands the files of the event in hand, kept, to the saver, behind the events it has not
  // saved yet.
  void StartSave();
  // The oldest event handed to the saver, waited for (or only when the saver is done with it
  // already): deselected, or, when a flush failed, its files deleted and the error raised.
  // False when there was none to finish.
  bool FinishSave(bool wait);
  // Every event the saver is done with, finished.
  void FinishSavesDone();
  // The run's end for the writers: what they held written, the events held deselected.
  void FinishHeldEvents();
  // What an insertion into the archive wrote, as the ledger records it.
  void AddArchived(const seed::TSdsInsertResult& filing, TSavedEvent& saved) const;
  // The run's message for the exception being handled.
  static std::string CaughtErrorText();
  // The file it names (its final name), or "".
  static std::string CaughtErrorFile();
  // The exception being handled when it is a close failure.
  static std::optional<platform::ECloseError> CaughtCloseError();

  // ---- The event in hand (EventConversion.cpp) ----
  // Names and creates the event's files for every kind of the snapshot. False when the event
  // is refused (no free name, a channel count out of range, every kind refusing it): a
  // message was shown, the run goes on with the next event. A file that cannot be created
  // raises ECreateFailed.
  bool OpenEventFiles();
  // The name tried for the event: false when it was taken meanwhile (the files made for it
  // are gone).
  bool CreateEventFiles();
  // The headers, the frames, the trailer.
  void ConvertEvent();
  // The event's frames read and handed to the writers, the outputs padded after a read cut
  // short; true when every frame was read and no stop came.
  bool ConvertFrames(int64_t frames, TEventContentHash* cardHash);
  // Up to `count` frames from frame k taken in hand one by one, up to a stop, the progress
  // shown every 100 frames; returns how many.
  int64_t TakeFrames(int64_t count, int64_t& k, int64_t& nextProgress, bool& stopped);
  // Whole frames of the event read at once: at most ReadBlockBytes.
  int64_t BlockFramesOf(const TEventEntry& entry) const;
  // The reads of this event's frames and trailer in hand, and those of the next selected event
  // queued behind them (CardAhead).
  void ReadAheadFrom(const TEventEntry& entry);
  // The event's two passes, its frames and its trailer, queued.
  void QueueEventReads(const TEventEntry& entry);
  // The selected event after this one, when it is read ahead: not one refused unread.
  const TEventEntry* NextToRead(const TEventEntry& entry) const;
  // Nothing read ahead any more: the card is the run's.
  void CancelReadAhead();
  // After a read error at frame k: one line of zeros per missing frame in every text file and
  // a 0.0 per missing frame in every SAC file, for frames k to SamplesPerChannel.
  void PadOutputs(int64_t firstMissingFrame);
  // Returns true when the files were kept (closed without a stop).
  bool CloseEventFiles();
  // Closes and deletes every file created for the event in hand, ignoring further errors.
  void DiscardEventFiles();
  std::string OutputPath(const std::string& name) const;
  bool AnyNameTaken(const std::string& baseName) const;
  void ShowError(const std::string& text);
  // Builds the writers of the snapshot's kinds and shares out the decoding ones.
  void MakeWriters();
  // The frames to every writer of the event: those of one lane on the lane's thread.
  void WriteFrames(const uint8_t* frames, int64_t count);
  void FlushPending();
  // The run's output writer and those of the writers: all written, or all dropped.
  void DrainWriters();
  void AbandonWriters();
  TEventSetup EventSetup() const;
  const TEventHeader& Event() const { return Entry->Header; }

  TTarqCard& Card;
  TDownloadSnapshot Snapshot;
  TDownloadHost* Host = nullptr;

  std::atomic<bool> StopRequested{false};
  std::atomic<bool> DownloadActive{false};
  std::mutex RunMutex;
  std::condition_variable RunEnded;

  // The card as the run walked it, up to the last selected event.
  std::vector<TEventEntry> Entries;
  int64_t SamplesToDownload = 0;
  int64_t SamplesDownloaded = 0;
  int LastProgress = -1;
  int64_t NextProgressCheck = 0;
  int64_t ReadBlockBytes = 384 * 1024;

  // The event in hand.
  const TEventEntry* Entry = nullptr;
  TEventValues Values;
  std::string EventBaseName;
  // Some kinds refused the event in hand (a message was shown for each reason); the others
  // write it. The run counts the event as not converted, its line is deselected.
  bool PartlyRefused = false;
  // A read of its frames was cut short (the outputs padded): the card is read no further.
  bool CutShort = false;
  std::string EventCardSha256;  // TEventContentHash of the event converted last, when recorded

  std::array<uint8_t, 9> Signature{};
  TCardIdentity SavedCard;      // of the run's card, when it records its events
  bool RecorderWarned = false;  // the recorder's warning was shown in this run
  // Handed to the saver and not yet finished, oldest first. The saver flushes them one after
  // another while the run converts on: the conversion waits for it only when this many are
  // waiting, so that the disk is kept busy and the unsaved events stay few.
  std::deque<TPendingSave> Saving;
  static constexpr size_t MostSavesWaiting = 4;
  // Saved but held by a writer: recorded and deselected at the run's end.
  struct THeldEvent {
    TConvertedEvent Event;
    TSavedEvent Saved;
    bool Record = false;
  };
  std::vector<THeldEvent> Held;
  TWorkQueue Saver;
  std::unique_ptr<platform::TStaging> Staging;  // the run's
  TOutcome Outcome;

  TOutputWriter Writer;
  // One writer per kind of the snapshot, in table order; those that decode the frames are
  // shared between this thread and the lane's.
  std::vector<std::unique_ptr<TEventWriter>> Writers;
  std::vector<TEventWriter*> Here;
  std::vector<TEventWriter*> OnLane;
  TWriterLane Lane;
  // The events' frames and trailers, read ahead of the conversion into blocks of the output
  // writer's pool, from one event into the next, so that the card goes on delivering while an
  // event's files close and the next event's are made. 8 blocks of at most ReadBlockBytes
  // (3 MB, 35 ms of a 90 MB/s card): enough to ride out the conversion's unevenness (a flush of
  // every channel's files, the miniSEED records packed at an event's end, a few milliseconds
  // each) with the card kept busy; 4 blocks left a 90 MB/s card waiting about 5 % of the
  // time. The blocks are acquired on the run's thread, so the reading thread never allocates.
  platform::TReadAhead<TOutputWriter::TBufferPtr> CardAhead{
      8, [this] { return Writer.Acquire(); },
      [this](TOutputWriter::TBufferPtr block) { Writer.Release(std::move(block)); }};
  // The events whose reads are in hand and queued, in order: two passes each.
  std::deque<const TEventEntry*> ReadingAhead;
  static constexpr int64_t TrailerRecords = card_layout::TrailerSize / card_layout::RecordSize;
};
