#pragma once
// The index of an SDS archive: every miniSEED record of its day files, found by reading each
// record's header and skipping to the next by the record's length, without decoding samples.
//
//   ROOT/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DDD
//
// The records tell the channel and time; the directories and file names are only how the day
// files are found (any depth; a file counts when its name has the day file's seven parts).
// What cannot be read is reported with the file's name and skipped, and the rest is read: a
// file of another kind, a truncated or corrupt record (the file is searched for the next
// record), a record with an impossible rate or time, a symbolic link that loops or dangles,
// a special file (a pipe is never opened). Files whose names start with '.' (a writer's
// temporary files) are left alone.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace survey {

// The archive cannot be surveyed at all (its root is no readable directory).
class EArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TArchiveProblem {
  std::string File;  // the path as found under the root
  std::string Text;  // "byte 8192: impossible sample rate -5 Hz; record skipped"
};

// The survey was stopped by its caller (TSurveyProgress::Cancelled).
class ESurveyCancelled : public std::runtime_error {
 public:
  ESurveyCancelled() : std::runtime_error("survey cancelled") {}
};

// Reports the survey's progress; called on the surveying thread.
class TSurveyProgress {
 public:
  virtual ~TSurveyProgress() = default;
  // `done` of `total` steps of the phase ("headers", "day plots", "noise"); item: the file or
  // channel being worked on.
  virtual void Step(std::string_view phase, int64_t done, int64_t total,
                    std::string_view item) = 0;
  // Asked between steps (a file's headers, a channel-day, a run of samples); true ends the
  // survey with ESurveyCancelled. A window drops the survey it no longer needs this way; it
  // may be asked from the surveying thread while another thread sets it.
  virtual bool Cancelled() const { return false; }
};

// Throws ESurveyCancelled when the caller has cancelled.
void ThrowIfCancelled(const TSurveyProgress* progress);

struct TRecordEntry {
  int64_t Start = 0;  // microseconds since 1970
  int64_t End = 0;    // the time after its last sample
  int64_t Offset = 0;  // in its file
  uint32_t File = 0;   // index into TArchiveIndex::Files
  uint32_t Length = 0;
  uint32_t Samples = 0;
  double Rate = 0;
};

struct TChannelRecords {
  std::string Id;                     // NET.STA.LOC.CHA
  std::vector<TRecordEntry> Records;  // by start time, then end time
};

struct TArchiveIndex {
  std::string Root;
  std::vector<std::string> Files;        // the day files read, full paths
  std::vector<TChannelRecords> Channels;  // by id
  std::vector<TArchiveProblem> Problems;
  int64_t RecordCount = 0;
};

// Throws EArchiveError when the root is not a readable directory, ESurveyCancelled when
// cancelled.
TArchiveIndex IndexArchive(const std::string& root, TSurveyProgress* progress = nullptr);

// The day files under the root, sorted, with the entries that are skipped reported in
// `problems`.
std::vector<std::string> FindDayFiles(const std::string& root,
                                      std::vector<TArchiveProblem>& problems);

// Whether a file name has the day file's form NET.STA.LOC.CHA.TYPE.YEAR.DDD.
bool IsDayFileName(std::string_view name);

}  // namespace survey
