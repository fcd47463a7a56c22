// The record file: every channel of an event in one text file, named after the event.

#include "writers/TextWriter.h"

namespace {

class TRecordWriter : public TTextWriter {
 public:
  using TTextWriter::TTextWriter;

 private:
  std::vector<std::string> DoNames(const std::string& baseName, int) const override {
    return {baseName};
  }
  std::string DoCreate(const TEventSetup& event) override {
    if (!CreateText(File, event, event.BaseName, 0, 0, event.Channels)) {
      return event.Directory + event.BaseName;
    }
    return {};
  }

 private:
  TTextFile File;
};

}  // namespace

std::unique_ptr<TEventWriter> NewRecordWriter(TOutputWriter& writer) {
  return std::make_unique<TRecordWriter>(writer);
}
