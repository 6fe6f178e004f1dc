#include "remote/SignalExit.h"

#include "common/AppTrace.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kRetryMs = 50;

// Written once by CatchExitSignals before any handler is set, then only
// read (the handler writes into it); never closed: the handlers live as long
// as the process.
int g_pipe_read = -1;
int g_pipe_write = -1;
// User-interface thread only.
int g_received = 0;
QSocketNotifier* g_notifier = nullptr;
SignalExitAction g_action;

extern "C" void OnExitSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request; nothing is lost by dropping this one.
    if (write(g_pipe_write, &number, 1) < 0) {
    }
    errno = saved;
}

void ReadSignals(int fd) {
    unsigned char numbers[16];
    ssize_t n;
    while ((n = read(fd, numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            AppTracer().Trace(L"%s(): signal %d, the program ends as File > Exit does",
                              "SignalExit", static_cast<int>(numbers[i]));
            if (g_received == 0)
                g_received = numbers[i];
        }
    }
    if (g_action)
        g_action();
    else
        EndModalWindowsForSignal();
}

} // namespace

bool CatchExitSignals() {
    if (g_pipe_write >= 0)
        return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    g_pipe_read = fds[0];
    g_pipe_write = fds[1];
    struct sigaction action = {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
    return true;
}

bool InstallSignalExit(SignalExitAction action) {
    if (g_notifier != nullptr)
        return true;
    if (QCoreApplication::instance() == nullptr || !CatchExitSignals())
        return false;
    g_action = std::move(action);
    g_notifier =
        new QSocketNotifier(g_pipe_read, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(g_notifier, &QSocketNotifier::activated, g_notifier,
                     [] { ReadSignals(g_pipe_read); });
    return true;
}

int SignalExitReceived() {
    return g_received;
}

void EndModalWindowsForSignal() {
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        // Start-up: the main window is not running yet.
        QTimer::singleShot(kRetryMs, QCoreApplication::instance(), &EndModalWindowsForSignal);
        return;
    }
    // Each ended window leaves the modal stack, so the next one below is active.
    for (; modal != nullptr; modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
        if (modal->isVisible())
            break; // it refused to close; the event loop will try no harder
    }
}
