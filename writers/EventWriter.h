#pragma once
// One output kind of a download (record file, sensor files, binary copy, SAC files): the files
// it makes for an event, and what it writes into them. The run asks each selected kind for the
// names an event's base name would give, creates the files of every kind, then hands each the
// header, the frames as the card is read, padding after a read error, and the close (or the
// discard after a stop or an error).
//
// WriteFrames of the writers of one event may run on different threads at the same time; a
// writer touches only its own files and buffers there. Every other call comes from the run's
// thread while no WriteFrames is running.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Sha256.h"
#include "event/EventValues.h"
#include "ledger/Ledger.h"
#include "platform/RecordFile.h"
#include "platform/StagedFile.h"
#include "platform/WriteTap.h"
#include "seed/ProductOptions.h"
#include "seed/SdsArchive.h"
#include "writers/OutputWriter.h"

// The event in hand, as its writers see it.
struct TEventSetup {
  const TEventHeader& Header;  // the card's
  const TEventValues& Values;  // derived from it
  int32_t EpromVersion = -1;   // of the recorder, for the text headers
  // The run's comment: the text headers' "Comment:" block, when it has a line.
  const std::vector<std::string>& Comment;
  const TProductOptions& Products;  // the codes of the standard data products
  std::string Directory;            // ends with a separator
  std::string BaseName;         // yymmdd_hhmm[_serial][_letter].NNN
  int Channels = 0;             // 1 to MaxChannels
  int Sensors = 0;
  std::array<uint8_t, 9> Signature{};  // the card's signature, read when a kind asks for it
  // The run's: the files are written under temporary names, given their final ones once saved.
  platform::TStaging* Staging = nullptr;
};

// A file of the event closed without error: what the ledger records of it (its final path),
// and the temporary name it was written under, until it is saved.
struct TWrittenFile {
  TSavedFile Saved;
  std::string Staged;
};

class TEventWriter {
 public:
  // shared: the run's output writer, which also reads the card. A kind that writes much has
  // an output writer of its own: its writes then go on beside those of the other kinds.
  TEventWriter(TOutputWriter& shared, bool ownThread)
      : Own(ownThread ? std::make_unique<TOutputWriter>() : nullptr), Writer(Own ? *Own : shared) {}
  virtual ~TEventWriter() = default;
  TEventWriter(const TEventWriter&) = delete;
  TEventWriter& operator=(const TEventWriter&) = delete;

  // Every name (without directory) this kind may create for an event named baseName: an
  // event is written under a base name none of whose names is taken.
  std::vector<std::string> Names(const std::string& baseName, int channels) const {
    return DoNames(baseName, channels);
  }
  // Why the kind cannot write the event in hand (it then creates and writes nothing for it,
  // while the other kinds go on), or "". Asked before Create, again for every name tried.
  std::string Refusal(const TEventSetup& event) { return DoRefusal(event); }
  // Creates the event's files, each a new file under its temporary name. Returns the (final)
  // path that could not be created, or "".
  std::string Create(const TEventSetup& event) { return DoCreate(event); }
  // After Create failed: the name was found taken (another program made a file of that name
  // since it was checked), rather than the file not creatable.
  bool NameTaken() const { return Taken; }
  // After Create failed on a file it could not create: the system's code of the failure.
  int CreateErrorCode() const { return CreateCode; }
  void WriteHeader(const TEventSetup& event) { DoWriteHeader(event); }
  // A run of whole frames as read from the card, followed by at least one more readable byte.
  void WriteFrames(const uint8_t* frames, int64_t count) { DoWriteFrames(frames, count); }
  // The block the frames came from, `records` 3-byte records long (the whole samples read when
  // the card could not be read to its end): a kind that copies the card's bytes takes it and
  // returns true.
  bool TakeBlock(TOutputWriter::TBufferPtr& block, int64_t records) {
    return DoTakeBlock(block, records);
  }
  // The event's 9-byte trailer, when it could be read.
  void WriteTrailer(const uint8_t* trailer) { DoWriteTrailer(trailer); }
  // `frames` (at most PadChunkFrames) frames of zeros for frames the card could not give.
  // Everything buffered was flushed and written first.
  void Pad(int64_t frames) { DoPad(frames); }
  // All frames (and padding) are written and the event goes on to its close: a kind that
  // writes its outputs whole writes them now. Not called for an event stopped or failed.
  void EndEvent() { DoEndEvent(); }
  // Hands what is buffered to the output writer.
  void Flush() { DoFlush(); }
  // Drops what is buffered.
  void Release() { DoRelease(); }
  // The run's end, after its last event (also after a failure or a stop): writes what waits.
  // Throws when it cannot; the events it held are then not saved.
  void FinishRun() { DoFinishRun(); }
  // For a kind that files into an archive, the filing of the event just ended, taken once: the
  // run calls it where it saves the event, in the order of the events, while later events
  // convert. It throws when the filing fails. When the result is not Durable the event waits in
  // the writer, not yet on the medium, to be written with others by FinishRun: until then it is
  // not saved, and its counts are those it will write, without its filed channels.
  using TFiling = std::function<seed::TSdsInsertResult()>;
  TFiling TakeFiling() { return DoTakeFiling(); }
  // The held insertions that FinishRun wrote, with their filed channels: taken once.
  std::vector<seed::TSdsInsertResult> TakeRunFilings() { return DoTakeRunFilings(); }
  // Makes this kind hand `other`, a kind of the run asked after it, what `other` would make
  // of the frames itself, when both make the same bytes: `other` then takes no frames (the run
  // hands it none) and is done with each event when this kind is. Returns whether it does.
  bool Lead(TEventWriter& other) { return DoLead(other); }

  // Waits until what was handed to the writer's own output writer is written (raising a write
  // error), or drops it: for the run's output writer, the run does so itself.
  void Drain() {
    if (Own) Own->Drain();
  }
  void Abandon() {
    if (Own) Own->Abandon();
  }

  // Closes the event's files (flushed and written first); deleting them after a stop.
  void Close(bool deleting);
  // Closes and deletes every file created for the event in hand, ignoring further errors: the
  // files closed already too, until the run has taken them (TakeWritten).
  void Discard();
  // The files of the event in hand closed without error, with the size and SHA-256 of the
  // bytes written into them (Kind left empty). They then belong to the run: Discard no longer
  // deletes them.
  std::vector<TWrittenFile> TakeWritten();
  // The names of the files created for the event in hand.
  const std::vector<std::string>& CreatedNames() const { return Created; }

  static constexpr int64_t PadChunkFrames = 4096;

 protected:
  // The size and SHA-256 of the bytes handed to a file, taken as they are written.
  struct TFileDigest final : platform::TWriteTap {
    TSha256 Hash;
    int64_t Size = 0;
    void Written(const void* bytes, size_t size) override {
      Hash.Update(bytes, size);
      Size += static_cast<int64_t>(size);
    }
  };
  struct TOutput {
    platform::TRecordFile File;
    std::string Path;   // the temporary name, set while the file belongs to the event in hand
    std::string Final;  // the name it gets once saved
    TFileDigest Digest;
  };
  // Creates a file of the event (recordSize 0: a text file). False when it cannot be.
  bool CreateFile(TOutput& output, const TEventSetup& event, const std::string& name,
                  int recordSize);
  // After Close and Discard: no file belongs to an event in hand any more.
  virtual void Closed() {}

  // What a kind does for each public call of the same name; a kind overrides those it needs.
  virtual std::vector<std::string> DoNames(const std::string& baseName, int channels) const = 0;
  virtual std::string DoRefusal(const TEventSetup& /*event*/) { return {}; }
  virtual std::string DoCreate(const TEventSetup& event) = 0;
  virtual void DoWriteHeader(const TEventSetup& event) = 0;
  virtual void DoWriteFrames(const uint8_t* frames, int64_t count) = 0;
  virtual bool DoTakeBlock(TOutputWriter::TBufferPtr& /*block*/, int64_t /*records*/) {
    return false;
  }
  virtual void DoWriteTrailer(const uint8_t* /*trailer*/) {}
  virtual void DoPad(int64_t /*frames*/) {}
  virtual void DoEndEvent() {}
  virtual void DoFlush() {}
  virtual void DoRelease() {}
  virtual void DoFinishRun() {}
  virtual TFiling DoTakeFiling() { return nullptr; }
  virtual std::vector<seed::TSdsInsertResult> DoTakeRunFilings() { return {}; }
  virtual bool DoLead(TEventWriter& /*other*/) { return false; }
  // The files of the event in hand, in the order they were created.
  std::vector<TOutput*> Files;

 private:
  std::unique_ptr<TOutputWriter> Own;

 protected:
  TOutputWriter& Writer;

 private:
  std::vector<std::string> Created;
  std::vector<TWrittenFile> Written;  // closed, not yet taken by the run
  bool Taken = false;
  int CreateCode = 0;
};

// Names of the event's files, also used in the text headers.
std::string SensorFileName(int sensor, const std::string& baseName);
