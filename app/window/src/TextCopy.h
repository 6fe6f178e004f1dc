// Edit > Copy Text: the shown picture's text read on a worker thread
// (text::ReadJob) and put on the clipboard. While it reads, the status bar
// counts the percent; at the end it says how many words were copied, that
// none were found, or why nothing could be read. The language is the
// program's: its language file names Tesseract's data ("text.language").
//
// User-interface thread only; the worker's outcome comes back as a queued
// call, and one of a job that was stopped is dropped.
#pragma once

#include "language/language.h"
#include "text/ReadJob.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

class TextCopy : public QObject {
public:
    // notice shows a status-bar text; changed tells that Busy changed.
    TextCopy(HLANGCTX lang, std::function<void(const QString&)> notice,
             std::function<void()> changed);
    ~TextCopy() override;

    // Waiting for the picture or reading it.
    bool Busy() const { return waiting_ || job_ != nullptr; }
    bool Waiting() const { return waiting_; }
    // The picture was asked for and comes with Read.
    void AwaitPicture();
    // Reads a copy of picture (B, G, R, X rows stride bytes apart).
    void Read(const text::Picture& picture);
    // Drops the wait and stops the reading (the picture stopped); nothing
    // is copied, and the status bar says so.
    void Stop();

    // The Tesseract language of the program's current language.
    static std::string Language(HLANGCTX lang);

private:
    void OnTick();
    void OnDone(uint64_t ticket, int result, const text::Page& page, const text::Error& error);
    void Changed();

    HLANGCTX lang_;
    std::function<void(const QString&)> notice_;
    std::function<void()> changed_;
    QTimer* tick_ = nullptr; // a child: the progress in the status bar
    bool waiting_ = false;
    uint64_t ticket_ = 0; // of the running job; a stopped job's outcome has another
    std::unique_ptr<text::ReadJob> job_;
};
