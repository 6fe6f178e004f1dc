// Where the program finds its own files and keeps the user's: beside the
// executable when it runs from a build folder, or, installed, in the share
// folder of its prefix and the user's XDG folders.
//
// Two layouts:
//   build      the executable's folder is writable and holds the program's
//              files (DocumentDevice.ini beside it): data, settings and the
//              default output folders are all that folder, as the program
//              has always had them.
//   installed  the executable's folder is not writable, or the program's
//              files lie in <prefix>/share/tovekcamera/ (the executable in
//              <prefix>/bin/) and not beside it: data from that share folder,
//              the INI file in $XDG_CONFIG_HOME/<program>/, snapshots and
//              recordings by default in the XDG pictures and videos folders.
// The share folder is found relative to the executable, so an installed tree
// works under any prefix (or unpacked anywhere for a check).
#pragma once

#include <string>

namespace platform {

// The file whose presence marks a folder as holding the program's files.
inline constexpr char kProgramDataMarker[] = "DocumentDevice.ini";
// The program's data folder below <prefix>/share/.
inline constexpr char kShareFolderName[] = "tovekcamera";

struct InstallLayout {
    bool installed = false;
    std::string program_folder;  // the executable's folder, ends in '/'
    std::string data_folder;     // language files, Skin/, icons/, catalogue, help; ends in '/'
    std::string settings_folder; // the INI file's folder, ends in '/'
    std::string pictures_folder; // default CaptruePath, ends in '/'
    std::string videos_folder;   // default RecordPath, ends in '/'
};

// The layout of an executable at exe_path (an absolute path) whose settings
// folder is named app_name (the executable's base name). Reads the file
// system and the environment (HOME, XDG_CONFIG_HOME, the user-dirs file);
// creates nothing. An exe_path without a folder gives the build layout of
// "./".
InstallLayout DecideInstallLayout(const std::string& exe_path, const std::string& app_name);
// The same with the program folder's writability given (tests: root may
// write everywhere).
InstallLayout DecideInstallLayout(const std::string& exe_path, const std::string& app_name,
                                  bool program_folder_writable);

// The layout of the running executable (ProgramPath()), decided at the first
// call and kept for the process. Thread-safe.
const InstallLayout& ProgramLayout();

// ProgramLayout().data_folder: where skins, language files, the device
// catalogue and the help file are read from; ends in '/'.
std::string DataFolder();

// Creates the settings folder (and its parents) when the layout is installed.
// True when the folder exists afterwards; the build layout's folder is the
// program's own and is left as it is.
bool MakeSettingsFolder(const InstallLayout& layout);

} // namespace platform
