// Reading the text of a picture with Tesseract: a reader handle for one
// language (its data loaded once, so the pages of an export share it), the
// words with their boxes in the picture, and the text in reading order.
//
// Plain functions with integer results; a failure leaves a user text for the
// status bar and a debug text for the trace in the Error. Qt-free. A reader
// is used by one thread at a time; Recognise blocks for the whole page
// (seconds), so the window calls it on a worker. Its Monitor is the only
// part another thread touches: it reads the progress and asks to stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace text {

// Results; any other value is an unknown failure.
inline constexpr int kOk = 0;
inline constexpr int kNoLanguage = 1; // the language's data is not installed
inline constexpr int kCancelled = 2;
inline constexpr int kBadPicture = 3; // no pixels, or a size no camera gives
inline constexpr int kFailed = 4;

// The user texts (English; the window translates them).
inline constexpr char kNoLanguageText[] =
    "Text cannot be read: the language data for text recognition is not installed.";
inline constexpr char kCancelledText[] = "Reading the text was stopped.";
inline constexpr char kBadPictureText[] = "There is no picture to read the text of.";
inline constexpr char kFailedText[] = "The text could not be read.";

// Pictures larger than this on either side are refused (a 8K frame is the
// largest a camera sends).
inline constexpr int kMaxSide = 8192;

struct Error {
    std::string user_text;
    std::string debug_text;
};

// Four bytes a pixel, B, G, R, X (the rendered sample's and cairo's RGB24
// layout), rows top-down, stride bytes apart.
struct Picture {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

struct Word {
    std::string text; // UTF-8
    int left = 0;     // its box in the picture's pixels
    int top = 0;
    int width = 0;
    int height = 0;
    int confidence = 0; // 0 to 100
};

struct Page {
    std::vector<Word> words;
    // The words in reading order: a space between words, a line break at
    // each line's end and an empty line between paragraphs.
    std::string text;
};

// Shared with the thread that waits for a page: progress in percent (0 to
// 100) and the wish to stop, which Recognise honours within a few words.
struct Monitor {
    std::atomic<int> percent{0};
    std::atomic<bool> cancel{false};
};

struct Reader;
struct ReaderFree {
    void operator()(Reader* reader) const;
};
using ReaderPtr = std::unique_ptr<Reader, ReaderFree>;

// Opens a reader for languages (Tesseract's codes: "eng", "deu",
// "deu+eng"), their data read from data_folder, or from the system's
// folder when it is empty. kOk with *reader set, or kNoLanguage.
int OpenReader(const std::string& languages, const std::string& data_folder, ReaderPtr* reader,
               Error* error);

// Reads the text of picture into *page (emptied first). monitor may be null.
// kOk (also for a picture without text: no words), kCancelled, kBadPicture
// or kFailed.
int Recognise(Reader* reader, const Picture& picture, Monitor* monitor, Page* page, Error* error);

} // namespace text
