// The miniSEED file: one per event, the record streams of all its channels.
//   D/B.mseed    (260614_1023_047.001.mseed)

#include <cstring>

#include "writers/SeedWriter.h"

namespace {

class TMiniSeedWriter : public TSeedWriter {
 public:
  explicit TMiniSeedWriter(TOutputWriter& shared) : TSeedWriter(shared, true) {}

 private:
  std::vector<std::string> DoNames(const std::string& baseName, int /*channels*/) const override {
    return {baseName + ".mseed"};
  }
  std::string DoCreate(const TEventSetup& event) override {
    if (!HasStreams()) return {};  // refused
    const std::string name = event.BaseName + ".mseed";
    if (!CreateFile(File, event, name, 1)) return event.Directory + name;
    return {};
  }
  void DoWriteHeader(const TEventSetup& /*event*/) override {}
  void DoFlush() override {
    if (Pending && Pending->Used > 0) Writer.Submit(File.File, std::move(Pending));
  }
  void DoRelease() override { Writer.Release(std::move(Pending)); }

 protected:
  // Records of all channels go to the file in the order they are packed.
  void TakeRecord(int /*channel*/, const char* record, size_t length) override {
    if (Pending && Pending->Used + length > TOutputWriter::BufferBytes) {
      Writer.Submit(File.File, std::move(Pending));
    }
    if (!Pending) {
      Pending = Writer.Acquire();
      Pending->Used = 0;
    }
    std::memcpy(Pending->Bytes.data() + Pending->Used, record, length);
    Pending->Used += length;
  }

 private:
  TOutput File;
  TOutputWriter::TBufferPtr Pending;
};

}  // namespace

std::unique_ptr<TEventWriter> NewMiniSeedWriter(TOutputWriter& writer) {
  return std::make_unique<TMiniSeedWriter>(writer);
}
