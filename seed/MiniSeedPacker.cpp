#include "seed/MiniSeedPacker.h"

#include <libmseed.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "seed/SeedError.h"
#include "seed/SeedText.h"

namespace seed {

namespace {

// Samples gathered before libmseed packs the full records among them.
constexpr size_t PackChunk = 64 * 1024;

// Fixed header of a record: the sample count (big-endian 16 bits), the I/O and clock flags and
// the data quality flags.
constexpr size_t SampleCountByte = 30;
constexpr size_t QualityFlagsByte = 38;
constexpr uint8_t ClockLockedFlag = 0x20;
constexpr uint8_t SaturationFlag = 0x01;

void CopyCode(char (&target)[11], const std::string& code) {
  std::memset(target, 0, sizeof target);
  std::memcpy(target, code.data(), std::min(code.size(), sizeof target - 1));
}

}  // namespace

TMiniSeedPacker::TMiniSeedPacker(const TMiniSeedStream& stream, TRecordSink sink)
    : Sink(std::move(sink)), Rate(stream.SampleRate), Saturation(stream.Saturation) {
  CheckCodes(stream.Codes);
  if (!(Rate > 0) || !std::isfinite(Rate)) {
    throw ESeedError("sample rate " + RealText(Rate) + " Hz: it must be above 0");
  }
  int16_t factor = 0;
  int16_t multiplier = 0;
  if (ms_genfactmult(Rate, &factor, &multiplier) != 0) {
    throw ESeedError("sample rate " + RealText(Rate) + " Hz cannot be written in a record");
  }
  if (!stream.Start.IsValid()) {
    throw ESeedError("start time " + stream.Start.Text() + " does not exist");
  }
  const int length = stream.RecordLength;
  if (length < 256 || length > 65536 || (length & (length - 1)) != 0) {
    throw ESeedError("record length " + DecimalText(length) +
                     ": it must be a power of two from 256 to 65536");
  }
  StartTime = stream.Start.EpochMicroseconds();

  Record = msr_init(nullptr);
  if (Record == nullptr) throw std::bad_alloc();
  CopyCode(Record->network, stream.Codes.Network);
  CopyCode(Record->station, stream.Codes.Station);
  CopyCode(Record->location, stream.Codes.Location);
  CopyCode(Record->channel, stream.Codes.Channel);
  Record->dataquality = 'D';
  Record->reclen = length;
  Record->encoding = DE_STEIM2;
  Record->byteorder = 1;  // big-endian
  Record->samprate = Rate;
  Record->sampletype = 'i';
  Record->sequence_number = 1;
  // libmseed takes the flags from a fixed header given beforehand; the saturation flag is set
  // per record as the records come out (Collect).
  Record->fsdh = static_cast<fsdh_s*>(std::calloc(1, sizeof(fsdh_s)));
  if (Record->fsdh == nullptr) {
    msr_free(&Record);
    throw std::bad_alloc();
  }
  Record->fsdh->io_flags = stream.ClockLocked ? ClockLockedFlag : 0x00;
  Pending.reserve(PackChunk + 4096);
  StartSegment(0);
}

TMiniSeedPacker::~TMiniSeedPacker() {
  Record->datasamples = nullptr;  // the samples belong to Pending
  msr_free(&Record);
}

int64_t TMiniSeedPacker::SampleTime(int64_t index) const {
  const double rate = Rate;
  if (rate == std::floor(rate)) {
    // Integral rates, the recorder's: exact to the microsecond, rounded to nearest.
    const auto r = static_cast<int64_t>(rate);
    return StartTime + (index * MicrosecondsPerSecond + r / 2) / r;
  }
  return StartTime + std::llround(static_cast<double>(index) * 1e6 / rate);
}

int64_t TMiniSeedPacker::FirstSampleOfNextDay(int64_t sampleIndex) const {
  const int64_t midnight = (SampleTime(sampleIndex) / MicrosecondsPerDay + 1) * MicrosecondsPerDay;
  // The first index whose time is midnight or later; SampleTime rounds, so check around the
  // estimate.
  auto index =
      static_cast<int64_t>(std::floor(static_cast<double>(midnight - StartTime) * Rate / 1e6));
  index = std::max(index - 2, sampleIndex + 1);
  while (SampleTime(index) < midnight) ++index;
  return index;
}

void TMiniSeedPacker::StartSegment(int64_t firstSample) {
  Record->starttime = SampleTime(firstSample);
  NextBoundary = FirstSampleOfNextDay(firstSample);
}

void TMiniSeedPacker::Collect(char* record, int length, void* self) {
  auto* packer = static_cast<TMiniSeedPacker*>(self);
  if (packer->SinkError) return;
  // The records of one msr_pack come in order, each from the samples after the last's.
  const auto count = static_cast<size_t>(static_cast<uint8_t>(record[SampleCountByte]) << 8 |
                                         static_cast<uint8_t>(record[SampleCountByte + 1]));
  const size_t first = std::min(packer->PackedOfPending, packer->Pending.size());
  const size_t end = std::min(first + count, packer->Pending.size());
  packer->PackedOfPending = end;
  bool saturated = false;
  if (const auto& limits = packer->Saturation) {
    const auto begin = packer->Pending.begin();
    saturated =
        std::any_of(begin + static_cast<ptrdiff_t>(first), begin + static_cast<ptrdiff_t>(end),
                    [&](int32_t s) { return s <= limits->Low || s >= limits->High; });
  }
  // libmseed packs every record of a call in one buffer: the flag is set or cleared each time.
  const auto flags = static_cast<uint8_t>(record[QualityFlagsByte]);
  record[QualityFlagsByte] = static_cast<char>(
      saturated ? flags | SaturationFlag : flags & static_cast<uint8_t>(~SaturationFlag));
  try {
    packer->Sink(record, static_cast<size_t>(length));
    ++packer->Records;
  } catch (...) {
    packer->SinkError = std::current_exception();
  }
}

void TMiniSeedPacker::Pack(bool flush) {
  if (Pending.empty()) return;
  Record->datasamples = Pending.data();
  Record->numsamples = static_cast<int64_t>(Pending.size());
  PackedOfPending = 0;
  int64_t packed = 0;
  const int result = msr_pack(Record, &TMiniSeedPacker::Collect, this, &packed, flush ? 1 : 0, 0);
  Record->datasamples = nullptr;
  Record->numsamples = 0;
  if (SinkError) {
    Finished = true;
    std::rethrow_exception(SinkError);
  }
  if (result < 0) {
    Finished = true;
    throw ESeedError("miniSEED packing failed for " + std::string(Record->network) + "." +
                     Record->station + "." + Record->location + "." + Record->channel);
  }
  Pending.erase(Pending.begin(), Pending.begin() + static_cast<ptrdiff_t>(packed));
}

void TMiniSeedPacker::Add(const int32_t* samples, size_t count) {
  if (Finished) throw std::logic_error("TMiniSeedPacker::Add after Finish");
  if (count == 0) return;
  const auto [low, high] = std::minmax_element(samples, samples + count);
  if (*low < LowestSample || *high > HighestSample) {
    const int32_t bad = *low < LowestSample ? *low : *high;
    throw ESeedError("sample " + DecimalText(bad) + " is out of the range of a record");
  }
  while (count > 0) {
    const auto toBoundary =
        static_cast<size_t>(std::min<int64_t>(NextBoundary - Added, static_cast<int64_t>(count)));
    const size_t room = PackChunk > Pending.size() ? PackChunk - Pending.size() : 0;
    const size_t run = std::min(toBoundary, std::max<size_t>(room, 1));
    Pending.insert(Pending.end(), samples, samples + run);
    samples += run;
    count -= run;
    Added += static_cast<int64_t>(run);
    if (Added == NextBoundary) {
      Pack(true);
      StartSegment(Added);
    } else if (Pending.size() >= PackChunk) {
      Pack(false);
    }
  }
}

void TMiniSeedPacker::Finish() {
  if (Finished) return;
  Pack(true);
  Finished = true;
}

}  // namespace seed
