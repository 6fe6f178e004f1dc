#include "TextCopy.h"

#include "common/AppTrace.h"
#include "common/LangText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMetaObject>
#include <QTimer>

namespace {
// How often the status bar's percent is brought up to date.
constexpr int kTickMs = 250;
} // namespace

TextCopy::TextCopy(HLANGCTX lang, std::function<void(const QString&)> notice,
                   std::function<void()> changed)
    : lang_(lang), notice_(std::move(notice)), changed_(std::move(changed)),
      tick_(new QTimer(this)) {
    tick_->setInterval(kTickMs);
    connect(tick_, &QTimer::timeout, this, [this] { OnTick(); });
}

// The job ends (stopped) before the object: its queued call is dropped with
// the object's posted events.
TextCopy::~TextCopy() {
    job_.reset();
}

std::string TextCopy::Language(HLANGCTX lang) {
    char16_t buffer[64] = {};
    uint32_t size = 63;
    if (!LangGetTextByKey(lang, buffer, &size, "text.language", u"eng") || size == 0)
        return "eng";
    return QString::fromUtf16(buffer, static_cast<qsizetype>(size)).trimmed().toStdString();
}

void TextCopy::AwaitPicture() {
    waiting_ = true;
    notice_(LangText(lang_, "Reading the text..."));
    Changed();
}

void TextCopy::Read(const text::Picture& picture) {
    waiting_ = false;
    const uint64_t ticket = ++ticket_;
    job_ = std::make_unique<text::ReadJob>(
        picture, Language(lang_), std::string(),
        [this, ticket](int result, const text::Page& page, const text::Error& error) {
            // On the worker: only posts. The page is copied into the call.
            QMetaObject::invokeMethod(
                this, [this, ticket, result, page, error] { OnDone(ticket, result, page, error); },
                Qt::QueuedConnection);
        });
    tick_->start();
    OnTick();
    Changed();
}

void TextCopy::Stop() {
    if (!Busy())
        return;
    waiting_ = false;
    ++ticket_;
    tick_->stop();
    job_.reset();
    // In place of the percent, which would otherwise stand a while.
    notice_(LangText(lang_, text::kCancelledText));
}

void TextCopy::OnTick() {
    if (job_)
        notice_(LangText(lang_, "Reading the text: %1 %").arg(job_->Percent()));
}

void TextCopy::OnDone(uint64_t ticket, int result, const text::Page& page,
                      const text::Error& error) {
    if (ticket != ticket_)
        return;
    tick_->stop();
    job_.reset();
    if (result != text::kOk) {
        AppTracer().Trace(L"Copy Text failed (%d): %s", result, error.debug_text.c_str());
        notice_(LangText(lang_, QString::fromStdString(error.user_text)));
    } else if (page.words.empty()) {
        notice_(LangText(lang_, "No text was found in the picture."));
    } else {
        QGuiApplication::clipboard()->setText(QString::fromStdString(page.text));
        notice_(LangText(lang_, "Text copied: %1 words").arg(page.words.size()));
    }
    Changed();
}

void TextCopy::Changed() {
    if (changed_)
        changed_();
}
