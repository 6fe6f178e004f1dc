// The dialog of File > Share With Class: each address the class may open
// (one per non-loopback IPv4 address of the machine, with the token), a QR
// code of the first for phones, and how many watch. Not modal: it may stay
// open beside the picture; closing it leaves sharing on.
#pragma once

#include "language/language.h"

#include <QDialog>
#include <QImage>

#include <string>
#include <vector>

class QLabel;

class ShareDialog : public QDialog {
public:
    ShareDialog(HLANGCTX lang, QWidget* parent);

    // The addresses; none: the machine has no network address to share on.
    void SetUrls(const std::vector<std::string>& urls);
    void SetWatching(int viewers);

    QLabel* UrlsLabel() const { return urls_; }
    QLabel* QrLabel() const { return qr_; }
    QLabel* WatchingLabel() const { return watching_; }

private:
    HLANGCTX lang_;
    QLabel* urls_ = nullptr;
    QLabel* qr_ = nullptr;
    QLabel* watching_ = nullptr;
};

// text as a QR code (libqrencode): black modules on white with a quiet zone
// of four modules, each module scale pixels; a null image when text does
// not fit a QR code.
QImage QrImage(const std::string& text, int scale);
