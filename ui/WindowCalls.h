#pragma once
// Calls from other threads (the download worker) carried out on the window thread, in the
// order they were made. The window thread carries them out from its event loop, or at once
// while it waits for something only they can bring about (ServeUntil): a window waiting for
// the end of a run needs neither to poll nor to re-enter its event loop.

#include <functional>

namespace WindowCalls {

// Queues `call` for the window thread and returns at once; on the window thread it runs at
// once.
void Post(std::function<void()> call);
// Runs `call` on the window thread and returns when it is done, raising what it raised; on
// the window thread itself it runs at once.
void Invoke(const std::function<void()>& call);
// On the window thread: carries out the queued calls as they come until `done` (checked
// after each) holds. Returns at once when it holds already and nothing is queued.
void ServeUntil(const std::function<bool()>& done);

}  // namespace WindowCalls
