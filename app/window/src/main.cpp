// TovekCamera: the document camera viewer. `TovekCamera --help` lists the
// options (CommandLine.h): --simulate uses the emulated cameras and
// microphone instead of real ones (as does TOVEK_SIMULATE set in the
// environment); remote commands go to the program that runs already;
// --headless takes a picture or a recording without a window.
#include "remote/CommandLine.h"
#include "remote/CommandLineText.h"
#include "remote/Headless.h"
#include "remote/SignalExit.h"
#include "window/Application.h"

#include "sim/install.h"

#include <QApplication>
#include <QCoreApplication>

#include <optional>
#include <string>
#include <vector>

namespace {

// What the command line asks for that needs no camera: the help, the
// version, or why the line is wrong. The exit status.
int AnswerCommandLine(bool parsed, const cli::Options& options, const cli::Text& error) {
    Application app;
    app.StartTexts(); // without language files the English texts answer
    const std::string program = app.AppName().empty() ? "TovekCamera" : app.AppName();
    if (!parsed) {
        PrintCommandLineError(program, CommandLineText(app.LangContext(), error));
        PrintCommandLineError(
            program, CommandLineText(app.LangContext(),
                                     {"cli.try_help", "%1 --help lists the options.", program}));
        return cli::kExitUsage;
    }
    if (options.help)
        PrintLine(CommandLineHelp(app.LangContext(), program));
    else
        PrintLine(QString::fromStdString(CommandLineVersion(program)));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // First of all: a signal during start-up then waits for the program to
    // end as File > Exit does, instead of killing it half started.
    CatchExitSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    cli::Options options;
    cli::Text error;
    const bool parsed = cli::Parse(args, &options, &error);
    if (!parsed || options.help || options.version)
        return AnswerCommandLine(parsed, options, error);

    // Emulated or real devices is decided here, before any library starts:
    // the libraries choose their back ends when they initialise.
    if (options.simulate || sim::EnvironmentAsksForEmulatedDevices())
        sim::InstallEmulatedDevices();

    if (options.headless) {
        // No widgets: no display is needed.
        QCoreApplication core(argc, argv);
        Application app;
        const int status =
            app.StartHeadless()
                ? headless::Run({*app.Ini(), app.ProgramFolder(), app.AppName(), app.LangContext()},
                                options)
                : headless::CannotStart(app.AppName());
        app.ExitInstance();
        return status;
    }

    // Declared first, so it outlives the application object.
    std::optional<QApplication> qt;
    Application app;
    app.SetStartCommands(options.commands);
    // A second start ends here, before it needs a display: silently, or
    // with its commands handed to the running program.
    if (!app.Start())
        return app.ExitInstance();
    qt.emplace(argc, argv);
    app.InitInstance();
    return app.ExitInstance();
}
