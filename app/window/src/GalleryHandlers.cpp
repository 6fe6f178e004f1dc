// The gallery under the picture and the captures the view shows: a
// thumbnail clicked is held in the view with the "Capture" badge until Esc
// or Play; Compare puts it (or the one chosen) beside the live picture, or
// two to four chosen captures side by side. The strip and its list live in
// the widgets and capture rooms; this file wires them to the view, the menu
// and the keys.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "capture/ThumbnailCache.h"
#include "common/LangText.h"
#include "view/VideoView.h"
#include "widgets/GalleryStrip.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"

#include <QAction>
#include <QDir>

#include <cstring>

namespace {

// No screen shows more: a larger picture is decoded at a smaller scale, so
// a file of the largest size takes tens of megabytes to show, not a
// gigabyte.
constexpr int kShownWidth = 3840;
constexpr int kShownHeight = 2160;

// The picture at path, at most a scale step above a 4K screen; null when it
// is no readable JPEG.
QImage ReadCapture(const std::string& path) {
    const thumbnail::Picture picture = thumbnail::DecodeFile(path, kShownWidth, kShownHeight);
    if (picture.Broken())
        return QImage();
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    const size_t row = static_cast<size_t>(picture.width) * 4;
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(image.scanLine(y), picture.bgrx.data() + row * static_cast<size_t>(y), row);
    return image;
}

// Where snapshots go (Snapshot.h), without making it: a gallery only looks.
std::string ImagesFolder(const std::u16string& capture_path) {
    if (capture_path.empty())
        return {};
    return QDir::cleanPath(QString::fromStdU16String(capture_path) + QStringLiteral("/Images"))
        .toStdString();
}

} // namespace

void MainWindow::CreateGallery() {
    gallery_ = new GalleryStrip(lang_, this);
    gallery_->SetOpenHandler([this](const std::string& path) { ShowCapture(path); });
    gallery_->SetChosenHandler([this] {
        if (comparing_)
            ApplyCaptureShow();
        Refresh();
    });
    gallery_->SetDeletedHandler([this](const std::string& path) {
        if (path == held_capture_)
            held_capture_.clear();
        ApplyCaptureShow();
        Refresh();
    });
    gallery_->hide();
    layout_->SetGallery(gallery_, GalleryStrip::kHeight);
}

std::vector<std::string> MainWindow::ChosenCapturePaths() const {
    return gallery_ != nullptr ? gallery_->List().ChosenInTimeOrder() : std::vector<std::string>();
}

void MainWindow::OnGallery(uint32_t) {
    TRACE_DLG("OnGallery");
    const bool shown = !layout_->GalleryShown();
    if (shown)
        gallery_->SetFolder(ImagesFolder(app_.Settings().capture_path));
    layout_->SetGalleryShown(shown);
    Layout();
    Refresh();
}

void MainWindow::OnCompare(uint32_t) {
    TRACE_DLG("OnCompare");
    comparing_ = !comparing_;
    ApplyCaptureShow();
    Refresh();
}

void MainWindow::ShowCapture(const std::string& path) {
    held_capture_ = path;
    ApplyCaptureShow();
    if (!view_->CaptureShown().Active()) {
        held_capture_.clear();
        MessageBox(this,
                   LangText(lang_, QStringLiteral("This file is not a readable JPEG picture.")) +
                       QStringLiteral("\n") + QString::fromStdString(path),
                   app_.Caption(), msgbox::kOk | msgbox::kIconExclamation);
    }
    Refresh();
}

void MainWindow::ApplyCaptureShow() {
    std::vector<std::string> paths;
    bool with_live = false;
    if (comparing_) {
        paths = ChosenCapturePaths();
        if (paths.size() > static_cast<size_t>(GalleryStrip::kMaxChosen))
            paths.resize(GalleryStrip::kMaxChosen);
        if (paths.size() < 2) {
            // One capture: beside the live picture.
            if (paths.empty() && !held_capture_.empty())
                paths.push_back(held_capture_);
            with_live = true;
        }
    } else if (!held_capture_.empty()) {
        paths.push_back(held_capture_);
    }
    view::CaptureShow show;
    for (const std::string& path : paths) {
        QImage image = ReadCapture(path);
        if (!image.isNull())
            show.captures.push_back(std::move(image));
    }
    comparing_ = comparing_ && show.Active(); // nothing to compare with
    show.with_live = with_live && show.Active();
    show.badge = LangText(lang_, QStringLiteral("Capture"));
    view_->SetCaptureShow(std::move(show));
}

bool MainWindow::EndCaptureShow() {
    if (held_capture_.empty() && !comparing_)
        return false;
    held_capture_.clear();
    comparing_ = false;
    ApplyCaptureShow();
    Refresh();
    return true;
}

void MainWindow::DeleteSelection() {
    if (gallery_ != nullptr && gallery_->HasKeyFocus())
        gallery_->DeleteCurrent();
    else
        annotations_.DeleteSelection();
}

void MainWindow::RefreshGallery() {
    if (QAction* gallery = menu_->FindCommand(cmd::kGallery))
        gallery->setChecked(layout_->GalleryShown());
    if (QAction* compare = menu_->FindCommand(cmd::kCompare)) {
        compare->setChecked(comparing_);
        compare->setEnabled(comparing_ || !held_capture_.empty() || !ChosenCapturePaths().empty());
    }
}
