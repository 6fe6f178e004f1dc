#include "text/TextReader.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace text {

struct Reader {
    tesseract::TessBaseAPI api;
    std::vector<uint8_t> grey; // the picture as Tesseract reads it, kept for its size
};

void ReaderFree::operator()(Reader* reader) const {
    if (reader != nullptr)
        reader->api.End();
    delete reader;
}

namespace {

// A camera picture has no resolution of its own; this one makes Tesseract's
// size rules fit text a few dozen pixels high, as a page filling the frame
// shows it.
constexpr int kAssumedDpi = 150;

int Fail(Error* error, int result, const char* user_text, std::string debug_text) {
    if (error != nullptr)
        *error = {user_text, std::move(debug_text)};
    return result;
}

// Tesseract asks this between words.
bool Cancel(void* context, int /*words*/) {
    return static_cast<Monitor*>(context)->cancel.load(std::memory_order_relaxed);
}

// Tesseract's progress record with the monitor it reports to.
struct MonitoredProgress : tesseract::ETEXT_DESC {
    Monitor* monitor = nullptr;
};

bool ReportProgress(tesseract::ETEXT_DESC* progress, int, int, int, int) {
    auto* monitored = static_cast<MonitoredProgress*>(progress);
    monitored->monitor->percent.store(progress->progress, std::memory_order_relaxed);
    return true;
}

// Tesseract's OpenMP threads spin while they wait for work: on a shared
// machine they cost several times the CPU of reading on one thread and
// finish later (measured in bench/text_bench: 1.8 s against 0.46 s a
// 1080p page), and its own thread counts ignore omp_set_num_threads. No
// active parallel level runs every region on the reading thread; nothing
// else in the program uses OpenMP. Looked up, not linked: the runtime is
// the one Tesseract was built with.
void ReadOnThisThreadOnly() {
    using SetLevels = void (*)(int);
    static const auto set_levels =
        reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (set_levels != nullptr)
        set_levels(0);
}

// Luminance in integers (BT.601 weights, sum 256).
void ToGrey(const Picture& picture, uint8_t* grey) {
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* row = picture.pixels + static_cast<size_t>(y) * picture.stride;
        uint8_t* out = grey + static_cast<size_t>(y) * picture.width;
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = row + 4 * x;
            out[x] = static_cast<uint8_t>((29 * p[0] + 150 * p[1] + 77 * p[2]) >> 8);
        }
    }
}

bool HasVisibleText(const char* word) {
    for (const char* c = word; *c != '\0'; ++c) {
        if (*c != ' ' && *c != '\n' && *c != '\t')
            return true;
    }
    return false;
}

void CollectWords(tesseract::TessBaseAPI& api, Page* page) {
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return;
    constexpr auto kWord = tesseract::RIL_WORD;
    do {
        if (it->Empty(kWord))
            continue;
        const std::unique_ptr<char[]> utf8(it->GetUTF8Text(kWord));
        if (!utf8 || !HasVisibleText(utf8.get()))
            continue;
        if (it->IsAtBeginningOf(tesseract::RIL_PARA) && !page->text.empty())
            page->text += "\n\n";
        else if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) && !page->text.empty())
            page->text += '\n';
        else if (!page->text.empty())
            page->text += ' ';
        page->text += utf8.get();
        Word word;
        word.text = utf8.get();
        int right = 0, bottom = 0;
        it->BoundingBox(kWord, &word.left, &word.top, &right, &bottom);
        word.width = right - word.left;
        word.height = bottom - word.top;
        word.confidence = static_cast<int>(it->Confidence(kWord) + 0.5f);
        page->words.push_back(std::move(word));
    } while (it->Next(kWord));
    if (!page->text.empty())
        page->text += '\n';
}

} // namespace

int OpenReader(const std::string& languages, const std::string& data_folder, ReaderPtr* reader,
               Error* error) {
    ReaderPtr made(new Reader);
    // Tesseract names a missing file on stderr; the result says it too.
    if (made->api.Init(data_folder.empty() ? nullptr : data_folder.c_str(), languages.c_str(),
                       tesseract::OEM_DEFAULT) != 0)
        return Fail(error, kNoLanguage, kNoLanguageText,
                    "tesseract: no data for \"" + languages + "\" in " +
                        (data_folder.empty() ? std::string("the system's folder") : data_folder));
    // Its words, not its guesses at a page's layout order, for a camera's
    // picture of one page or a part of one.
    made->api.SetPageSegMode(tesseract::PSM_AUTO);
    *reader = std::move(made);
    return kOk;
}

int Recognise(Reader* reader, const Picture& picture, Monitor* monitor, Page* page, Error* error) {
    *page = {};
    if (reader == nullptr)
        return Fail(error, kFailed, kFailedText, "no reader");
    if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1 ||
        picture.width > kMaxSide || picture.height > kMaxSide || picture.stride < 4 * picture.width)
        return Fail(error, kBadPicture, kBadPictureText,
                    "picture " + std::to_string(picture.width) + "x" +
                        std::to_string(picture.height) + " stride " +
                        std::to_string(picture.stride));
    if (monitor != nullptr && monitor->cancel.load())
        return Fail(error, kCancelled, kCancelledText, "stopped before it began");

    ReadOnThisThreadOnly();
    reader->grey.resize(static_cast<size_t>(picture.width) * picture.height);
    ToGrey(picture, reader->grey.data());
    tesseract::TessBaseAPI& api = reader->api;
    api.SetImage(reader->grey.data(), picture.width, picture.height, 1, picture.width);
    api.SetSourceResolution(kAssumedDpi);

    MonitoredProgress progress;
    if (monitor != nullptr) {
        progress.monitor = monitor;
        progress.cancel = &Cancel;
        progress.cancel_this = monitor;
        progress.progress_callback2 = &ReportProgress;
    }
    const int recognised = api.Recognize(&progress);
    if (monitor != nullptr)
        monitor->percent.store(100);
    if (monitor != nullptr && monitor->cancel.load()) {
        api.Clear();
        return Fail(error, kCancelled, kCancelledText,
                    "stopped at " + std::to_string(progress.progress) + " %");
    }
    if (recognised != 0) {
        api.Clear();
        return Fail(error, kFailed, kFailedText,
                    "tesseract Recognize returned " + std::to_string(recognised));
    }
    CollectWords(api, page);
    api.Clear();
    return kOk;
}

} // namespace text
