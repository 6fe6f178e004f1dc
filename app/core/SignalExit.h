// SIGTERM, SIGINT and SIGHUP (shutdown, Ctrl+C in a terminal, logout) end the
// program the way File > Exit does, only without its question: the modal
// windows close from the top down, the main window's teardown stops a running
// recording and finishes its file, and main returns, so the settings and the
// emulated devices' control socket are left as at any ordinary end.
//
// The handler only writes the signal's number into a pipe (the self-pipe
// pattern: write(2) is safe in a handler, Qt is not); a socket notifier reads
// it on the user-interface thread. Each signal is caught once
// (SA_RESETHAND): a second one of the same kind, say Ctrl+C again while the
// teardown waits on a device, ends the process at once as it did before.
#pragma once

// Installs the handlers for the rest of the process. Call once on the
// user-interface thread after the QApplication exists; later calls do
// nothing. False when no QApplication exists or the pipe cannot be made (the
// signals then keep their default action).
bool InstallSignalExit();

// The signal that asked the program to end, 0 while none did.
// User-interface thread.
int SignalExitReceived();

// What a caught signal does on the user-interface thread: every modal window
// (message boxes, the main window run by exec) is ended as rejected, the
// topmost first, and any open popup menu is closed. When no modal window
// runs yet (the signal came during start-up), it tries again every 50 ms
// until one does. Exposed for tests.
void EndModalWindowsForSignal();
