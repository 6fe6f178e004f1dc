// File > Share With Class in the window: starts and stops sharing
// (share/ShareSession.h) with the camera session's frames, keeps the menu's
// check mark, the dialog and a status pane of its own ("Sharing: N
// watching", shown only while sharing, left of the fixed panes) up to date. Everything on the
// user-interface thread; the frames reach the share on the camera's stream thread through the
// session's frame tap.
#pragma once

#include "language/language.h"
#include "share/ShareSession.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

class CameraSession;
class QAction;
class QLabel;
class QStatusBar;
class QTimer;
class QWidget;
class ShareDialog;

class ShareControl : public QObject {
public:
    static constexpr int kRefreshMs = 500;

    // window: the dialog's parent and the owner of this; item: the menu's
    // check item; bar: the status bar that gets the viewers' pane. All
    // outlive this; the session's overlay and shown picture too.
    ShareControl(QWidget* window, HLANGCTX lang, CameraSession& session, QAction* item,
                 QStatusBar* bar);
    ~ShareControl() override;

    // Starts sharing on port (0: the system's choice), unless it runs;
    // false with *error set when it cannot.
    bool Start(int port, std::string* error);
    void Stop();
    bool Running() const { return share_->Running(); }
    void ShowDialog();

    // The first address the class may use (the loopback one when the
    // machine has no other); empty while not sharing.
    std::string FirstUrl() const;
    int Viewers() const { return share_->Viewers(); }
    QLabel* Pane() const { return pane_; }
    ShareDialog* Dialog() const;

private:
    void Refresh();

    QWidget* const window_;
    const HLANGCTX lang_;
    CameraSession& session_;
    QAction* const item_;
    QLabel* pane_ = nullptr; // in the status bar, which owns it
    std::unique_ptr<share::ShareSession> share_;
    QPointer<ShareDialog> dialog_;
    QTimer* timer_ = nullptr; // child of this
};
