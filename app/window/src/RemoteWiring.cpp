#include "window/RemoteWiring.h"

#include "remote/RemoteProtocol.h"
#include "window/Application.h"
#include "window/MainMenu.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>

bool MenuCommandEnabled(MainWindow& window, uint32_t id) {
    window.Refresh();
    const QAction* item = window.Menu().FindCommand(id);
    return item != nullptr && item->isEnabled();
}

std::unique_ptr<RemoteServer> CreateRemoteServer(MainWindow& window, Application& app) {
    auto check = [&window](const cli::RemoteCommand& command) {
        // The menu cannot be reached behind a message box either.
        const QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != &window)
            return remote::Reply::kBusy;
        // Sharing has no menu item of its own for on and off: always allowed.
        if (remote::RunsBeforeReply(command.verb))
            return remote::Reply::kOk;
        return MenuCommandEnabled(window, cli::CommandId(command)) ? remote::Reply::kOk
                                                                   : remote::Reply::kDisabled;
    };
    auto run = [&window](const cli::RemoteCommand& command) {
        window.OnCommand(cli::CommandId(command));
    };
    const std::string path =
        app.AppName().empty() ? std::string() : remote::SocketPath(app.AppName());
    auto note = [&window](const cli::RemoteCommand& command) {
        return command.verb == cli::Verb::kShare ? window.ShareUrl() : std::string();
    };
    auto server = std::make_unique<RemoteServer>(nullptr, path, std::move(check), std::move(run),
                                                 std::move(note));
    server->RunWhenReady(app.TakeStartCommands(), [&window] { return window.Session().Playing(); });
    server->SetHold([&window] { return window.Session().Starting(); });
    return server;
}
