#include "ui/FatalError.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "base/Messages.h"

void EndOnCloseError(const platform::ECloseError& error) {
  Messages().Error(error.what());
  std::fflush(nullptr);
  std::_Exit(1);
}

namespace {

std::terminate_handler PreviousTerminate = nullptr;

[[noreturn]] void OnTerminate() {
  if (std::exception_ptr uncaught = std::current_exception()) {
    try {
      std::rethrow_exception(uncaught);
    } catch (const platform::ECloseError& error) {
      EndOnCloseError(error);
    } catch (...) {
    }
  }
  if (PreviousTerminate) PreviousTerminate();
  std::abort();
}

}  // namespace

void CatchUncaughtCloseErrors() {
  std::terminate_handler previous = std::set_terminate(OnTerminate);
  if (previous != OnTerminate) PreviousTerminate = previous;
}
