// RemoteServer: the running program's end of the remote channel
// (RemoteProtocol.h). A second start connects and sends commands; each is
// answered first and then run, one after the other, so a command sees what
// the one before it did.
//
// Threads: everything on the user-interface thread, which owns the server
// and its sockets; commands run from the event loop, never from a library
// thread.
#pragma once

#include "remote/CommandLine.h"
#include "remote/RemoteProtocol.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;
class QTimer;

class RemoteServer : public QObject {
public:
    // Whether command can run now (kOk), or why not.
    using Check = std::function<remote::Reply(const cli::RemoteCommand& command)>;
    using Run = std::function<void(const cli::RemoteCommand& command)>;
    // What a command that runs before its answer (RunsBeforeReply) did, for
    // the answer's note; empty: none.
    using Note = std::function<std::string(const cli::RemoteCommand& command)>;

    // Listens on socket_path (an empty path listens nowhere). A socket file
    // left there by a program that ended is replaced: the caller holds the
    // instance lock, so no other program listens on it.
    RemoteServer(QObject* parent, const std::string& socket_path, Check check, Run run,
                 Note note = {});
    ~RemoteServer() override;

    bool Listening() const;

    // The commands of the program's own command line: run in order, each
    // when check allows it, as soon as ready() holds (asked every
    // kReadyPollMs); a command that cannot run then is dropped. A note is
    // printed on standard output, as a second start prints it.
    static constexpr int kReadyPollMs = 100;
    void RunWhenReady(std::vector<cli::RemoteCommand> commands, std::function<bool()> ready);
    // While hold() is true (a Play under way), the next command of a
    // connection waits, asked again every kHoldPollMs: it sees what the one
    // before it started once that has finished.
    static constexpr int kHoldPollMs = 20;
    void SetHold(std::function<bool()> hold) { hold_ = std::move(hold); }

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    void RunPendingWhenReady();

    QLocalServer* server_ = nullptr; // child of this
    const Check check_;
    const Run run_;
    const Note note_;
    std::map<QLocalSocket*, remote::LineReader> readers_; // open connections
    bool reading_ = false; // OnReadyRead is running: a nested call waits for it
    bool missed_ = false;  // a nested call waited: read again once it is done

    std::vector<cli::RemoteCommand> start_commands_;
    std::function<bool()> ready_;
    std::function<bool()> hold_;
    QTimer* ready_timer_ = nullptr; // child of this
};
