// The SDS archive rooted at the destination: the event's records filed by channel and day
// (seed/SdsArchive.h). Its day files are no event names: they are merged into, never
// replaced, and a record already filed is not written again.

#include "seed/SdsArchive.h"
#include "writers/SeedWriter.h"

namespace {

class TSdsWriter : public TSeedWriter {
 public:
  explicit TSdsWriter(TOutputWriter& shared) : TSeedWriter(shared, false) {}

 private:
  std::vector<std::string> DoNames(const std::string& /*baseName*/,
                                   int /*channels*/) const override {
    return {};
  }
  std::string DoCreate(const TEventSetup& event) override {
    Root = event.Directory;
    if (Root.size() > 1) Root.pop_back();  // the separator
    Records.clear();
    return {};
  }
  void DoWriteHeader(const TEventSetup& /*event*/) override {}
  void DoRelease() override { Records.clear(); }

 protected:
  void TakeRecord(int /*channel*/, const char* record, size_t length) override {
    Records.append(record, length);
  }
  // Filed once the event is complete, all its channels in one insertion: a stopped or failed
  // event, or one whose filing fails, leaves the archive as it was.
  void StreamsFinished() override {
    seed::TSdsArchive(Root).Insert(Records);
    Records.clear();
  }

 private:
  std::string Root;
  std::string Records;  // the event's records, each channel's in order
};

}  // namespace

std::unique_ptr<TEventWriter> NewSdsWriter(TOutputWriter& writer) {
  return std::make_unique<TSdsWriter>(writer);
}
