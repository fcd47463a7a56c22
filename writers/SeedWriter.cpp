#include "writers/SeedWriter.h"

#include <algorithm>

#include "event/SampleDecoder.h"
#include "seed/SeedError.h"
#include "seed/StationInventory.h"

namespace {

// libmseed reads its packing settings into globals the first time it packs: one record is
// packed once, before the packers of two writers run on two threads.
void PrimePacking() {
  static const bool primed = [] {
    seed::TMiniSeedStream stream;
    stream.Codes = {"XX", "0", "", "HHZ"};
    stream.SampleRate = 1;
    seed::TMiniSeedPacker packer(stream, [](const char*, size_t) {});
    const int32_t sample = 0;
    packer.Add(&sample, 1);
    packer.Finish();
    return true;
  }();
  (void)primed;
}

}  // namespace

bool TSeedWriter::DoLead(TEventWriter& other) {
  auto* follower = dynamic_cast<TSeedWriter*>(&other);
  if (!follower || follower == this || follower->Leader || Leader) return false;
  Followers.push_back(follower);
  follower->Leader = this;
  return true;
}

void TSeedWriter::Packed(int channel, const char* record, size_t length) {
  TakeRecord(channel, record, length);
  for (TSeedWriter* follower : Followers) {
    if (follower->Open) follower->TakeRecord(channel, record, length);
  }
}

std::string TSeedWriter::DoRefusal(const TEventSetup& event) {
  PrimePacking();
  Packers.clear();
  Open = false;
  const TEventHeader& e = event.Header;
  const TProductOptions& products = event.Products;
  const seed::TCodeOptions codes{products.Network, products.Sheet.get()};
  seed::TMiniSeedStream stream;
  stream.SampleRate = e.SampleRate;
  stream.Start = event.Values.Start;
  stream.RecordLength = products.RecordLength;
  // Flagged per record: only the records that hold a sample at an end of the 24-bit range.
  stream.Saturation = seed::TMiniSeedStream::TSaturation{SampleDecoder::MinimumSample,
                                                         SampleDecoder::MaximumSample};
  stream.ClockLocked = event.Values.GpsFix;
  try {
    for (int c = 0; c < event.Channels; ++c) {
      stream.Codes = seed::ChannelCodesFor(codes, e.StationSerial, e.SampleRate, c);
      Packers.push_back(std::make_unique<seed::TMiniSeedPacker>(
          stream, [this, c](const char* record, size_t length) { Packed(c, record, length); }));
    }
  } catch (const seed::ESeedError& error) {
    Packers.clear();
    return error.what();
  }
  Open = true;
  // Led, the streams were made only to be checked: the leader's, of the same event and options,
  // give the records.
  if (Leader) Packers.clear();
  Samples.resize(Packers.size());
  return {};
}

void TSeedWriter::DoWriteFrames(const uint8_t* frames, int64_t count) {
  if (Packers.empty()) return;
  std::vector<int32_t*> to;
  for (std::vector<int32_t>& channel : Samples) {
    if (channel.size() < static_cast<size_t>(count)) channel.resize(static_cast<size_t>(count));
    to.push_back(channel.data());
  }
  SampleDecoder::DecodeFrames(frames, count, static_cast<int>(Packers.size()), to.data());
  for (size_t c = 0; c < Packers.size(); ++c) {
    Packers[c]->Add(Samples[c].data(), static_cast<size_t>(count));
  }
}

void TSeedWriter::DoPad(int64_t frames) {
  const std::vector<int32_t> zeros(static_cast<size_t>(frames), 0);
  for (const auto& packer : Packers) packer->Add(zeros.data(), zeros.size());
}

void TSeedWriter::DoEndEvent() {
  if (Packers.empty()) return;  // refused, or led: the leader ends the event
  for (const auto& packer : Packers) packer->Finish();
  StreamsFinished();
  for (TSeedWriter* follower : Followers) {
    if (follower->Open) follower->StreamsFinished();
  }
}

void TSeedWriter::Closed() {
  Packers.clear();
  Open = false;
}
