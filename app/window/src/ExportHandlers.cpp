// File > Export to PDF: the captures chosen in the gallery, or else this
// run's snapshots, written into one PDF on a worker thread. The save dialog
// proposes "<pictures folder>/Images/<date-time>.pdf", named as snapshots
// are; the worker's result comes back as a posted call: a status message
// when it worked, a message box naming what failed or was left out. With
// "Searchable (recognise the text)" ticked in the dialog the worker reads
// each picture's text first; the status bar counts the pages and percent,
// and the program's exit stops it.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "capture/PdfExport.h"
#include "capture/Snapshot.h"
#include "common/AppTrace.h"
#include "common/LangText.h"
#include "platform/system.h"
#include "settings/OutputFolder.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"

#include "TextCopy.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLocale>
#include <QMetaObject>
#include <QTimer>

#include <future>

pdf_export::Paper PaperForLocale(const QLocale& locale) {
    if (locale.measurementSystem() == QLocale::ImperialUSSystem)
        return pdf_export::Paper::kLetter;
    return pdf_export::PaperForTerritory(
        QLocale::territoryToCode(locale.territory()).toStdString());
}

std::vector<std::string> MainWindow::CapturesToExport() const {
    std::vector<std::string> chosen = ChosenCapturePaths();
    return chosen.empty() ? captures_.Paths() : chosen;
}

void MainWindow::RefreshExport() {
    if (QAction* item = menu_->FindCommand(cmd::kExportPdf))
        item->setEnabled(!pdf_job_.valid() && !CapturesToExport().empty());
}

void MainWindow::OnExportPdf(uint32_t) {
    TRACE_DLG("OnExportPdf");
    std::vector<std::string> paths = CapturesToExport();
    if (paths.empty() || pdf_job_.valid())
        return;
    const std::string images =
        snapshot::ImagesFolder(platform::Utf16ToUtf8(app_.Settings().capture_path));
    const QString folder = images.empty() ? QDir::homePath() : QString::fromStdString(images);
    const QString proposed = QDir(folder).filePath(
        QString::fromStdString(output_folder::TimeStampedName(output_folder::LocalNow(), "pdf")));
    // Qt's own dialog, which takes the searchable choice below its fields.
    QFileDialog dialog(this, LangText(lang_, "Export to PDF"), proposed,
                       LangText(lang_, "PDF files (*.pdf)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    auto* searchable = new QCheckBox(LangText(lang_, "Searchable (&recognise the text)"), &dialog);
    searchable->setChecked(pdf_searchable_);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(searchable, grid->rowCount(), 0, 1, grid->columnCount());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    pdf_searchable_ = searchable->isChecked();
    QString chosen = dialog.selectedFiles().constFirst();
    if (QFileInfo(chosen).suffix().isEmpty())
        chosen += QStringLiteral(".pdf");

    const std::string output = chosen.toStdString();
    const pdf_export::Paper paper = PaperForLocale(QLocale::system());
    QPointer<MainWindow> window(this);
    auto progress = std::make_shared<PdfProgress>();
    progress->pages = static_cast<int>(paths.size());
    pdf_progress_ = progress;
    const std::string language = pdf_searchable_ ? TextCopy::Language(lang_) : std::string();
    if (pdf_searchable_)
        StartPdfProgress();
    // OnDestroy stops the reading (a plain export runs to its end) and waits
    // for it, so the window outlives the call it posts.
    pdf_job_ = std::async(
        std::launch::async, [window, paths = std::move(paths), paper, output, progress, language] {
            pdf_export::Result result;
            text::ReaderPtr reader;
            text::Error error;
            if (!language.empty() &&
                text::OpenReader(language, std::string(), &reader, &error) != text::kOk) {
                result.user_text = error.user_text;
                result.debug_text = error.debug_text;
            } else {
                result = pdf_export::WritePdf(
                    paths, paper, output,
                    {reader.get(), reader ? &progress->reading : nullptr, &progress->page});
            }
            QMetaObject::invokeMethod(
                window.data(),
                [window, result = std::move(result), output] {
                    if (window)
                        window->OnPdfExported(result, output);
                },
                Qt::QueuedConnection);
        });
    Refresh();
}

void MainWindow::StartPdfProgress() {
    if (pdf_tick_ == nullptr) {
        pdf_tick_ = new QTimer(this);
        pdf_tick_->setInterval(250);
        connect(pdf_tick_, &QTimer::timeout, this, [this] {
            if (!pdf_progress_)
                return;
            message_.notice = LangText(lang_, "Export to PDF: reading the text of picture %1 of "
                                              "%2 (%3 %)")
                                  .arg(pdf_progress_->page.load())
                                  .arg(pdf_progress_->pages)
                                  .arg(pdf_progress_->reading.percent.load());
            message_.notice_tick = platform::GetTickCount();
            Refresh();
        });
    }
    pdf_tick_->start();
}

void MainWindow::StopPdfExport() {
    if (pdf_progress_)
        pdf_progress_->reading.cancel.store(true);
    if (pdf_job_.valid())
        pdf_job_.wait();
}

void MainWindow::OnPdfExported(const pdf_export::Result& result, const std::string& output) {
    if (pdf_job_.valid())
        pdf_job_.get();
    if (pdf_tick_ != nullptr)
        pdf_tick_->stop();
    pdf_progress_.reset();
    TRACE_DLG("OnPdfExported");
    QStringList left_out;
    for (const pdf_export::Skipped& skipped : result.skipped) {
        left_out << QFileInfo(QString::fromStdString(skipped.path)).fileName();
        AppTracer().Trace(L"PDF export left out %s: %s", skipped.path.c_str(),
                          skipped.reason.c_str());
    }
    if (!result.debug_text.empty())
        AppTracer().Trace(L"PDF export failed: %s", result.debug_text.c_str());
    const QString file = QString::fromStdString(output);
    QString text;
    if (result.ok) {
        message_.notice = LangText(lang_, "PDF saved (%1 pages): %2").arg(result.pages).arg(file);
        message_.notice_tick = platform::GetTickCount();
    } else {
        text =
            LangText(lang_, QString::fromStdString(result.user_text)) + QStringLiteral("\n") + file;
    }
    if (!left_out.isEmpty()) {
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += LangText(lang_, "Left out, missing or not readable as JPEG pictures:") +
                QStringLiteral("\n") + left_out.join(QStringLiteral("\n"));
    }
    Refresh();
    if (!text.isEmpty())
        MessageBox(this, text, app_.Caption(), msgbox::kOk | msgbox::kIconExclamation);
}
