#include "PdfTextLayer.h"

#include <turbojpeg.h>

#include <memory>
#include <string>

namespace pdf_export {
namespace {

struct TjFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};

// cairo leaves out whatever is drawn with a source it counts as clear
// (alpha below 1/256), and a PDF surface has no invisible text mode; this
// is the faintest ink it keeps, below one step of any 8-bit display.
constexpr double kInvisibleAlpha = 1.5 / 255.0;

} // namespace

int ReadJpegText(const std::vector<uint8_t>& jpeg, text::Reader* reader, text::Monitor* monitor,
                 text::Page* page, text::Error* error) {
    const std::unique_ptr<void, TjFree> handle(tjInitDecompress());
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (!handle ||
        tjDecompressHeader3(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                            &width, &height, &subsampling, &colorspace) != 0 ||
        width > text::kMaxSide || height > text::kMaxSide) {
        *error = {text::kBadPictureText,
                  std::string("JPEG header: ") + tjGetErrorStr2(handle.get())};
        return text::kBadPicture;
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    if (tjDecompress2(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                      pixels.data(), width, width * 4, height, TJPF_BGRX, 0) != 0 &&
        tjGetErrorCode(handle.get()) == TJERR_FATAL) {
        *error = {text::kBadPictureText, std::string("JPEG: ") + tjGetErrorStr2(handle.get())};
        return text::kBadPicture;
    }
    return text::Recognise(reader, {pixels.data(), width, height, width * 4}, monitor, page, error);
}

void DrawTextLayer(cairo_t* cr, const text::Page& page) {
    cairo_save(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgba(cr, 0, 0, 0, kInvisibleAlpha);
    for (const text::Word& word : page.words) {
        if (word.width < 1 || word.height < 1)
            continue;
        cairo_set_font_size(cr, word.height);
        cairo_text_extents_t ink;
        cairo_text_extents(cr, word.text.c_str(), &ink);
        if (ink.width <= 0 || ink.height <= 0)
            continue;
        cairo_save(cr);
        cairo_translate(cr, word.left, word.top);
        cairo_scale(cr, word.width / ink.width, word.height / ink.height);
        cairo_move_to(cr, -ink.x_bearing, -ink.y_bearing);
        cairo_show_text(cr, word.text.c_str());
        cairo_restore(cr);
    }
    cairo_restore(cr);
}

} // namespace pdf_export
