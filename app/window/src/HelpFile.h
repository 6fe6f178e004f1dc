// The help command (F1, "&Lumivue Help"): the help file is the program's
// folder plus the MessageBoxString caption plus ".chm". The desktop's handler
// for CHM files opens it; where the desktop has none, the same pages, kept
// as HTML in the folder "help" beside the program, open in the web browser.
// A missing CHM file is reported by the caller with its message box.
//
// User-interface thread only. The desktop is a service that tests replace.
#pragma once

#include <QString>
#include <QUrl>

namespace help {

// What F1 does.
enum class Action { kOpenChm, kOpenPages, kMissing };

struct Files {
    QString chm;   // <program folder><caption>.chm
    QString pages; // <program folder>help/index.html
};

Files Locate(const QString& program_folder, const QString& caption);

// The rule, free of I/O: no CHM file is the missing-file message; a desktop
// that cannot open CHM files gets the pages when they exist (else it tries
// the CHM file all the same and may say why it cannot).
Action Choose(bool chm_exists, bool desktop_opens_chm, bool pages_exist);

// The desktop's side.
class Desktop {
public:
    virtual ~Desktop() = default;
    // True when some application is registered for CHM files.
    virtual bool OpensChm() = 0;
    // Hands url to its handler; false when none could be started.
    virtual bool Open(const QUrl& url) = 0;
};

// Replaces the desktop (tests); null restores the real one (xdg-mime and
// QDesktopServices). The object must outlive its use.
void SetDesktop(Desktop* desktop);

// Opens the help as the rule says; returns the action taken. kMissing opens
// nothing. When the CHM file's handler fails to start, the pages are tried.
Action OpenHelp(const QString& program_folder, const QString& caption);

} // namespace help
