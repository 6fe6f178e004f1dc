// Captures made into one PDF file: one picture a page, fitted inside a 10 mm
// margin with its aspect kept, on an A4 or Letter page turned to the
// picture's orientation, in the order the pictures were taken (their files'
// modification times).
//
// The JPEG bytes go into the PDF as they are (cairo's PDF surface with the
// JPEG attached as MIME data, written as a DCT stream): nothing is encoded
// again, so a page costs about its picture's size. Each file is checked
// first with libjpeg-turbo (its header, its end-of-image marker and a decode
// at an eighth of its size, which also gives cairo its stand-in pixels); a
// file that is gone, cut short or not a JPEG picture is left out and named
// in the result.
//
// Searchable: each picture's text is read (text::Recognise on the whole
// decoded picture) and laid over it as invisible words at their places, so
// that a PDF reader finds, selects and copies them.
//
// The PDF is written beside its name and renamed at the end, so a failure
// never leaves a partial file. Qt-free, any thread; it blocks for the
// whole write, so the window runs it on a worker.
#pragma once

#include "text/TextReader.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace pdf_export {

enum class Paper { kA4, kLetter };

// The user texts of the failures (English; the window translates them).
inline constexpr char kNothingReadableText[] =
    "None of the pictures could be read; no PDF was written.";
inline constexpr char kDiskFullText[] = "The PDF could not be written: the disk is full.";
inline constexpr char kCannotWriteText[] = "The PDF could not be written to this folder.";
inline constexpr char kStoppedText[] = "The export was stopped; no PDF was written.";

inline constexpr double kMarginMm = 10.0;

struct Skipped {
    std::string path;
    std::string reason; // for the trace
};

// The searchable export's reader, the caller's: null for pictures only.
// monitor (may be null) gives the percent of the picture being read, and
// its cancel stops the export with kStoppedText; page counts the pictures
// read so far, the one being read included.
struct TextLayer {
    text::Reader* reader = nullptr;
    text::Monitor* monitor = nullptr;
    std::atomic<int>* page = nullptr;
};

struct Result {
    bool ok = false;
    int pages = 0;
    int words = 0;                // laid over the pictures (searchable)
    std::vector<Skipped> skipped; // left out; the others are in the file
    std::string user_text;        // empty on success
    std::string debug_text;       // what failed, with the system's or cairo's words
};

// Writes the readable JPEG files of jpeg_paths, one a page, to output_path
// (replacing a file of that name). No file is written when none is readable.
Result WritePdf(const std::vector<std::string>& jpeg_paths, Paper paper,
                const std::string& output_path, const TextLayer& text = {});

// The paper of a territory (ISO 3166 two-letter code, any case): Letter
// where it is the usual office paper (the Americas that use it and the
// Philippines), A4 everywhere else and for an unknown code.
Paper PaperForTerritory(std::string_view territory);

} // namespace pdf_export
