// Application: the program's application object. InitInstance derives the
// paths, opens the settings, makes sure only one instance runs, starts the
// localisation and audio libraries, reads the settings and runs the main
// window modally; ExitInstance shuts the libraries down again.
#pragma once

#include "language/language.h"
#include "platform/install_layout.h"
#include "platform/system.h"
#include "record/AudioChoices.h"
#include "remote/CommandLine.h"
#include "settings/AppSettings.h"
#include "settings/IniStore.h"

#include <QIcon>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AudioDeviceRecord;
class MainWindow;

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The one application object of the process while it lives, else null.
    static Application* Get();

    // Start-up, the main window run modally, its destruction. Returns false
    // always (there is no message loop outside the main window), like the
    // framework it stands in for; the caller then runs ExitInstance.
    bool InitInstance();
    // Shuts the audio library down (when start-up got that far) and frees
    // the audio lists. Returns the process exit code: 0, or why the
    // commands could not be handed to the running program. Safe to call
    // twice.
    int ExitInstance();

    // Start-up up to the main window: paths, settings store, single instance,
    // localisation, documents folder, settings. False when the program must
    // end (another instance runs, or localisation failed): silently, unless
    // there were start commands, which then go to the running program (see
    // ExitInstance for the outcome). True at once when it ran before.
    bool Start();

    // The commands of the command line (remote commands): handed to the
    // running program by a second start, or run by this program's window
    // once the picture plays.
    void SetStartCommands(std::vector<cli::RemoteCommand> commands) {
        start_commands_ = std::move(commands);
    }
    std::vector<cli::RemoteCommand> TakeStartCommands() { return std::move(start_commands_); }

    // Paths and localisation only, for what the command line says. Safe to
    // call again and before Start.
    bool StartTexts();
    // Start-up without a window (--headless): paths, settings store,
    // localisation and the audio library; no instance lock (a window may
    // run beside) and nothing written to the settings.
    bool StartHeadless();

    // Tests start the application as if the executable lay at path.
    void SetExecutablePath(std::string path) { exe_path_override_ = std::move(path); }
    // Replaces running the main window modally (tests).
    void SetWindowRunner(std::function<void(MainWindow&)> runner) {
        window_runner_ = std::move(runner);
    }

    IniStore* Ini() const { return ini_.get(); }
    HLANGCTX LangContext() const { return lang_ctx_; }
    // The folder of the program's own files (device catalogue, help file,
    // icons, language files): the executable's folder in a build, the share
    // folder when installed. Ends in '/'.
    const std::u16string& ProgramFolder() const { return program_folder_; }
    const std::u16string& DocumentsFolder() const { return documents_folder_; }
    // The executable's folder in a build, $XDG_CONFIG_HOME/<AppName>/ when
    // installed, followed by the executable's base name and ".INI".
    const std::u16string& IniPath() const { return ini_path_; }
    // Build or installed, and the folders that follow from it.
    const platform::InstallLayout& Layout() const { return layout_; }
    const std::string& AppName() const { return app_name_; }
    settings::AppSettings& Settings() { return settings_; }
    const settings::AppSettings& Settings() const { return settings_; }
    // What start-up ignored in the files it read (texts for the message pane).
    const std::vector<std::string>& StartupNotices() const { return startup_notices_; }
    // The window icon: the icon file AppLogoIcon names, else the program's own.
    QIcon ProgramIcon() const;
    // MessageBoxString: the caption of every message box.
    QString Caption() const { return QString::fromStdU16String(settings_.caption); }

    int32_t recording_result = 0; // outcome of the last recording start
    int32_t snapshot_result = 1;  // outcome of the last snapshot
    // The sound sources and usable compressors, listed by the settings
    // dialog or by the first recording with sound.
    std::optional<record::AudioChoices> audio_choices;

private:
    bool DerivePaths();
    void StartAudio();
    // Start commands to the program that holds the instance lock.
    void HandToRunningInstance();
    void NoteIgnoredFiles();

    std::string exe_path_override_;
    std::function<void(MainWindow&)> window_runner_;

    platform::InstallLayout layout_;
    std::u16string program_folder_; // layout_.data_folder, ends in '/'
    std::u16string ini_path_;
    std::u16string documents_folder_; // no trailing '/'
    std::string app_name_;            // the executable's base name
    std::unique_ptr<IniStore> ini_;
    platform::InstanceLock instance_lock_; // held for the whole process
    LangModule lang_module_{};
    std::string lng_folder_; // backs lang_module_.lng_folder
    HLANGCTX lang_ctx_ = nullptr;
    settings::AppSettings settings_;
    bool audio_started_ = false;
    bool started_ = false;
    std::vector<cli::RemoteCommand> start_commands_;
    int exit_code_ = 0;
    std::vector<std::string> startup_notices_;
};
