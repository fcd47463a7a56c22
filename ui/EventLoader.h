#pragma once
// Reads the frames of one event off the card on a thread of its own and hands its preview to
// the window thread, so that the window never waits for the card. A new request cancels the
// one being read: only the event asked for last is ever shown.

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "quality/EventDigestRead.h"
#include "quality/JsonViews.h"
#include "ui/WaveformPreview.h"

struct TPreviewRequest {
  int Line = 0;  // 1-based line of the event list
  TEventFrames Frames;
  QString File;
  TUtcTime Start;
  int SampleRate = 0;
  int64_t StationSerial = 0;
  // What names the channels' SEED codes: the network (empty: XX) and the station sheet's
  // path (empty: none). The sheet is read with the event, off the window's thread; codes that
  // cannot be used give the default codes.
  std::string Network;
  std::string StationSheet;
};

class TEventLoader : public QObject {
  Q_OBJECT

 public:
  explicit TEventLoader(QObject* parent = nullptr);
  ~TEventLoader() override;  // cancels what is in hand and waits for the thread

  // Reads this event next; the event being read is cancelled, and a request not yet started
  // is dropped.
  void Load(const TPreviewRequest& request);
  // Drops every request: nothing is announced any more until the next Load.
  void Cancel();
  // A request has been made whose answer has not been announced yet.
  bool Busy() const { return Pending; }

 signals:
  // On the window thread: the preview of the event of `line`. `error` is 0, or the code of the
  // input/output error that stopped the reading (the card could not be opened or read; the
  // preview then holds what was read, padded with zeros, and says so).
  void Loaded(int line, std::shared_ptr<const TPreviewEvent> event, int error);

 private:
  void Run();
  void Deliver(uint64_t generation, int line, std::shared_ptr<const TPreviewEvent> event,
               int error);

  std::mutex Mutex;
  std::condition_variable Wake;
  std::optional<TPreviewRequest> Next;
  uint64_t Generation = 0;                        // of the request asked for last; guarded by Mutex
  std::shared_ptr<std::atomic<bool>> CancelRead;  // of the read in hand; guarded by Mutex
  bool Stopping = false;
  bool Pending = false;  // window thread only
  uint64_t Asked = 0;    // window thread only: the generation of the last Load
  std::thread Worker;
};
