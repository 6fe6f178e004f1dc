#include "HelpFile.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace help {

namespace {

// Both names a CHM file goes by in the shared MIME database.
const char* const kChmTypes[] = {"application/vnd.ms-htmlhelp", "application/x-chm"};
// xdg-mime answers at once; a hung one must not freeze the window for long.
constexpr int kQueryTimeoutMs = 2000;

class RealDesktop final : public Desktop {
public:
    bool OpensChm() override {
        for (const char* type : kChmTypes) {
            QProcess query;
            query.start(
                QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QString::fromLatin1(type)});
            if (!query.waitForFinished(kQueryTimeoutMs)) {
                query.kill();
                query.waitForFinished(kQueryTimeoutMs);
                continue;
            }
            if (query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty())
                return true;
        }
        return false;
    }
    bool Open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

RealDesktop g_real_desktop;
Desktop* g_desktop = &g_real_desktop; // user-interface thread only

} // namespace

Files Locate(const QString& program_folder, const QString& caption) {
    QString folder = program_folder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return {folder + caption + QStringLiteral(".chm"), folder + QStringLiteral("help/index.html")};
}

Action Choose(bool chm_exists, bool desktop_opens_chm, bool pages_exist) {
    if (!chm_exists)
        return Action::kMissing;
    if (!desktop_opens_chm && pages_exist)
        return Action::kOpenPages;
    return Action::kOpenChm;
}

void SetDesktop(Desktop* desktop) {
    g_desktop = desktop != nullptr ? desktop : &g_real_desktop;
}

Action OpenHelp(const QString& program_folder, const QString& caption) {
    const Files files = Locate(program_folder, caption);
    const bool chm_exists = QFileInfo(files.chm).isFile();
    const bool pages_exist = QFileInfo(files.pages).isFile();
    // The handler is asked about only when the answer matters.
    const Action action = Choose(chm_exists, chm_exists && g_desktop->OpensChm(), pages_exist);
    switch (action) {
    case Action::kMissing:
        return action;
    case Action::kOpenPages:
        g_desktop->Open(QUrl::fromLocalFile(files.pages));
        return action;
    case Action::kOpenChm:
        if (g_desktop->Open(QUrl::fromLocalFile(files.chm)) || !pages_exist)
            return action;
        g_desktop->Open(QUrl::fromLocalFile(files.pages));
        return Action::kOpenPages;
    }
    return action;
}

} // namespace help
