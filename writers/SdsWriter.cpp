// The SDS archive rooted at the destination: the event's records filed by channel and day
// (seed/SdsArchive.h). Its day files are no event names: they are merged into, never
// replaced, and a record already filed is not written again. One archive session for the run:
// what its day files hold is learned once, and events filed before records already there wait
// in its batch until the run's end, so that a day file is rewritten once, not once per event.

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
    std::string root = event.Products.ArchiveRoot;
    if (root.empty()) {
      root = event.Directory;
      if (root.size() > 1) root.pop_back();  // the separator
    }
    if (!Session || root != Root) {
      if (Session) Session->Flush();
      Root = root;
      Session = std::make_unique<seed::TSdsSession>(Root);
      Records = std::make_unique<seed::TSdsRecords>(Root);
    }
    Records->Clear();
    Held = false;
    return {};
  }
  void DoWriteHeader(const TEventSetup& /*event*/) override {}
  void DoRelease() override {
    if (Records) Records->Clear();
  }

 protected:
  void TakeRecord(int /*channel*/, const char* record, size_t length) override {
    Records->Append(record, length);
  }
  // Filed once the event is complete, all its channels in one insertion: a stopped or failed
  // event, or one whose filing fails, leaves the archive as it was.
  void StreamsFinished() override {
    Filing = Session->Insert(*Records);
    Held = !Filing->Durable;
    Records->Clear();
    KeepFiled();  // held insertions a full batch wrote meanwhile
  }
  bool DoHolds() const override { return Held; }
  void DoFinishRun() override {
    if (!Session) return;
    Session->Flush();
    KeepFiled();
  }
  void KeepFiled() {
    for (seed::TSdsInsertResult& filed : Session->TakeFiled()) RunFilings.push_back(std::move(filed));
  }
  std::optional<seed::TSdsInsertResult> DoTakeFiling() override {
    std::optional<seed::TSdsInsertResult> filing = std::move(Filing);
    Filing.reset();
    return filing;
  }
  std::vector<seed::TSdsInsertResult> DoTakeRunFilings() override { return std::move(RunFilings); }

 private:
  std::string Root;
  std::unique_ptr<seed::TSdsSession> Session;  // of the run
  // The event's records, each channel's in order: spooled past a small bound, so that an
  // event of any length takes the same memory.
  std::unique_ptr<seed::TSdsRecords> Records;
  bool Held = false;                           // the event in hand waits in the batch
  std::optional<seed::TSdsInsertResult> Filing;         // of the event in hand
  std::vector<seed::TSdsInsertResult> RunFilings;       // held ones written since
};

}  // namespace

std::unique_ptr<TEventWriter> NewSdsWriter(TOutputWriter& writer) {
  return std::make_unique<TSdsWriter>(writer);
}
