// Scripted capture without a window (--headless): one picture, or a
// recording of a given length, from the first camera that answers, through
// the camera session, snapshot and recorder the window uses.
//
// The camera: the one the Device menu chose (DeviceSelect) when it answers,
// else the catalogue's entries in order. The files: the snapshot and the
// recorder write into a private folder beside FILE as they always do, and
// the result is moved to FILE whole (OutputStage). Sound: the source chosen
// in the settings (AudioIndex), else the first one, through the chosen
// compressor; video only when there is no sound source.
//
// Needs a QCoreApplication (no widgets): the session's library threads post
// to the run on the thread that calls RunHeadless, whose event loop runs
// until the result is known.
#pragma once

#include "language/language.h"
#include "remote/CommandLine.h"

#include <string>

class IniStore;

namespace headless {

// Seconds the camera may take to be attached after it opened, and to send
// its first picture after it started.
inline constexpr uint32_t kAttachWaitMs = 3000;
inline constexpr uint32_t kFirstPictureWaitMs = 10000;

// Runs what options ask for (options.headless set). Prints one line of
// result on the standard output ("saved FILE 1024x768", "recorded FILE
// 10.0 s"), or one line on the standard error; returns the exit status (0,
// or cli::kExitFailed).
// program: what the program's start-up without a window gave.
struct Program {
    IniStore& ini;                 // the settings store
    std::u16string program_folder; // ends in '/'
    std::string app_name;          // the executable's base name
    HLANGCTX lang = nullptr;
};
int Run(const Program& program, const cli::Options& options);

// When the start-up without a window failed: says so on the standard error
// and returns the exit status.
int CannotStart(const std::string& app_name);

} // namespace headless
