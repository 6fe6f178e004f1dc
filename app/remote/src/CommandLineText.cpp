#include "remote/CommandLineText.h"

#include "common/StringTable.h"

#include <cstdio>

#ifndef TOVEK_VERSION
#error "TOVEK_VERSION comes from the CMake project version"
#endif

namespace {

// The column at which --help starts the descriptions, and the width it
// fills.
constexpr int kOptionColumn = 18;
constexpr int kLineWidth = 79;

// text broken at blanks into lines of at most kLineWidth, the first
// starting after first_width columns, every further one indented by indent;
// a word longer than a line keeps a line of its own.
QString Wrap(const QString& text, int first_width, int indent) {
    QString result;
    int column = first_width;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const bool line_start = column == first_width && result.isEmpty();
        if (!line_start && column + 1 + word.size() > kLineWidth) {
            result += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
        } else if (!line_start) {
            result += QLatin1Char(' ');
            ++column;
        }
        result += word;
        column += static_cast<int>(word.size());
    }
    return result + QLatin1Char('\n');
}

// A paragraph of the help in the current language.
QString Paragraph(HLANGCTX lang, const char* key, const char* english) {
    return Wrap(CommandLineText(lang, cli::Text{key, english, {}}), 0, 0);
}

} // namespace

QString CommandLineText(HLANGCTX lang, const cli::Text& text) {
    QString result = LoadTextByKey(lang, text.key, QString::fromUtf8(text.english));
    return result.replace(QStringLiteral("%1"), QString::fromStdString(text.arg));
}

void PrintCommandLineError(const std::string& program, const QString& line) {
    const QString whole = QString::fromStdString(program) + QStringLiteral(": ") + line;
    std::fprintf(stderr, "%s\n", whole.toUtf8().constData());
    std::fflush(stderr);
}

QString CommandLineHelp(HLANGCTX lang, const std::string& program_name) {
    const QString program = QString::fromStdString(program_name);
    QString help = Paragraph(lang, "cli.help.usage", "Usage:");
    for (const char* usage :
         {" [--simulate] [COMMAND...]", " [--simulate] --headless --snapshot FILE",
          " [--simulate] --headless --record SECONDS --output FILE"})
        help += QStringLiteral("  ") + program + QString::fromLatin1(usage) + QLatin1Char('\n');
    help += QLatin1Char('\n') + Paragraph(lang, "cli.help.options", "Options:");
    for (const cli::HelpEntry& entry : cli::HelpEntries()) {
        QString line = QStringLiteral("  ") + QString::fromLatin1(entry.option);
        // A long option stands on a line of its own.
        if (line.size() >= kOptionColumn)
            line += QLatin1Char('\n') + QString(kOptionColumn, QLatin1Char(' '));
        else
            line = line.leftJustified(kOptionColumn);
        help += line + Wrap(CommandLineText(lang, entry.description), kOptionColumn, kOptionColumn);
    }
    help += QLatin1Char('\n');
    help += Paragraph(lang, "cli.help.remote",
                      "A COMMAND (--capture ... --zoom-mode N) goes to the program that runs "
                      "already, which carries it out as its menu item would; this start then ends "
                      "at once. Without a running program, the program starts and carries the "
                      "commands out once the picture plays.");
    help += Paragraph(lang, "cli.help.keys",
                      "Presenter remote keys in the window: Page Down Capture, Page Up Start or "
                      "Stop Record, B or . Play or Stop, F5 Full Screen.");
    help += Paragraph(lang, "cli.help.headless",
                      "--headless uses the camera chosen in the Device menu when it answers, else "
                      "the first camera that does; --record takes sound from the sound source "
                      "chosen in the settings, else from the first one. One line of result goes "
                      "to the standard output.");
    help += Paragraph(lang, "cli.help.exit",
                      "Exit status: 0 done, 1 failed, 2 wrong command line, 3 the running program "
                      "cannot carry the command out now.");
    return help;
}

std::string CommandLineVersion(const std::string& program) {
    return program + " " TOVEK_VERSION;
}

void PrintLine(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fputs(bytes.constData(), stdout);
    if (!bytes.endsWith('\n'))
        std::fputc('\n', stdout);
    std::fflush(stdout);
}
