// Captures made into a PDF, read back with poppler's pdfinfo and pdfimages:
// pages and paper, the JPEG streams byte for byte, the file's size; bad
// pictures left out and named; an output path that cannot be written. The
// searchable export: pages of known print, whose words pdftotext finds and
// which pdftoppm renders as without them; a stop while reading writes no
// file.
#include "capture/PdfExport.h"
#include "test_pictures.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;
using pdf_export::Paper;

namespace {

// A 1080p picture with some texture, so it weighs what a camera's does.
std::string EncodePicture(int width, int height, unsigned seed) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / width + (seed >> 28));
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>(((x / 40 + y / 40) % 2) * 120 + (seed >> 27));
        }
    }
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(
        tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 85, 0),
        0);
    std::string bytes(reinterpret_cast<char*>(jpeg), size);
    tjFree(jpeg);
    tjDestroy(tj);
    return bytes;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

class PdfExportTest : public ::testing::Test {
protected:
    const testsupport::TempFolder temp_{"TovekPdf"};
};

TEST_F(PdfExportTest, ThreePicturesOnePageEachWithTheirOwnBytes) {
    struct Case {
        Paper paper;
        const char* page_size; // pdfinfo's, landscape for the wide pictures
    };
    for (const Case& c : {Case{Paper::kA4, "841.89 x 595.276 pts (A4)"},
                          Case{Paper::kLetter, "792 x 612 pts (letter)"}}) {
        SCOPED_TRACE(c.page_size);
        std::vector<std::string> paths;
        std::vector<std::string> pictures;
        size_t total = 0;
        for (unsigned i = 0; i < 3; ++i) {
            pictures.push_back(EncodePicture(1920, 1080, i + 1));
            paths.push_back(temp_.File("p" + std::to_string(i) + ".jpg"));
            Write(paths.back(), pictures.back());
            total += pictures.back().size();
        }
        // Taken in the other order: the pages follow the files' times.
        const auto now = fs::file_time_type::clock::now();
        for (size_t i = 0; i < paths.size(); ++i)
            fs::last_write_time(paths[i], now - std::chrono::seconds(10 * i));

        const std::string out = temp_.File("out.pdf");
        const pdf_export::Result result = pdf_export::WritePdf(paths, c.paper, out);
        ASSERT_TRUE(result.ok) << result.debug_text;
        EXPECT_EQ(result.pages, 3);
        EXPECT_TRUE(result.skipped.empty());
        EXPECT_FALSE(fs::exists(out + ".part"));

        const std::string info = Output("pdfinfo '" + out + "'");
        EXPECT_NE(info.find("Pages:           3\n"), std::string::npos) << info;
        EXPECT_NE(info.find(std::string("Page size:       ") + c.page_size), std::string::npos)
            << info;
        const std::string list = Output("pdfimages -list '" + out + "' | tail -n +3");
        int images = 0;
        std::istringstream lines(list);
        for (std::string line; std::getline(lines, line); ++images)
            EXPECT_NE(line.find(" 1920  1080  rgb     3   8  jpeg "), std::string::npos) << line;
        EXPECT_EQ(images, 3);
        // Nothing encoded again: the streams are the files, newest last.
        Output("pdfimages -j '" + out + "' '" + temp_.File("x") + "'");
        for (int page = 0; page < 3; ++page)
            EXPECT_EQ(Read(temp_.File("x-00" + std::to_string(page) + ".jpg")), pictures[2 - page]);
        EXPECT_LE(fs::file_size(out), total * 105 / 100);
    }
}

TEST_F(PdfExportTest, BadPicturesAreLeftOutAndNamed) {
    const std::string good = EncodePicture(640, 480, 7);
    struct Bad {
        const char* name;
        std::string bytes; // empty: no file at all
    };
    const Bad bad[] = {
        {"missing.jpg", ""},
        {"empty.jpg", std::string()},
        {"text.jpg", "not a picture at all"},
        {"cut.jpg", good.substr(0, good.size() / 2)},
        {"header_only.jpg", good.substr(0, 700)},
        {"garbled.jpg", good.substr(0, 200) + std::string(5000, '\xFF') + "\xFF\xD9"},
    };
    std::vector<std::string> paths = {temp_.File("good.jpg")};
    Write(paths[0], good);
    for (const Bad& b : bad) {
        paths.push_back(temp_.File(b.name));
        if (std::string(b.name) != "missing.jpg")
            Write(paths.back(), b.bytes);
    }
    const std::string out = temp_.File("out.pdf");
    const pdf_export::Result result = pdf_export::WritePdf(paths, Paper::kA4, out);
    ASSERT_TRUE(result.ok) << result.debug_text;
    EXPECT_EQ(result.pages, 1);
    ASSERT_EQ(result.skipped.size(), std::size(bad));
    for (const Bad& b : bad) {
        bool named = false;
        for (const pdf_export::Skipped& s : result.skipped)
            named = named || s.path == temp_.File(b.name);
        EXPECT_TRUE(named) << b.name;
    }
    EXPECT_NE(Output("pdfinfo '" + out + "' 2>&1").find("Pages:           1\n"), std::string::npos);

    // Nothing readable: no file, and a message that says so.
    fs::remove(out);
    const pdf_export::Result none =
        pdf_export::WritePdf({paths.begin() + 1, paths.end()}, Paper::kA4, out);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.user_text, pdf_export::kNothingReadableText);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(out + ".part"));
}

TEST_F(PdfExportTest, AnUnwritablePlaceIsReported) {
    const std::string picture = temp_.File("p.jpg");
    Write(picture, EncodePicture(320, 240, 3));
    Write(temp_.File("plain_file"), "x");
    for (const std::string& out :
         {temp_.File("no_such_folder/out.pdf"), temp_.File("plain_file/out.pdf")}) {
        const pdf_export::Result result = pdf_export::WritePdf({picture}, Paper::kA4, out);
        EXPECT_FALSE(result.ok) << out;
        EXPECT_EQ(result.user_text, pdf_export::kCannotWriteText);
        EXPECT_NE(result.debug_text.find(out), std::string::npos) << result.debug_text;
    }
}

TEST(PdfPaperTest, LetterWhereItIsTheOfficePaper) {
    struct Case {
        const char* territory;
        Paper paper;
    };
    for (const Case& c :
         {Case{"US", Paper::kLetter}, Case{"ca", Paper::kLetter}, Case{"MX", Paper::kLetter},
          Case{"PH", Paper::kLetter}, Case{"GB", Paper::kA4}, Case{"DE", Paper::kA4},
          Case{"AU", Paper::kA4}, Case{"", Paper::kA4}, Case{"USA", Paper::kA4}}) {
        EXPECT_EQ(pdf_export::PaperForTerritory(c.territory), c.paper) << c.territory;
    }
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
        const std::string a = Read(temp_.File(std::string("s") + n));
        const std::string b = Read(temp_.File(std::string("p") + n));
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
