// The camera status banner over the video view: created hidden when the
// picture starts, destroyed when it stops, shown while the camera reports a
// status other than normal. User-interface thread only.
#pragma once

#include "language/language.h"

#include <memory>

class BannerWindow;
class QWidget;
class QString;

class StatusBanner {
public:
    StatusBanner();
    ~StatusBanner();
    StatusBanner(const StatusBanner&) = delete;
    StatusBanner& operator=(const StatusBanner&) = delete;

    // A new hidden, blank banner in place of any old one.
    void Replace();
    void Destroy();
    BannerWindow* Get() const { return banner_.get(); }
    // The language of the status words; null (the default): English.
    void SetLanguage(HLANGCTX lang) { lang_ = lang; }

    // Shows status's text centred over view (raised over a full-screen view),
    // or hides the banner for the normal status. Nothing without a banner.
    void Show(int status, const QWidget* view, bool full_screen);
    void Hide();
    QString StatusWords(int status) const;
    // Over the full-screen view the banner moves to the screen's top-left
    // corner and stays on top; back in the window it moves to the view's
    // top-left corner.
    void FollowFullScreen(const QWidget* view, bool entering);

private:
    std::unique_ptr<BannerWindow> banner_;
    HLANGCTX lang_ = nullptr; // owned by the application
};
