#pragma once
// What the record file and the sensor files share: text files of a header and one line of
// tab-separated decimal samples per frame, each over a range of the frame's channels.

#include <string>
#include <vector>

#include "writers/EventWriter.h"

// The header lines of the record file (sensor 0) or of sensor file s of the event.
std::vector<std::string> TextHeaderLines(const TEventSetup& event, int sensor);

class TTextWriter : public TEventWriter {
 public:
  explicit TTextWriter(TOutputWriter& shared) : TEventWriter(shared, true) {}

 protected:
  void DoWriteHeader(const TEventSetup& event) override;
  void DoWriteFrames(const uint8_t* frames, int64_t count) override;
  void DoPad(int64_t frames) override;
  void DoFlush() override;
  void DoRelease() override;

 protected:
  // A text file of the event: channels First to First + Count - 1 (0-based) of each frame;
  // its header is that of sensor HeaderSensor (0: the record file).
  struct TTextFile {
    TOutput Out;
    int First = 0;
    int Count = 0;
    int HeaderSensor = 0;
    TOutputWriter::TBufferPtr Pending;  // lines not yet handed to the output writer
    std::string ZeroBlock;              // PadChunkFrames lines of zeros, made when needed
  };
  // Creates the file of `text` for the event. False when it cannot be.
  bool CreateText(TTextFile& text, const TEventSetup& event, const std::string& name,
                  int headerSensor, int first, int count);
  void Closed() override { Texts.clear(); }

 private:
  void WriteLines(TTextFile& text, const uint8_t* frames, int64_t count);
  void FlushText(TTextFile& text);
  std::vector<TTextFile*> Texts;  // those of the event in hand
  int Channels = 0;
};
