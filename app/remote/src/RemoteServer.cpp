#include "remote/RemoteServer.h"

#include "common/AppTrace.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cstdio>

RemoteServer::RemoteServer(QObject* parent, const std::string& socket_path, Check check, Run run,
                           Note note)
    : QObject(parent), server_(new QLocalServer(this)), check_(std::move(check)),
      run_(std::move(run)), note_(std::move(note)), ready_timer_(new QTimer(this)) {
    connect(server_, &QLocalServer::newConnection, this, &RemoteServer::OnNewConnection);
    connect(ready_timer_, &QTimer::timeout, this, &RemoteServer::RunPendingWhenReady);
    if (socket_path.empty()) {
        AppTracer().Trace(L"%s(): no usable socket path", "RemoteServer::RemoteServer");
        return;
    }
    // Only the user who runs the program may send it commands.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = QString::fromStdString(socket_path);
    if (!server_->listen(path)) {
        QLocalServer::removeServer(path);
        if (!server_->listen(path))
            AppTracer().Trace(L"%s(): cannot listen on %hs: %hs", "RemoteServer::RemoteServer",
                              socket_path.c_str(), server_->errorString().toUtf8().constData());
    }
}

RemoteServer::~RemoteServer() {
    // Closing removes the socket file; the sockets are children of the server.
    server_->close();
}

bool RemoteServer::Listening() const {
    return server_->isListening();
}

void RemoteServer::OnNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        readers_.emplace(socket, remote::LineReader{});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            readers_.erase(socket);
            socket->deleteLater();
        });
        // Lines may have come with the connection.
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void RemoteServer::OnReadyRead(QLocalSocket* socket) {
    // A command that runs a nested event loop must not have another line run
    // inside it: the outer call reads on afterwards.
    if (reading_) {
        missed_ = true;
        return;
    }
    reading_ = true;
    QPointer<QLocalSocket> alive(socket);
    while (alive && readers_.count(socket) != 0) {
        remote::LineReader& reader = readers_[socket];
        const QByteArray bytes = socket->readAll();
        reader.Feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        if (hold_ && hold_()) {
            // The line stays in the reader until what holds it has finished.
            QTimer::singleShot(kHoldPollMs, this, [this, alive] {
                if (alive)
                    OnReadyRead(alive);
            });
            break;
        }
        std::string line;
        if (!reader.Next(&line)) {
            if (reader.Overflowed()) {
                socket->write(remote::FormatReply(remote::Reply::kUnknown).c_str());
                socket->disconnectFromServer();
            }
            break;
        }
        cli::RemoteCommand command;
        if (!remote::ParseRequest(line, &command)) {
            socket->write(remote::FormatReply(remote::Reply::kUnknown).c_str());
            socket->disconnectFromServer();
            break;
        }
        const remote::Reply reply = check_(command);
        if (reply == remote::Reply::kOk && remote::RunsBeforeReply(command.verb)) {
            AppTracer().Trace(L"%s(): %hs", "RemoteServer::OnReadyRead", line.c_str());
            run_(command);
            const std::string note = note_ ? note_(command) : std::string();
            if (alive) {
                socket->write(remote::FormatReply(reply, note).c_str());
                socket->flush();
            }
            continue;
        }
        // Answered first: the second start ends at once, whatever the command
        // takes (Play lets the camera settle for a second).
        socket->write(remote::FormatReply(reply).c_str());
        socket->flush();
        if (reply == remote::Reply::kOk) {
            AppTracer().Trace(L"%s(): %hs", "RemoteServer::OnReadyRead", line.c_str());
            run_(command);
        }
    }
    reading_ = false;
    if (missed_) {
        missed_ = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                std::vector<QPointer<QLocalSocket>> waiting;
                for (const auto& entry : readers_)
                    waiting.emplace_back(entry.first);
                for (const QPointer<QLocalSocket>& socket : waiting) {
                    if (socket && socket->bytesAvailable() > 0)
                        OnReadyRead(socket);
                }
            },
            Qt::QueuedConnection);
    }
}

void RemoteServer::RunWhenReady(std::vector<cli::RemoteCommand> commands,
                                std::function<bool()> ready) {
    start_commands_ = std::move(commands);
    ready_ = std::move(ready);
    if (!start_commands_.empty())
        ready_timer_->start(kReadyPollMs);
}

void RemoteServer::RunPendingWhenReady() {
    if (!ready_ || !ready_())
        return;
    ready_timer_->stop();
    const std::vector<cli::RemoteCommand> commands = std::move(start_commands_);
    start_commands_.clear();
    for (const cli::RemoteCommand& command : commands) {
        if (check_(command) != remote::Reply::kOk)
            continue;
        run_(command);
        // What a second start would print (--share: the address), printed
        // by this first start itself.
        const std::string note =
            remote::RunsBeforeReply(command.verb) && note_ ? note_(command) : std::string();
        if (!note.empty()) {
            std::printf("%s\n", note.c_str());
            std::fflush(stdout);
        }
    }
}
