// The remote channel wired to the main window: the server whose commands
// run as the window's menu items would.
#pragma once

#include "remote/RemoteServer.h"

#include <cstdint>
#include <memory>

class Application;
class MainWindow;

// The main window's server: a command runs as its menu item would (only
// while the item is enabled), and none runs while the window shows a
// message box. The application's start commands run once the picture plays.
std::unique_ptr<RemoteServer> CreateRemoteServer(MainWindow& window, Application& app);

// Whether the menu item of command id is enabled now, by the main menu's
// rules (the state is applied first).
bool MenuCommandEnabled(MainWindow& window, uint32_t id);
