#include "capture/PdfExport.h"

#include "PdfTextLayer.h"
#include "platform/media.h"
#include <cairo-pdf.h>
#include <cairo.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace pdf_export {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
// Portrait, in points.
constexpr double kA4Width = 210.0 * kPointsPerMm;
constexpr double kA4Height = 297.0 * kPointsPerMm;
constexpr double kLetterWidth = 612.0;
constexpr double kLetterHeight = 792.0;
// Larger files are no camera picture; reading them whole would only cost
// memory.
constexpr off_t kMaxJpegBytes = off_t{256} << 20;

struct TjFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};
struct CairoSurfaceFree {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct CairoFree {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceFree>;

struct Picture {
    std::string path;
    timespec taken{};
};

// The file's bytes, or an empty vector with reason set.
std::vector<uint8_t> ReadWhole(const std::string& path, std::string* reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return {};
    }
    std::vector<uint8_t> bytes;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxJpegBytes) {
        *reason = "not a regular file of a picture's size";
        ::close(fd);
        return {};
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    if (bytes.empty())
        *reason = "empty";
    return bytes;
}

// One page's image: an eighth-size surface of the decoded pixels carrying
// the JPEG bytes, which the PDF surface writes instead of the pixels.
struct PageImage {
    SurfacePtr surface;
    int width = 0; // the JPEG's own size
    int height = 0;
};

// With a reader in text, the picture's words go to *words; a picture whose
// text cannot be read keeps its page without words.
PageImage LoadImage(const std::string& path, const TextLayer& text, text::Page* words,
                    std::string* reason) {
    std::vector<uint8_t> bytes = ReadWhole(path, reason);
    if (bytes.empty())
        return {};
    // A handle of its own: one a failed picture left behind can refuse the
    // next good one.
    const std::unique_ptr<void, TjFree> handle(tjInitDecompress());
    tjhandle tj = handle.get();
    if (tj == nullptr) {
        *reason = tjGetErrorStr2(nullptr);
        return {};
    }
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(tj, bytes.data(), static_cast<unsigned long>(bytes.size()), &width,
                            &height, &subsampling, &colorspace) != 0) {
        *reason = tjGetErrorStr2(tj);
        return {};
    }
    // A PDF reader takes CMYK JPEGs as Adobe writes them only; cameras send
    // none.
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
        *reason = "CMYK picture";
        return {};
    }
    if (!platform::JpegEndsWithEndOfImage(bytes.data(), bytes.size())) {
        *reason = "cut short (no end-of-image marker)";
        return {};
    }
    const tjscalingfactor eighth{1, 8};
    const int small_width = TJSCALED(width, eighth);
    const int small_height = TJSCALED(height, eighth);
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, small_width, small_height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        *reason = cairo_status_to_string(cairo_surface_status(surface.get()));
        return {};
    }
    cairo_surface_flush(surface.get());
    // RGB24 is one native-endian 0x00RRGGBB word a pixel: B, G, R, X here.
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
    if (tjDecompress2(tj, bytes.data(), static_cast<unsigned long>(bytes.size()),
                      cairo_image_surface_get_data(surface.get()), small_width,
                      cairo_image_surface_get_stride(surface.get()), small_height, TJPF_BGRX,
                      TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE) != 0 &&
        tjGetErrorCode(tj) == TJERR_FATAL) {
        // Damaged bytes the decoder works around (a warning) are kept, as the
        // view shows them.
        *reason = tjGetErrorStr2(tj);
        return {};
    }
    cairo_surface_mark_dirty(surface.get());
    if (text.reader != nullptr) {
        text::Error error;
        const int read = ReadJpegText(bytes, text.reader, text.monitor, words, &error);
        if (read != text::kOk)
            *reason = "text not read: " + error.debug_text;
    }

    auto* owned = new std::vector<uint8_t>(std::move(bytes));
    const cairo_status_t status = cairo_surface_set_mime_data(
        surface.get(), CAIRO_MIME_TYPE_JPEG, owned->data(), owned->size(),
        [](void* data) { delete static_cast<std::vector<uint8_t>*>(data); }, owned);
    if (status != CAIRO_STATUS_SUCCESS) {
        delete owned;
        *reason = cairo_status_to_string(status);
        return {};
    }
    return {std::move(surface), width, height};
}

// The PDF's bytes go to the file through here, so that the system's reason
// for a failed write (a full disk) is kept.
struct Sink {
    int fd = -1;
    int error = 0;
};

cairo_status_t WriteToSink(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<Sink*>(closure);
    while (length > 0) {
        const ssize_t n = ::write(sink->fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            sink->error = n < 0 ? errno : ENOSPC;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += n;
        length -= static_cast<unsigned int>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

void DrawPage(cairo_t* cr, const PageImage& image, const text::Page& words, double page_width,
              double page_height) {
    const double margin = kMarginMm * kPointsPerMm;
    const double fit = std::min((page_width - 2 * margin) / image.width,
                                (page_height - 2 * margin) / image.height);
    const double shown_width = image.width * fit;
    const double shown_height = image.height * fit;
    cairo_save(cr);
    cairo_translate(cr, (page_width - shown_width) / 2, (page_height - shown_height) / 2);
    // The surface holds the eighth-size pixels; the rectangle is the
    // picture's.
    cairo_save(cr);
    cairo_scale(cr, shown_width / cairo_image_surface_get_width(image.surface.get()),
                shown_height / cairo_image_surface_get_height(image.surface.get()));
    cairo_set_source_surface(cr, image.surface.get(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    // The words in the picture's own pixels.
    cairo_scale(cr, fit, fit);
    DrawTextLayer(cr, words);
    cairo_restore(cr);
}

Result WriteFailure(Result result, int error, const std::string& what) {
    result.pages = 0;
    result.user_text = error == ENOSPC || error == EDQUOT ? kDiskFullText : kCannotWriteText;
    result.debug_text = what + ": " + std::strerror(error);
    return result;
}

} // namespace

Paper PaperForTerritory(std::string_view territory) {
    // CLDR's Letter territories.
    static constexpr std::string_view kLetter[] = {"BZ", "CA", "CL", "CO", "CR", "GT", "MX",
                                                   "NI", "PA", "PH", "PR", "SV", "US", "VE"};
    if (territory.size() != 2)
        return Paper::kA4;
    const char code[2] = {
        static_cast<char>(std::toupper(static_cast<unsigned char>(territory[0]))),
        static_cast<char>(std::toupper(static_cast<unsigned char>(territory[1])))};
    const std::string_view upper(code, 2);
    return std::find(std::begin(kLetter), std::end(kLetter), upper) != std::end(kLetter)
               ? Paper::kLetter
               : Paper::kA4;
}

Result WritePdf(const std::vector<std::string>& jpeg_paths, Paper paper,
                const std::string& output_path, const TextLayer& text) {
    Result result;
    std::vector<Picture> pictures;
    for (const std::string& path : jpeg_paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            result.skipped.push_back({path, std::strerror(errno)});
            continue;
        }
        pictures.push_back({path, st.st_mtim});
    }
    // Snapshots of one second share a time stamp, and their names count on.
    std::stable_sort(pictures.begin(), pictures.end(), [](const Picture& a, const Picture& b) {
        if (a.taken.tv_sec != b.taken.tv_sec)
            return a.taken.tv_sec < b.taken.tv_sec;
        if (a.taken.tv_nsec != b.taken.tv_nsec)
            return a.taken.tv_nsec < b.taken.tv_nsec;
        return a.path < b.path;
    });

    const std::string part = output_path + ".part";
    Sink sink;
    sink.fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (sink.fd < 0) {
        const int error = errno;
        return WriteFailure(std::move(result), error, "open " + part);
    }

    const double portrait_width = paper == Paper::kLetter ? kLetterWidth : kA4Width;
    const double portrait_height = paper == Paper::kLetter ? kLetterHeight : kA4Height;
    SurfacePtr pdf(
        cairo_pdf_surface_create_for_stream(&WriteToSink, &sink, portrait_width, portrait_height));
    std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(pdf.get()));
    bool stopped = false;
    for (const Picture& picture : pictures) {
        if (text.page != nullptr)
            text.page->fetch_add(1);
        std::string reason;
        text::Page words;
        const PageImage image = LoadImage(picture.path, text, &words, &reason);
        if (text.monitor != nullptr && text.monitor->cancel.load()) {
            stopped = true;
            break;
        }
        if (!image.surface) {
            result.skipped.push_back({picture.path, reason});
            continue;
        }
        result.words += static_cast<int>(words.words.size());
        const bool landscape = image.width > image.height;
        const double page_width = landscape ? portrait_height : portrait_width;
        const double page_height = landscape ? portrait_width : portrait_height;
        cairo_pdf_surface_set_size(pdf.get(), page_width, page_height);
        DrawPage(cr.get(), image, words, page_width, page_height);
        cairo_show_page(cr.get());
        ++result.pages;
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
            break;
    }
    const cairo_status_t drawn = cairo_status(cr.get());
    cr.reset();
    cairo_surface_finish(pdf.get());
    const cairo_status_t finished = cairo_surface_status(pdf.get());
    pdf.reset();
    const int close_error = ::close(sink.fd) != 0 ? errno : 0;

    if (stopped) {
        ::unlink(part.c_str());
        result.pages = 0;
        result.user_text = kStoppedText;
        result.debug_text = "stopped while reading the text";
        return result;
    }
    if (result.pages == 0) {
        ::unlink(part.c_str());
        result.user_text = kNothingReadableText;
        result.debug_text = "no readable JPEG among " + std::to_string(jpeg_paths.size());
        return result;
    }
    if (sink.error != 0 || close_error != 0 || drawn != CAIRO_STATUS_SUCCESS ||
        finished != CAIRO_STATUS_SUCCESS) {
        ::unlink(part.c_str());
        if (sink.error != 0 || close_error != 0)
            return WriteFailure(std::move(result), sink.error != 0 ? sink.error : close_error,
                                "write " + part);
        result.pages = 0;
        result.user_text = kCannotWriteText;
        result.debug_text =
            std::string("cairo: ") +
            cairo_status_to_string(drawn != CAIRO_STATUS_SUCCESS ? drawn : finished);
        return result;
    }
    if (::rename(part.c_str(), output_path.c_str()) != 0) {
        const int error = errno;
        ::unlink(part.c_str());
        return WriteFailure(std::move(result), error, "rename to " + output_path);
    }
    result.ok = true;
    return result;
}

} // namespace pdf_export
