#include "window/StatusBanner.h"

#include "camera/CameraSession.h"
#include "camera/ControlKeys.h"
#include "common/LangText.h"
#include "widgets/BannerWindow.h"

#include <QScreen>
#include <QWidget>

namespace {

constexpr char kUnknownFormat[] = "Unknown(Error = 0X%02X)";

} // namespace

StatusBanner::StatusBanner() = default;
StatusBanner::~StatusBanner() = default;

void StatusBanner::Replace() {
    banner_ = std::make_unique<BannerWindow>();
}

void StatusBanner::Destroy() {
    banner_.reset();
}

void StatusBanner::Hide() {
    if (banner_ && banner_->isVisible())
        banner_->hide();
}

void StatusBanner::FollowFullScreen(const QWidget* view, bool entering) {
    if (!banner_)
        return;
    if (entering) {
        // Shown or hidden as the status poll decides: a blank banner is no
        // news to the user.
        const bool visible = banner_->isVisible();
        banner_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        banner_->move(view->screen()->geometry().topLeft());
        banner_->setVisible(visible);
        banner_->raise();
    } else {
        const bool visible = banner_->isVisible();
        banner_->setWindowFlag(Qt::WindowStaysOnTopHint, false);
        banner_->move(view->mapToGlobal(QPoint(0, 0)));
        banner_->setVisible(visible);
    }
}

// The status table's word in the banner's language; an unknown code keeps its
// two hexadecimal digits in the translated pattern.
QString StatusBanner::StatusWords(int status) const {
    const std::string english = ctl::StatusText(status);
    const QString unknown = QString::fromLatin1(kUnknownFormat);
    const QString prefix = unknown.left(unknown.indexOf(QLatin1Char('%')));
    if (!QString::fromStdString(english).startsWith(prefix))
        return LangText(lang_, QString::fromStdString(english));
    const QString digits =
        QString::number(static_cast<unsigned>(status), 16).toUpper().rightJustified(2, u'0');
    return LangText(lang_, unknown).replace(QStringLiteral("%02X"), digits);
}

void StatusBanner::Show(int status, const QWidget* view, bool full_screen) {
    if (!banner_)
        return;
    if (status == CameraSession::kNormalStatus) {
        Hide();
        return;
    }
    banner_->SetInfoText(StatusWords(status).toUtf8().constData());
    const QPoint centre = view->mapToGlobal(view->rect().center());
    banner_->move(centre - banner_->rect().center());
    if (!banner_->isVisible())
        banner_->show();
    if (full_screen)
        banner_->raise();
}
