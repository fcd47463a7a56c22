#include "quality/EventDigestRead.h"

#include <algorithm>
#include <vector>

#include "card/CardLayout.h"
#include "platform/RecordFile.h"

namespace {

// About 1 MiB of frames per read: few system calls, and a cancel is seen within a block.
constexpr int64_t BlockBytes = 1 << 20;

}  // namespace

TEventDigestRead ReadEventDigest(const TEventFrames& event, TEventDigest& digest,
                                 const std::atomic<bool>* cancel) {
  TEventDigestRead result;
  const int channels = digest.Channels();
  const int64_t frames = std::max<int64_t>(event.Frames, 0);
  if (channels <= 0 || frames == 0) return result;
  auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };

  platform::TRecordFile file;
  if (int code =
          file.Reset(event.DataFilePath, card_layout::RecordSize, platform::TOpenMode::ReadOnly)) {
    result.Error = code;
    digest.AddUnreadFrames(frames);
    return result;
  }
  const int64_t frameBytes = 3 * int64_t{channels};
  const int64_t blockFrames = std::max<int64_t>(1, BlockBytes / frameBytes);
  std::vector<uint8_t> block(static_cast<size_t>(std::min(blockFrames, frames) * frameBytes));
  try {
    file.Seek(event.FirstRecord);
  } catch (const platform::EInOutError& error) {
    result.Error = error.Code();
  }
  while (result.Error == 0 && result.FramesRead < frames) {
    if (cancelled()) {
      result.Cancelled = true;
      break;
    }
    const int64_t wanted = std::min(blockFrames, frames - result.FramesRead);
    const platform::TReadResult read = file.Read(block.data(), wanted * channels);
    const int64_t whole = std::min(read.Records / channels, wanted);
    digest.AddFrames(block.data(), whole);
    result.FramesRead += whole;
    result.Error = read.Error;
    if (whole < wanted) break;
  }
  file.Close();
  if (!result.Cancelled) digest.AddUnreadFrames(frames - result.FramesRead);
  return result;
}
