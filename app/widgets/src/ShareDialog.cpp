#include "widgets/ShareDialog.h"

#include "common/LangText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <qrencode.h>

#include <memory>

namespace {

constexpr int kQuietModules = 4;
constexpr int kQrScale = 6;

struct QrFree {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

} // namespace

QImage QrImage(const std::string& text, int scale) {
    const std::unique_ptr<QRcode, QrFree> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1));
    if (!code || scale < 1)
        return {};
    const int modules = code->width + 2 * kQuietModules;
    QImage image(modules * scale, modules * scale, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // Bit 0 of each byte: the module is dark.
            if ((code->data[y * code->width + x] & 1) == 0)
                continue;
            for (int dy = 0; dy < scale; ++dy) {
                uchar* row = image.scanLine((y + kQuietModules) * scale + dy);
                std::fill_n(row + (x + kQuietModules) * scale, scale, uchar{0});
            }
        }
    }
    return image;
}

ShareDialog::ShareDialog(HLANGCTX lang, QWidget* parent) : QDialog(parent), lang_(lang) {
    setWindowTitle(LangText(lang, "Share With Class"));
    auto* intro = new QLabel(
        LangText(lang, "Pupils open this address in a browser on the same network:"), this);
    intro->setWordWrap(true);
    urls_ = new QLabel(this);
    urls_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    qr_ = new QLabel(this);
    qr_->setAlignment(Qt::AlignCenter);
    watching_ = new QLabel(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(LangText(lang, "Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(urls_);
    layout->addWidget(qr_);
    layout->addWidget(watching_);
    layout->addWidget(buttons);
    SetWatching(0);
}

void ShareDialog::SetUrls(const std::vector<std::string>& urls) {
    if (urls.empty()) {
        urls_->setText(LangText(lang_, "This computer has no network address to share on."));
        qr_->clear();
        return;
    }
    QStringList lines;
    for (const std::string& url : urls)
        lines << QString::fromStdString(url);
    urls_->setText(lines.join(QLatin1Char('\n')));
    qr_->setPixmap(QPixmap::fromImage(QrImage(urls.front(), kQrScale)));
}

void ShareDialog::SetWatching(int viewers) {
    watching_->setText(LangText(lang_, "Watching: %1").arg(viewers));
}
