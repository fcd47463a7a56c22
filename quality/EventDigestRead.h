#pragma once
// Reads the frames of one event off the card's data file into a TEventDigest, on a handle of
// its own opened for reading only: a preview or a report never changes the card, and can run
// beside the window's own use of the card.
//
// The frames are read in blocks; a frame that cannot be read whole (an input/output error, a
// data file that ends inside the event) ends the reading, and the frames from it to the end
// of the event are fed as unread (zeros in the figures, as the record file holds them; a gap
// in the envelopes). A cancel flag is looked at
// between blocks.

#include <atomic>
#include <cstdint>
#include <string>

#include "quality/EventDigest.h"

struct TEventFrames {
  std::string DataFilePath;
  int64_t FirstRecord = 0;  // the event's first sample, in 3-byte records from the file start
  int Channels = 0;
  int64_t Frames = 0;  // samples per channel
};

struct TEventDigestRead {
  int64_t FramesRead = 0;  // frames read whole off the card; the rest are zeros
  int Error = 0;           // 0, or the code of the input/output error (or open) that ended it
  bool Cancelled = false;  // stopped by the flag: the digest is incomplete
  bool Complete() const { return !Cancelled && Error == 0; }
};

// Feeds `digest` (made for event.Channels channels and event.Frames frames) with the event's
// frames. A data file that ends inside the event is not an error (Error stays 0): FramesRead
// tells how far the card reached.
TEventDigestRead ReadEventDigest(const TEventFrames& event, TEventDigest& digest,
                                 const std::atomic<bool>* cancel = nullptr);
