// What the command line says to the user: --help, --version, and the one
// line of a fault, in the user's language (keys of the language files'
// [Keys] section, the English text when a language has none).
//
// The result lines of --headless ("saved ...", "recorded ...") are not
// here: scripts read them, so they stay as they are in every language.
#pragma once

#include "language/language.h"
#include "remote/CommandLine.h"

#include <QString>
#include <QStringList>

#include <string>

// text in the current language, "%1" replaced by its argument.
QString CommandLineText(HLANGCTX lang, const cli::Text& text);

// "<program>: <line>" and a line end on the standard error stream.
void PrintCommandLineError(const std::string& program, const QString& line);

// The --help text: usage, the options with their descriptions, the exit
// statuses.
QString CommandLineHelp(HLANGCTX lang, const std::string& program);

// "<program> <version>" (the CMake project version).
std::string CommandLineVersion(const std::string& program);

// Writes text to the standard output stream as UTF-8, then a line end when
// it does not end in one.
void PrintLine(const QString& text);
