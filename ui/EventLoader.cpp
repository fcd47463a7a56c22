#include "ui/EventLoader.h"

#include "download/DownloadSnapshot.h"
#include "seed/StationInventory.h"
#include "platform/IoError.h"

TEventLoader::TEventLoader(QObject* parent) : QObject(parent) {
  Worker = std::thread([this] { Run(); });
}

TEventLoader::~TEventLoader() {
  {
    std::lock_guard lock(Mutex);
    Stopping = true;
    Next.reset();
    if (CancelRead) CancelRead->store(true);
  }
  Wake.notify_one();
  Worker.join();
}

void TEventLoader::Load(const TPreviewRequest& request) {
  {
    std::lock_guard lock(Mutex);
    Next = request;
    Asked = ++Generation;
    if (CancelRead) CancelRead->store(true);
  }
  Pending = true;
  Wake.notify_one();
}

void TEventLoader::Cancel() {
  std::lock_guard lock(Mutex);
  Next.reset();
  Asked = ++Generation;
  if (CancelRead) CancelRead->store(true);
  Pending = false;
}

void TEventLoader::Run() {
  for (;;) {
    TPreviewRequest request;
    uint64_t generation = 0;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    {
      std::unique_lock lock(Mutex);
      Wake.wait(lock, [this] { return Stopping || Next.has_value(); });
      if (Stopping) return;
      request = std::move(*Next);
      Next.reset();
      generation = Generation;
      CancelRead = cancel;
    }
    const TEventFrames& frames = request.Frames;
    TEventDigest digest(frames.Channels, frames.Frames);
    const TEventDigestRead read = ReadEventDigest(frames, digest, cancel.get());
    if (read.Cancelled) continue;
    TSettings named;
    named.Network = request.Network;
    named.StationSheet = request.StationSheet;
    TProductOptions products = ReadProductOptions(named);
    if (!products.Problem.empty()) products = TProductOptions{};
    const seed::TCodeOptions codes{products.Network, products.Sheet.get()};
    auto event = std::make_shared<TPreviewEvent>(
        PreviewOfDigest(digest, request.Line, request.File, request.Start, request.SampleRate,
                        request.StationSerial, read.FramesRead, &codes));
    if (read.Error != 0) {
      event->Flags.prepend(QString::fromStdString(platform::IoErrorText(read.Error)));
    }
    Deliver(generation, request.Line, std::move(event), read.Error);
  }
}

void TEventLoader::Deliver(uint64_t generation, int line,
                           std::shared_ptr<const TPreviewEvent> event, int error) {
  QMetaObject::invokeMethod(
      this,
      [this, generation, line, event = std::move(event), error] {
        if (generation != Asked) return;  // a later request is on its way
        Pending = false;
        emit Loaded(line, event, error);
      },
      Qt::QueuedConnection);
}
