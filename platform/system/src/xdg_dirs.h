// The user's XDG folders as the XDG base-directory and user-dirs rules name
// them. Internal to tovek_system: files.cpp and install_layout.cpp share it.
#pragma once

#include <string>

namespace platform::xdg {

// $HOME, else "/tmp"; without a trailing '/' (unless it is "/").
std::string HomeFolder();
// leaf below the home folder ("/home/ann/Pictures", "/Pictures" for home "/").
std::string InHome(const std::string& leaf);
// $XDG_CONFIG_HOME when set to an absolute path, else $HOME/.config.
std::string ConfigHome();
// The folder that key (e.g. "XDG_PICTURES_DIR") names in
// $XDG_CONFIG_HOME/user-dirs.dirs, with "$HOME" expanded; empty when the
// file or the key is missing or the value is not an absolute path.
std::string UserDir(const std::string& key);
// True when path names an existing folder.
bool IsDirectory(const std::string& path);

} // namespace platform::xdg
