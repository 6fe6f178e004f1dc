#include "text/ReadJob.h"
#include "text/TextReader.h"

#include "test_pictures.h"
#include "testsupport/temp_folder.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

namespace {

using text_test::DrawPage;
using text_test::SampleLines;
using text_test::WordsRight;

text::ReaderPtr OpenEnglish() {
    text::ReaderPtr reader;
    text::Error error;
    EXPECT_EQ(text::OpenReader("eng", "", &reader, &error), text::kOk) << error.debug_text;
    return reader;
}

struct PageCase {
    int width;
    int height;
    double font_px;
    double degrees;
};

// Print as a camera shows a page: small, middle and large, straight and
// slightly askew either way.
TEST(TextReader, ReadsDrawnPagesAtSizesAndSkews) {
    const PageCase cases[] = {
        {1280, 720, 18, 0},   {1920, 1080, 28, 0},   {1920, 1080, 28, 2.5},
        {1920, 1080, 40, -2}, {1280, 960, 22, -1.5},
    };
    text::ReaderPtr reader = OpenEnglish();
    ASSERT_TRUE(reader);
    for (const PageCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.font_px << " px "
                                        << c.degrees << " deg");
        const text_test::DrawnPage page =
            DrawPage(SampleLines(), c.width, c.height, c.font_px, c.degrees);
        text::Monitor monitor;
        text::Page read;
        text::Error error;
        ASSERT_EQ(text::Recognise(reader.get(), page.Picture(), &monitor, &read, &error), text::kOk)
            << error.debug_text;
        EXPECT_GE(WordsRight(page.words, read.words), 0.9) << read.text;
        EXPECT_EQ(monitor.percent.load(), 100);
        if (c.degrees == 0) {
            // Words sit where they were drawn.
            ASSERT_FALSE(read.words.empty());
            EXPECT_NEAR(read.words[0].left, page.first_left, c.font_px / 3);
            EXPECT_NEAR(read.words[0].top, page.first_top, c.font_px / 3);
        }
        // One line of text a drawn line.
        EXPECT_EQ(std::count(read.text.begin(), read.text.end(), '\n'),
                  static_cast<long>(SampleLines().size()))
            << read.text;
    }
}

// The German data reads umlauts and sharp s, which the English data does
// not know.
TEST(TextReader, GermanPrintWithGermanData) {
    text::ReaderPtr reader;
    text::Error error;
    ASSERT_EQ(text::OpenReader("deu", "", &reader, &error), text::kOk) << error.debug_text;
    const text_test::DrawnPage page = DrawPage({"Die Schüler lesen das Blatt an der Wand,",
                                                "während die Lehrerin am Tisch schreibt.",
                                                "Größere Übungen folgen nächste Woche."},
                                               1280, 720, 26, 1);
    text::Page read;
    ASSERT_EQ(text::Recognise(reader.get(), page.Picture(), nullptr, &read, &error), text::kOk);
    EXPECT_GE(WordsRight(page.words, read.words), 0.9) << read.text;
}

TEST(TextReader, BlankPictureHasNoWords) {
    text::ReaderPtr reader = OpenEnglish();
    ASSERT_TRUE(reader);
    const text_test::DrawnPage blank = DrawPage({}, 640, 480, 20, 0);
    text::Page read;
    text::Error error;
    EXPECT_EQ(text::Recognise(reader.get(), blank.Picture(), nullptr, &read, &error), text::kOk);
    EXPECT_TRUE(read.words.empty());
    EXPECT_TRUE(read.text.empty());
}

TEST(TextReader, RefusesWhatIsNoPicture) {
    text::ReaderPtr reader = OpenEnglish();
    ASSERT_TRUE(reader);
    const text_test::DrawnPage page = DrawPage({"word"}, 64, 64, 12, 0);
    const text::Picture pictures[] = {
        {nullptr, 64, 64, 256},
        {page.pixels.data(), 0, 64, 256},
        {page.pixels.data(), 64, 64, 200}, // rows shorter than the width
        {page.pixels.data(), text::kMaxSide + 1, 1, 4 * (text::kMaxSide + 1)},
    };
    for (const text::Picture& picture : pictures) {
        text::Page read;
        text::Error error;
        EXPECT_EQ(text::Recognise(reader.get(), picture, nullptr, &read, &error),
                  text::kBadPicture);
        EXPECT_EQ(error.user_text, text::kBadPictureText);
        EXPECT_FALSE(error.debug_text.empty());
    }
}

TEST(TextReader, MissingLanguageDataIsNamed) {
    testsupport::TempFolder empty("text");
    const struct {
        const char* languages;
        std::string folder;
    } cases[] = {{"xx_none", ""}, {"eng", empty.Path().string()}};
    for (const auto& c : cases) {
        text::ReaderPtr reader;
        text::Error error;
        EXPECT_EQ(text::OpenReader(c.languages, c.folder, &reader, &error), text::kNoLanguage);
        EXPECT_FALSE(reader);
        EXPECT_EQ(error.user_text, text::kNoLanguageText);
        EXPECT_NE(error.debug_text.find(c.languages), std::string::npos);
    }
}

struct JobOutcome {
    std::mutex lock;
    bool done = false;
    int result = -1;
    text::Page page;
    text::Error error;
};

text::ReadJob::Done Keep(JobOutcome* outcome) {
    return [outcome](int result, const text::Page& page, const text::Error& error) {
        std::lock_guard<std::mutex> hold(outcome->lock);
        outcome->done = true;
        outcome->result = result;
        outcome->page = page;
        outcome->error = error;
    };
}

TEST(ReadJob, ReadsItsOwnCopyOnTheWorker) {
    JobOutcome outcome;
    {
        text_test::DrawnPage page = DrawPage(SampleLines(), 1280, 720, 24, 0);
        text::ReadJob job(page.Picture(), "eng", "", Keep(&outcome));
        // The caller's pixels may go at once.
        const std::vector<std::string> words = page.words;
        page = {};
        // A bound for a hang only: a sanitizer build on a busy machine reads
        // slowly.
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] {
                std::lock_guard<std::mutex> hold(outcome.lock);
                return outcome.done;
            },
            std::chrono::minutes(2)));
        std::lock_guard<std::mutex> hold(outcome.lock);
        EXPECT_EQ(outcome.result, text::kOk);
        EXPECT_GE(WordsRight(words, outcome.page.words), 0.9);
        EXPECT_EQ(job.Percent(), 100);
    }
}

// Ending the job (a camera change, the program's exit) stops the reading
// instead of waiting for the page.
TEST(ReadJob, EndingStopsTheReading) {
    std::vector<std::string> lines;
    for (int i = 0; i < 8; ++i)
        lines.insert(lines.end(), SampleLines().begin(), SampleLines().end());
    const text_test::DrawnPage page = DrawPage(lines, 2400, 3200, 24, 0);
    JobOutcome outcome;
    { text::ReadJob job(page.Picture(), "eng", "", Keep(&outcome)); }
    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(outcome.result, text::kCancelled);
    EXPECT_EQ(outcome.error.user_text, text::kCancelledText);
    EXPECT_TRUE(outcome.page.words.empty());
}

} // namespace
