#pragma once
// What the conversion benchmarks share: a generated card of realistic size, a run of the
// download over it in chosen kinds, a flushed copy of its data file as the baseline, and the
// process's processor time and peak memory.

#include <memory>
#include <string>

#include "base/Settings.h"
#include "card/TarqCard.h"
#include "platform/Drives.h"
#include "support/TestSupport.h"

namespace bench_support {

// 46 events of one hour at 125 Hz, 3 and 6 channels in turn: 279 MB of samples.
struct TBigCard {
  testing_support::TTempDir Dir;
  int Events = 46;
  int64_t Bytes = 0;
  TBigCard();
  // `events` events of 6 channels, each `minutes` long at `rate` Hz.
  TBigCard(int events, int rate, int minutes);
  std::string DataFile() const { return Dir / "fichbase.dat"; }
};

// Built once per program.
TBigCard& BigCard();

enum TKinds {
  Record = 1,
  Sensor = 2,
  Binary = 4,
  Sac = 8,
  All = 15,  // the four original kinds
  MiniSeed = 16,
  Sds = 32,
  AllSix = 63,
};

// Processor time of the whole process so far (every thread, user and system), in seconds.
double ProcessorSeconds();
// The peak resident memory from now on is measured anew (false when the system cannot).
bool ResetPeakMemory();
// The process's peak resident memory since the last reset, in bytes (-1: unknown).
int64_t PeakMemoryBytes();

void EmptyDirectory(const std::string& dir);
// The bytes of every file under the directory.
int64_t DirectoryBytes(const std::string& dir);

struct TCopyTimes {
  double Written = -1;  // seconds until the last block was written
  double Saved = -1;    // until the copy and its name were on the medium too
};
// Copies the data file in blocks of 1 MiB, as a file manager would, then saves it.
TCopyTimes CopySeconds(const std::string& from, const std::string& to);

// The big card on drive f:, converted in the kinds given into a directory.
class TCardRun {
 public:
  TCardRun(const TBigCard& card, const std::string& out, int kinds);
  ~TCardRun();
  TCardRun(const TCardRun&) = delete;
  TCardRun& operator=(const TCardRun&) = delete;

  // Converts every event. Returns the seconds taken, or -1 with the host's error.
  double ConvertAll(std::string& error);

  TTarqCard& Card() { return Tarq; }
  TSettings& Settings() { return Options; }

 private:
  const TBigCard& Big;
  std::shared_ptr<platform::TMappedDriveTable> Drives;
  TSettings Options;
  TTarqCard Tarq;
};

}  // namespace bench_support
