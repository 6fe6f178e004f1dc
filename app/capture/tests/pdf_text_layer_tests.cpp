// The searchable PDF: pages of known print exported with their text read,
// then poppler's pdftotext finds the words and pdftoppm renders the pages as
// the export without words renders them; a stop while reading writes no
// file.
#include "capture/PdfExport.h"
#include "test_pictures.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    ::pclose(pipe);
    return out;
}

void WriteJpeg(const std::string& path, const text_test::DrawnPage& page) {
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(tj, page.pixels.data(), page.width, page.width * 4, page.height,
                          TJPF_BGRX, &jpeg, &size, TJSAMP_420, 90, 0),
              0);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(jpeg), size);
    tjFree(jpeg);
    tjDestroy(tj);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PdfTextLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        text::Error error;
        ASSERT_EQ(text::OpenReader("eng", "", &reader_, &error), text::kOk) << error.debug_text;
        // A straight page and one askew, as a camera sees them.
        const text_test::DrawnPage pages[] = {
            text_test::DrawPage(text_test::SampleLines(), 1600, 1200, 34, 0),
            text_test::DrawPage(text_test::SampleLines(), 1280, 960, 26, 1.5),
        };
        for (size_t i = 0; i < std::size(pages); ++i) {
            paths_.push_back(temp_.File("page" + std::to_string(i) + ".jpg"));
            WriteJpeg(paths_.back(), pages[i]);
            words_.insert(words_.end(), pages[i].words.begin(), pages[i].words.end());
        }
    }

    const testsupport::TempFolder temp_{"TovekPdfText"};
    text::ReaderPtr reader_;
    std::vector<std::string> paths_;
    std::vector<std::string> words_;
};

TEST_F(PdfTextLayerTest, WordsAreFoundAndThePicturesLookTheSame) {
    const std::string searchable = temp_.File("searchable.pdf");
    const std::string plain = temp_.File("plain.pdf");
    text::Monitor monitor;
    std::atomic<int> page{0};
    const pdf_export::Result result = pdf_export::WritePdf(
        paths_, pdf_export::Paper::kA4, searchable, {reader_.get(), &monitor, &page});
    ASSERT_TRUE(result.ok) << result.debug_text;
    EXPECT_EQ(result.pages, 2);
    EXPECT_EQ(page.load(), 2);
    ASSERT_TRUE(pdf_export::WritePdf(paths_, pdf_export::Paper::kA4, plain).ok);

    // pdftotext's words, each drawn word found once.
    std::vector<text::Word> found;
    std::istringstream split(Output("pdftotext -q '" + searchable + "' -"));
    for (std::string word; split >> word;)
        found.push_back({word});
    EXPECT_GE(text_test::WordsRight(words_, found), 0.9);
    EXPECT_EQ(static_cast<int>(found.size()), result.words);
    EXPECT_TRUE(Output("pdftotext -q '" + plain + "' -").find_first_not_of(" \n\f") ==
                std::string::npos);

    // Rendered at 100 dpi, grey: no pixel differs by more than a step.
    Output("pdftoppm -q -r 100 -gray '" + searchable + "' '" + temp_.File("s") + "'");
    Output("pdftoppm -q -r 100 -gray '" + plain + "' '" + temp_.File("p") + "'");
    for (const char* n : {"-1.pgm", "-2.pgm"}) {
        const std::string a = ReadFile(temp_.File(std::string("s") + n));
        const std::string b = ReadFile(temp_.File(std::string("p") + n));
        ASSERT_EQ(a.size(), b.size()) << n;
        ASSERT_FALSE(a.empty()) << n;
        int most = 0;
        for (size_t i = 0; i < a.size(); ++i)
            most =
                std::max(most, std::abs(static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i])));
        EXPECT_LE(most, 1) << n;
    }
}

TEST_F(PdfTextLayerTest, AStopWhileReadingWritesNoFile) {
    const std::string out = temp_.File("stopped.pdf");
    text::Monitor monitor;
    monitor.cancel.store(true);
    const pdf_export::Result result =
        pdf_export::WritePdf(paths_, pdf_export::Paper::kA4, out, {reader_.get(), &monitor});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.user_text, pdf_export::kStoppedText);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(out + ".part"));
}

} // namespace
