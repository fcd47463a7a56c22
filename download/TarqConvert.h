#pragma once
// The conversion side of the card unit: the values derived per event, the output files of an
// event, the decoding of its samples and the download run that converts the selected events.
//
// One download run converts the events of its snapshot, event by event: OpenEventFiles (names
// and creates the outputs of every selected kind), ConvertEvent (headers, the frames, the
// trailer), CloseEventFiles (closes, or deletes after a stop). The files are written under
// temporary names (platform/StagedFile.h); those kept are flushed to the medium and given
// their final names while the next event converts; the event is reported converted (its line
// deselected) once they are there. Each output kind is a writer
// (writers/OutputKinds.h); the run reaches the event list, the progress window and in-run
// message boxes only through its TDownloadHost.
//
// Output names, with D = DataDir and B = EventBaseName (yymmdd_hhmm[_serial][_letter].NNN):
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
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "card/TarqCard.h"
#include "download/DownloadHost.h"
#include "download/DownloadSnapshot.h"
#include "download/WriterLane.h"
#include "event/EventValues.h"
#include "ledger/EventIdentity.h"
#include "platform/RecordFile.h"
#include "platform/StagedFile.h"
#include "writers/EventWriter.h"
#include "writers/OutputWriter.h"

class TTarqConvert {
 public:
  TTarqConvert(TTarqCard& card, TSettings& settings);
  ~TTarqConvert();
  TTarqConvert(const TTarqConvert&) = delete;
  TTarqConvert& operator=(const TTarqConvert&) = delete;

  TTarqCard& Card;
  TSettings& Settings;

  // The values derived from the header of the event in hand (OpenEventFiles).
  TEventValues Values;

  // ---- Output files of the current event ----
  enum class TOpenResult {
    Opened,
    Refused,  // the event cannot be converted (no free name, a channel count out of range,
              // every kind refusing it): a message was shown, the run may go on with the next
              // event
    Failed,   // a file could not be created: a message was shown, the stop is requested
  };
  std::string EventBaseName;
  // Some kinds refused the event in hand (a message was shown for each reason); the others
  // write it. The run counts the event as not converted, its line is deselected.
  bool PartlyRefused = false;
  // The run's snapshot: its comment goes into the text headers ("Comment:" block only when
  // there is a line), its kinds, destination and serial flag into the outputs.
  TDownloadSnapshot Run;

  // Names and creates the files of the event in hand for every kind of the snapshot.
  TOpenResult OpenEventFiles();
  // After a read error at frame k: one line of zeros per missing frame in every text file and
  // a 0.0 per missing frame in every SAC file, for frames k to SamplesPerChannel.
  void PadOutputs(int64_t firstMissingFrame);
  // Returns true when the files were kept (closed without a stop).
  bool CloseEventFiles();
  // Closes and deletes every file created for the event in hand, ignoring further errors.
  void DiscardEventFiles();
  // The names (without directory) of the files created for the last event opened.
  std::vector<std::string> OutputNames() const;

  // ---- Decoding ----
  void ConvertEvent();

  // ---- The download run ----
  std::atomic<bool> StopRequested{false};
  std::atomic<bool> DownloadActive{false};  // from the start of a run to its end-of-run step
  int64_t SamplesToDownload = 0;
  int64_t SamplesDownloaded = 0;

  // Arms a run before its worker starts: a stop requested from then on is honoured, even
  // during the totals pass. DownloadEvents arms the run itself when nobody did.
  void PrepareRun();
  void DownloadEvents(const TDownloadSnapshot& snapshot, TDownloadHost& host);
  // Asks the run to stop after the frame in hand; returns at once.
  void RequestStop() { StopRequested = true; }
  // Requests a stop and waits until no run is active; returns at once when none is. Not for
  // a thread that carries out the host's calls: the worker may wait for one of them.
  void StopDownload();

  // The bar's position for a count of frames done: Round(done / SamplesToDownload x 100),
  // halves to even; 100 when there is nothing to download.
  int ProgressPercent(int64_t framesDone) const;

  // Size of the blocks in which the card is read (whole frames of at most this many bytes).
  int64_t ReadBlockBytes = 384 * 1024;

 private:
  std::string OutputPath(const std::string& name) const;
  bool AnyNameTaken(const std::string& baseName) const;
  void ShowError(const std::string& text);
  void SetProgressFor(int64_t framesDone);
  // Builds the writers of the snapshot's kinds and shares out the decoding ones.
  void MakeWriters();
  // The frames to every writer of the event: those of one lane on the lane's thread.
  void WriteFrames(const uint8_t* frames, int64_t count);
  void FlushPending();
  // The run's output writer and those of the writers: all written, or all dropped.
  void DrainWriters();
  void AbandonWriters();
  TEventSetup EventSetup() const;

  // After the event's files were kept, they are flushed to the medium and the event recorded
  // through the snapshot's recorder on the saver's thread, while the next event converts.
  // Its line is deselected once that is done: until then the event is not saved.
  struct TPendingSave {
    TConvertedEvent Event;
    TSavedEvent Saved;                   // every file kept; what the recorder records
    std::vector<std::string> Staged;     // their temporary names, file by file
    size_t Published = 0;                // files given their final names
    bool Held = false;                   // a writer holds the event until the run's end
    std::optional<std::string> Warning;  // the recorder's
  };
  // Hands the files of the event in hand, kept, to the saver.
  void StartSave(int line, int64_t headerOffset);
  // The event being saved, waited for (or only when the saver is done with it already):
  // deselected, or, when a flush failed, its files deleted and the error raised.
  void FinishSave(bool wait);
  // The run's message for the exception being handled.
  static std::string CaughtErrorText();
  // The file it names (its final name), or "".
  static std::string CaughtErrorFile();
  // The exception being handled when it is a close failure.
  static std::optional<platform::ECloseError> CaughtCloseError();

  TDownloadHost* Host = nullptr;
  int LastProgress = -1;
  int64_t NextProgressCheck = 0;
  std::array<uint8_t, 9> Signature{};
  TCardIdentity SavedCard;      // of the run's card, when it records its events
  std::string EventCardSha256;  // TEventContentHash of the event converted last, when recorded
  bool RecorderWarned = false;  // the recorder's warning was shown in this run
  std::optional<TPendingSave> Saving;
  std::vector<TConvertedEvent> Held;  // saved but held by a writer: deselected at the run's end
  TWriterLane Saver;
  std::unique_ptr<platform::TStaging> Staging;  // the run's
  // What the run's error concerns: the event whose save failed, the file that could not be
  // created.
  std::string FailedEvent;
  std::string FailedPath;

  std::mutex RunMutex;
  std::condition_variable RunEnded;

  TOutputWriter Writer;
  // One writer per kind of the snapshot, in table order; those that decode the frames are
  // shared between this thread and the lane's.
  std::vector<std::unique_ptr<TEventWriter>> Writers;
  std::vector<TEventWriter*> Here;
  std::vector<TEventWriter*> OnLane;
  bool ReadAhead = false;  // the next block is read on the output writer's thread
  TWriterLane Lane;
};
