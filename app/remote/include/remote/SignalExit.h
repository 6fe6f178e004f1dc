// SIGTERM, SIGINT and SIGHUP (shutdown, Ctrl+C in a terminal, logout) end the
// program the way File > Exit does, only without its question: the modal
// windows close from the top down, the main window's teardown stops a running
// recording and finishes its file, and main returns, so the settings and the
// emulated devices' control socket are left as at any ordinary end.
//
// The handler only writes the signal's number into a pipe (the self-pipe
// pattern: write(2) is safe in a handler, Qt is not); a socket notifier reads
// it on the user-interface thread. The handlers are set first thing in main,
// the reader once Qt runs; what comes in between waits in the pipe. Each signal is caught once
// (SA_RESETHAND): a second one of the same kind, say Ctrl+C again while the
// teardown waits on a device, ends the process at once as it did before.
#pragma once

#include <functional>

// Catches the three signals for the rest of the process: from here on they
// are only noted (in the pipe) until InstallSignalExit reads them, so one
// that comes during start-up waits for the program instead of killing it.
// Call first thing in main, before any thread starts; later calls do
// nothing. False when the pipe cannot be made (the signals then keep their
// default action).
bool CatchExitSignals();

// What the user-interface thread does for a caught signal; the default ends
// the modal windows (EndModalWindowsForSignal).
using SignalExitAction = std::function<void()>;

// Catches the signals (CatchExitSignals) if that was not done, and reads
// them on the user-interface thread, where action answers each; a signal
// caught before this call is answered as soon as the event loop runs. Call
// once on the user-interface thread after the QCoreApplication exists; later
// calls do nothing. False when no QCoreApplication exists or the signals
// cannot be caught.
bool InstallSignalExit(SignalExitAction action = {});

// The signal that asked the program to end, 0 while none did.
// User-interface thread.
int SignalExitReceived();

// What a caught signal does on the user-interface thread: every modal window
// (message boxes, the main window run by exec) is ended as rejected, the
// topmost first, and any open popup menu is closed. When no modal window
// runs yet (the signal came during start-up), it tries again every 50 ms
// until one does. Exposed for tests.
void EndModalWindowsForSignal();
