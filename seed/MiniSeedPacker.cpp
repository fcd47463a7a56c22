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

void CopyCode(char (&target)[11], const std::string& code) {
  std::memset(target, 0, sizeof target);
  std::memcpy(target, code.data(), std::min(code.size(), sizeof target - 1));
}

}  // namespace

TMiniSeedPacker::TMiniSeedPacker(const TMiniSeedStream& stream, TRecordSink sink)
    : Sink(std::move(sink)), Rate(stream.SampleRate) {
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
  // libmseed takes the data quality flags from a fixed header given beforehand.
  Record->fsdh = static_cast<fsdh_s*>(std::calloc(1, sizeof(fsdh_s)));
  if (Record->fsdh == nullptr) {
    msr_free(&Record);
    throw std::bad_alloc();
  }
  Record->fsdh->dq_flags = stream.AmplifierSaturation ? 0x01 : 0x00;
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
