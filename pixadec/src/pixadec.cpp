#include "pixadec.h"

#include "jpeg_structure.h"

#include <turbojpeg.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

struct PixadecImage {
    int width;
    int height;
    int components;
};

namespace {

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

int ComponentCount(int colorspace) {
    switch (colorspace) {
    case TJCS_GRAY:
        return 1;
    case TJCS_CMYK:
    case TJCS_YCCK:
        return 4;
    default:
        return 3;
    }
}

// The smallest scale the library offers (1/8 in practice): every coefficient
// is still entropy-decoded, so the whole scan is checked, but the inverse
// transform and the output stay small.
tjscalingfactor SmallestScale() {
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor smallest = {1, 1};
    for (int i = 0; factors != nullptr && i < count; ++i) {
        if (static_cast<int64_t>(factors[i].num) * smallest.denom <
            static_cast<int64_t>(smallest.num) * factors[i].denom) {
            smallest = factors[i];
        }
    }
    return smallest;
}

// Decodes the picture at a reduced scale and reports whether libjpeg-turbo
// met any fault, warnings included (a premature end, a bad Huffman code, a
// restart marker out of sequence).
bool DecodesCleanly(tjhandle tj, const unsigned char* data, unsigned long size, int width,
                    int height, int colorspace) {
    static const tjscalingfactor scale = SmallestScale();
    const int scaled_width = TJSCALED(width, scale);
    const int scaled_height = TJSCALED(height, scale);
    // Grey output needs the least memory; CMYK pictures cannot be turned grey.
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    const int pixel_format = cmyk ? TJPF_CMYK : TJPF_GRAY;
    const size_t pixel_size = static_cast<size_t>(tjPixelSize[pixel_format]);
    const size_t pitch = static_cast<size_t>(scaled_width) * pixel_size;
    // Not zero-filled: a picture whose header claims a huge size but whose
    // scan is short fails before most of this memory is ever touched.
    std::unique_ptr<unsigned char[]> pixels(
        new (std::nothrow) unsigned char[pitch * scaled_height]);
    if (!pixels) {
        return false;
    }
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    return tjDecompress2(tj, data, size, pixels.get(), scaled_width, static_cast<int>(pitch),
                         scaled_height, pixel_format, flags) == 0;
}

} // namespace

extern "C" {

int LibJpeg_Initialize(void) {
    return 0;
}

int LibJpeg_UnInitialize(void) {
    return 0;
}

PIXADEC_HANDLE LibJpeg_Open(const unsigned char* data, int length, int* width, int* height,
                            int* components) {
    if (data == nullptr || length <= 0) {
        return nullptr;
    }
    const auto size = static_cast<size_t>(length);
    if (!pixadec::HasCompleteStructure(data, size)) {
        return nullptr;
    }
    TjHandle tj(tjInitDecompress());
    if (!tj) {
        return nullptr;
    }
    int w = 0;
    int h = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(tj.get(), data, size, &w, &h, &subsampling, &colorspace) != 0 ||
        w <= 0 || h <= 0) {
        return nullptr;
    }
    if (!DecodesCleanly(tj.get(), data, size, w, h, colorspace)) {
        return nullptr;
    }
    auto* image = new (std::nothrow) PixadecImage{w, h, ComponentCount(colorspace)};
    if (image == nullptr) {
        return nullptr;
    }
    if (width != nullptr) {
        *width = image->width;
    }
    if (height != nullptr) {
        *height = image->height;
    }
    if (components != nullptr) {
        *components = image->components;
    }
    return image;
}

int LibJpeg_GetSize(PIXADEC_HANDLE handle, int* width, int* height) {
    if (handle == nullptr) {
        return -1;
    }
    if (width != nullptr) {
        *width = handle->width;
    }
    if (height != nullptr) {
        *height = handle->height;
    }
    return 0;
}

void LibJpeg_Close(PIXADEC_HANDLE handle) {
    delete handle;
}

} // extern "C"
