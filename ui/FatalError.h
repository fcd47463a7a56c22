#pragma once
// A file that could not be closed ends the desktop program: what was written to it may not
// have reached it, so nothing the program would go on to do can be trusted. Its error box
// ("CloseFile error <code>, file=<name>"), then exit code 1, from whichever thread met it.

#include "platform/IoError.h"

[[noreturn]] void EndOnCloseError(const platform::ECloseError& error);

// Makes a close failure that no handler caught (one thrown before the event loop runs, or out
// of an event handler) end the program the same way; any other uncaught exception still ends
// it as before.
void CatchUncaughtCloseErrors();
