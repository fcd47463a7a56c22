// The binary copy of an event: the card signature (9 bytes), the event header (171 bytes:
// fields 1-12, fields 13-18 or blanks for a format-1 event, the header end), the frames as
// stored, the trailer.

#include <algorithm>
#include <cstring>

#include "writers/EventWriter.h"

namespace {

class TBinaryWriter : public TEventWriter {
 public:
  // The blocks it writes are those the run's output writer read.
  explicit TBinaryWriter(TOutputWriter& shared) : TEventWriter(shared, false) {}

 private:
  std::vector<std::string> DoNames(const std::string& baseName, int) const override {
    return {"Bin_" + baseName};
  }
  std::string DoCreate(const TEventSetup& event) override {
    const std::string name = "Bin_" + event.BaseName;
    if (!CreateFile(File, event, name, 3)) return event.Directory + name;
    return {};
  }
  void DoWriteHeader(const TEventSetup& event) override {
    if (!File.File.IsOpen()) return;
    std::array<uint8_t, 180> head;
    std::copy(event.Signature.begin(), event.Signature.end(), head.begin());
    const TEventHeader& header = event.Header;
    std::copy(header.HeaderImage.begin(), header.HeaderImage.end(), head.begin() + 9);
    // A format-1 header has no fields 13-18; the card state still holds those of some earlier
    // format-2 header, which would make the copy depend on what was read before it.
    if (header.EventFormat != 2) std::fill(head.begin() + 9 + 108, head.begin() + 9 + 162, ' ');
    File.File.Write(head.data(), static_cast<int64_t>(head.size() / 3));
  }
  void DoWriteFrames(const uint8_t*, int64_t) override {}
  bool DoTakeBlock(TOutputWriter::TBufferPtr& block, int64_t records) override {
    if (!File.File.IsOpen() || records <= 0) return false;
    block->Used = static_cast<size_t>(records * 3);
    Writer.Submit(File.File, std::move(block));
    return true;
  }
  void DoWriteTrailer(const uint8_t* trailer) override {
    if (!File.File.IsOpen()) return;
    TOutputWriter::TBufferPtr buffer = Writer.Acquire();
    std::memcpy(buffer->Bytes.data(), trailer, 9);
    buffer->Used = 9;
    Writer.Submit(File.File, std::move(buffer));
  }

  TOutput File;
};

}  // namespace

std::unique_ptr<TEventWriter> NewBinaryWriter(TOutputWriter& writer) {
  return std::make_unique<TBinaryWriter>(writer);
}
