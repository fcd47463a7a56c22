// The SDS archive rooted at the destination: the event's records filed by channel and day
// (seed/SdsArchive.h). Its day files are no event names: they are merged into, never
// replaced, and a record already filed is not written again. One archive session for the run:
// what its day files hold is learned once, and events filed before records already there wait
// in its batch until the run's end, so that a day file is rewritten once, not once per event.

#include <utility>

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
    // The run's archive, the same for all its events.
    if (!Session) {
      Root = event.Products.ArchiveRoot;
      if (Root.empty()) {
        Root = event.Directory;
        if (Root.size() > 1) Root.pop_back();  // the separator
      }
      Session = std::make_unique<seed::TSdsSession>(Root);
    }
    Records = std::make_unique<seed::TSdsRecords>(Root);
    return {};
  }
  void DoWriteHeader(const TEventSetup& /*event*/) override {}
  void DoRelease() override { Records.reset(); }

 protected:
  void TakeRecord(int /*channel*/, const char* record, size_t length) override {
    Records->Append(record, length);
  }
  // Filed once the event is complete, all its channels in one insertion: a stopped or failed
  // event, or one whose filing fails, leaves the archive as it was. The insertion is the run's
  // to make where it saves its events, after those before it: the records go with it.
  void StreamsFinished() override {
    Filing = [this, records = std::shared_ptr<seed::TSdsRecords>(std::move(Records))] {
      seed::TSdsInsertResult result = Session->Insert(*records);
      KeepFiled();  // held insertions a full batch wrote meanwhile
      return result;
    };
  }
  void DoFinishRun() override {
    if (!Session) return;
    Session->Flush();
    KeepFiled();
  }
  void KeepFiled() {
    for (seed::TSdsInsertResult& filed : Session->TakeFiled()) RunFilings.push_back(std::move(filed));
  }
  TFiling DoTakeFiling() override { return std::exchange(Filing, nullptr); }
  std::vector<seed::TSdsInsertResult> DoTakeRunFilings() override { return std::move(RunFilings); }

 private:
  std::string Root;
  // Of the run: used by one insertion at a time, in the order of the events.
  std::unique_ptr<seed::TSdsSession> Session;
  // The event's records, each channel's in order: spooled past a small bound, so that an
  // event of any length takes the same memory.
  std::unique_ptr<seed::TSdsRecords> Records;
  TFiling Filing;                                  // of the event just ended
  std::vector<seed::TSdsInsertResult> RunFilings;  // held ones written since
};

}  // namespace

std::unique_ptr<TEventWriter> NewSdsWriter(TOutputWriter& writer) {
  return std::make_unique<TSdsWriter>(writer);
}
