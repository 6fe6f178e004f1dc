#include "CoefficientEncoder.h"

#include "DctBlock.h"
#include "YuvPlanes.h"
#include "annotation/FrameOverlay.h"
#include "platform/jpeg_error_jump.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>
#include <turbojpeg.h>

namespace dct {
namespace {

// Floor division, for block numbers of sample positions left of or above
// the picture.
int FloorDiv8(int value) {
    return value >= 0 ? value / 8 : -((7 - value) / 8);
}

uint32_t Load32(const uint8_t* p) {
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

struct Component;

// Storage for coefficients, kept at its largest size.
class Coefficients {
public:
    // Room for count coefficients; false without memory.
    bool Reserve(size_t count) noexcept {
        if (count <= capacity_)
            return true;
        data_.reset(new (std::nothrow) JCOEF[count]);
        capacity_ = data_ != nullptr ? count : 0;
        return data_ != nullptr;
    }
    JCOEF* data() const { return data_.get(); }

private:
    std::unique_ptr<JCOEF[]> data_;
    size_t capacity_ = 0;
};

struct BlockArray {
    Coefficients coefficients; // blocks of DCTSIZE2 one after another
    std::vector<JBLOCKROW> rows;
    // A turned view of a component instead (view not null): its rows are
    // made when the writer asks for them, into the first rows here.
    const Component* view = nullptr;
    int turns = 0;
    JDIMENSION per_row = 0;
    JDIMENSION total_rows = 0;
};

// Coefficient arrays kept from picture to picture: libjpeg's own would be
// allocated and freed for every one, megabytes each, and the memory they
// touch comes back from the system page by page each time.
class ArrayPool {
public:
    void Reset() { used_ = 0; }
    // An array of rows x per_row blocks, zeroed when asked; null when
    // there is no memory for it.
    BlockArray* Take(JDIMENSION per_row, JDIMENSION rows, bool zero) noexcept {
        const size_t count = static_cast<size_t>(per_row) * rows;
        try {
            if (used_ == arrays_.size())
                arrays_.push_back(std::make_unique<BlockArray>());
            BlockArray& array = *arrays_[used_];
            if (!array.coefficients.Reserve(count * DCTSIZE2))
                return nullptr;
            if (zero)
                std::memset(array.coefficients.data(), 0, count * sizeof(JBLOCK));
            array.rows.resize(rows);
            for (JDIMENSION r = 0; r < rows; ++r)
                array.rows[r] = reinterpret_cast<JBLOCKROW>(
                    array.coefficients.data() + static_cast<size_t>(r) * per_row * DCTSIZE2);
            ++used_;
            return &array;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

private:
    std::vector<std::unique_ptr<BlockArray>> arrays_;
    size_t used_ = 0;
};

struct Component {
    int h = 1; // sampling factors
    int v = 1;
    int blocks_across = 0; // whole units of h x v blocks
    int blocks_down = 0;
    int samples_across = 0; // of the picture, without the padding
    int samples_down = 0;
    Table table;
    ShiftTurn shift_turn;        // for a quarter turn of a height off the block grid
    std::vector<JBLOCKROW> rows; // the camera's blocks
    BlockArray turned;           // the turned picture's, as a view

    JCOEF* Block(int row, int column) const {
        if (row < 0 || column < 0 || row >= blocks_down || column >= blocks_across)
            return nullptr;
        return rows[static_cast<size_t>(row)][column];
    }
};

} // namespace

// libjpeg's two codecs and their work. Errors jump back to Encode; the
// overlay's lock is never held while libjpeg runs.
struct CoefficientEncoder::State : platform::JpegErrorJump {
    jpeg_decompress_struct source{};
    jpeg_compress_struct target{};
    ArrayPool pool;

    int width = 0;
    int height = 0;
    int mcus_across = 0;
    int mcus_down = 0;
    int subsampling = -1; // TJSAMP_*
    Component components[3];
    jvirt_barray_ptr arrays[3] = {};

    struct Free {
        void operator()(unsigned char* p) const { std::free(p); }
    };
    // malloc'd, as libjpeg's memory target grows it
    std::unique_ptr<unsigned char, Free> out;
    unsigned long capacity = 0;
    size_t size = 0;
    bool drew = false;

    // Drawing: which MCUs the overlay touches, for its rendering number.
    std::vector<uint8_t> marked;
    std::vector<int> touched;
    uint64_t touched_rendering = yuv::OverlayCompositor::kNoRendering;
    int touched_width = 0;
    int touched_height = 0;
    int touched_subsampling = -1;
    std::vector<uint8_t> planes;
    yuv::PlaneLayout layout;
    yuv::OverlayCompositor compositor;

    static State* Of(j_common_ptr info) { return static_cast<State*>(JpegErrorJump::Of(info)); }
    // libjpeg's memory manager hands out the pool's arrays, zeroed when it
    // asks (its coefficient reader writes only the coefficients that are
    // not zero).
    static jvirt_barray_ptr RequestArray(j_common_ptr info, int /*pool_id*/, boolean pre_zero,
                                         JDIMENSION per_row, JDIMENSION rows,
                                         JDIMENSION /*max_access*/) {
        BlockArray* array = Of(info)->pool.Take(per_row, rows, pre_zero != FALSE);
        if (array == nullptr)
            ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
        return reinterpret_cast<jvirt_barray_ptr>(array);
    }
    static JBLOCKARRAY AccessArray(j_common_ptr info, jvirt_barray_ptr pointer,
                                   JDIMENSION start_row, JDIMENSION rows, boolean /*writable*/) {
        auto* array = reinterpret_cast<BlockArray*>(pointer);
        if (array->view == nullptr) {
            if (start_row > array->rows.size() || rows > array->rows.size() - start_row)
                ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
            return array->rows.data() + start_row;
        }
        // Turned as the writer goes: the rows it encodes next are made in
        // the cache instead of a whole turned copy going out to memory.
        if (rows > array->rows.size() || start_row > array->total_rows ||
            rows > array->total_rows - start_row)
            ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
        for (JDIMENSION r = 0; r < rows; ++r)
            TurnRow(*array, start_row + r, array->rows[r]);
        return array->rows.data();
    }
    bool Read(const uint8_t* jpeg, size_t length, int turns);
    bool Draw(const uint8_t* overlay, const OverlayExtent& extent, uint64_t rendering);
    void Mark(const uint8_t* overlay, const OverlayExtent& extent);
    // Sets up k's turned view; false without memory for its rows.
    static bool MakeView(Component* k, int turns);
    // Where block (x, y) of component k turned by turns starts in the
    // camera's blocks: the block and the samples into it.
    struct Place {
        int row = 0;
        int column = 0;
        int offset_y = 0;
        int offset_x = 0;
    };
    static Place PlaceOf(const Component& k, int turns, int x, int y);
    // Row y of a turned view, into out.
    static void TurnRow(const BlockArray& view, JDIMENSION y, JBLOCKROW out);
    void Write(int turns);
    void Abort() {
        jpeg_abort_decompress(&source);
        jpeg_abort_compress(&target);
    }
};

bool CoefficientEncoder::State::Read(const uint8_t* jpeg, size_t length, int turns) {
    pool.Reset();
    jpeg_mem_src(&source, jpeg, static_cast<unsigned long>(length));
    if (jpeg_read_header(&source, TRUE) != JPEG_HEADER_OK || source.num_components != 3 ||
        source.jpeg_color_space != JCS_YCbCr || source.data_precision != 8)
        return false;
    const jpeg_component_info* info = source.comp_info;
    const int max_h = info[0].h_samp_factor;
    const int max_v = info[0].v_samp_factor;
    if (max_h < 1 || max_h > 2 || max_v < 1 || max_v > 2)
        return false;
    for (int c = 1; c < 3; ++c) {
        if (info[c].h_samp_factor != 1 || info[c].v_samp_factor != 1)
            return false;
    }
    static constexpr int kSubsampling[2][2] = {{TJSAMP_444, TJSAMP_440}, {TJSAMP_422, TJSAMP_420}};
    subsampling = kSubsampling[max_h - 1][max_v - 1];
    width = static_cast<int>(source.image_width);
    height = static_cast<int>(source.image_height);
    mcus_across = (width + 8 * max_h - 1) / (8 * max_h);
    mcus_down = (height + 8 * max_v - 1) / (8 * max_v);
    for (int c = 0; c < 3; ++c) {
        Component& k = components[c];
        k.h = info[c].h_samp_factor;
        k.v = info[c].v_samp_factor;
        k.blocks_across = mcus_across * k.h;
        k.blocks_down = mcus_down * k.v;
        k.samples_across = static_cast<int>(info[c].downsampled_width);
        k.samples_down = static_cast<int>(info[c].downsampled_height);
        // libjpeg's arrays are these whole MCUs; anything else is not a
        // picture this way knows.
        const auto round_up = [](JDIMENSION blocks, int unit) {
            return static_cast<int>((blocks + unit - 1) / unit) * unit;
        };
        if (round_up(info[c].width_in_blocks, k.h) != k.blocks_across ||
            round_up(info[c].height_in_blocks, k.v) != k.blocks_down)
            return false;
        if (turns != 0 && !MakeView(&k, turns))
            return false;
    }
    jvirt_barray_ptr* read = jpeg_read_coefficients(&source);
    if (read == nullptr)
        return false;
    const auto common = reinterpret_cast<j_common_ptr>(&source);
    for (int c = 0; c < 3; ++c) {
        Component& k = components[c];
        arrays[c] = read[c];
        if (info[c].quant_table == nullptr)
            return false;
        MakeTable(info[c].quant_table->quantval, &k.table);
        if (turns == 1 && k.samples_down % 8 != 0)
            MakeShiftTurn(k.table, k.samples_down % 8, &k.shift_turn);
        // The pool's arrays: their row pointers stay put until the next
        // picture.
        k.rows.resize(static_cast<size_t>(k.blocks_down));
        for (int r = 0; r < k.blocks_down; ++r)
            k.rows[static_cast<size_t>(r)] = (*source.mem->access_virt_barray)(
                common, read[c], static_cast<JDIMENSION>(r), 1, TRUE)[0];
    }
    return true;
}

void CoefficientEncoder::State::Mark(const uint8_t* overlay, const OverlayExtent& extent) {
    const int mcu_width = 8 * components[0].h;
    const int mcu_height = 8 * components[0].v;
    marked.assign(static_cast<size_t>(mcus_across) * mcus_down, 0);
    touched.clear();
    const int end = std::min({extent.end_row, height, kMaxOverlayRows});
    for (int y = std::max(extent.first_row, 0); y < end; ++y) {
        const int begin = std::max(extent.rows[y].begin, 0);
        const int stop = std::min(extent.rows[y].end, width);
        const uint8_t* row = overlay + static_cast<size_t>(y) * width * 4;
        const int mcu_row = (y / mcu_height) * mcus_across;
        for (int x = yuv::SkipTransparent(row, begin, stop); x < stop;) {
            if (OverlayPixelTransparent(Load32(row + static_cast<size_t>(x) * 4))) {
                x = yuv::SkipTransparent(row, x + 1, stop);
                continue;
            }
            const int mcu = mcu_row + x / mcu_width;
            if (marked[static_cast<size_t>(mcu)] == 0) {
                marked[static_cast<size_t>(mcu)] = 1;
                touched.push_back(mcu);
            }
            x = yuv::SkipTransparent(row, (x / mcu_width + 1) * mcu_width, stop);
        }
    }
}

bool CoefficientEncoder::State::Draw(const uint8_t* overlay, const OverlayExtent& extent,
                                     uint64_t rendering) {
    if (extent.width == 0)
        return false; // drawn everywhere, for all anyone knows
    if (extent.width != width || extent.height != height)
        return true; // drawn for another picture: nothing of it lands here
    if (rendering == yuv::OverlayCompositor::kNoRendering || rendering != touched_rendering ||
        width != touched_width || height != touched_height || subsampling != touched_subsampling) {
        Mark(overlay, extent);
        touched_rendering = rendering;
        touched_width = width;
        touched_height = height;
        touched_subsampling = subsampling;
    }
    if (touched.size() * 4 > static_cast<size_t>(mcus_across) * mcus_down)
        return false;
    if (touched.empty())
        return true;
    // Planes of whole MCUs, as the blocks lie; only the touched ones are
    // filled and read.
    yuv::PlaneLayout l;
    l.width = width;
    l.height = height;
    l.subsampling = subsampling;
    l.h_factor = components[0].h;
    l.v_factor = components[0].v;
    for (int c = 0; c < 3; ++c) {
        l.plane_width[c] = components[c].blocks_across * 8;
        l.plane_height[c] = components[c].blocks_down * 8;
        l.offset[c] = l.bytes;
        l.bytes += static_cast<size_t>(l.plane_width[c]) * static_cast<size_t>(l.plane_height[c]);
    }
    layout = l;
    if (planes.size() < l.bytes)
        planes.resize(l.bytes);
    const auto each_block = [this](int mcu, auto&& fn) {
        const int mcu_x = mcu % mcus_across;
        const int mcu_y = mcu / mcus_across;
        for (int c = 0; c < 3; ++c) {
            const Component& k = components[c];
            uint8_t* plane = planes.data() + layout.offset[c];
            const int stride = layout.plane_width[c];
            for (int by = 0; by < k.v; ++by) {
                for (int bx = 0; bx < k.h; ++bx) {
                    const int row = mcu_y * k.v + by;
                    const int column = mcu_x * k.h + bx;
                    fn(k.rows[static_cast<size_t>(row)][column],
                       plane + static_cast<size_t>(row) * 8 * stride + column * 8, stride, k.table);
                }
            }
        }
    };
    for (const int mcu : touched)
        each_block(mcu, [](JCOEF* block, uint8_t* samples, int stride, const Table& table) {
            InverseBlock(block, table, samples, stride);
        });
    compositor.Composite(planes.data(), layout, overlay, extent, rendering);
    for (const int mcu : touched)
        each_block(mcu, [](JCOEF* block, uint8_t* samples, int stride, const Table& table) {
            ForwardBlock(samples, stride, table, block);
        });
    return true;
}

bool CoefficientEncoder::State::MakeView(Component* k, int turns) {
    const bool odd = (turns & 1) != 0;
    BlockArray& view = k->turned;
    view.view = k;
    view.turns = turns;
    view.per_row = static_cast<JDIMENSION>(odd ? k->blocks_down : k->blocks_across);
    view.total_rows = static_cast<JDIMENSION>(odd ? k->blocks_across : k->blocks_down);
    // The writer asks for one MCU's rows at a time: the turned sampling's
    // rows down.
    const size_t rows = static_cast<size_t>(odd ? k->h : k->v);
    try {
        view.rows.resize(rows);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!view.coefficients.Reserve(rows * view.per_row * DCTSIZE2))
        return false;
    for (size_t r = 0; r < rows; ++r)
        view.rows[r] =
            reinterpret_cast<JBLOCKROW>(view.coefficients.data() + r * view.per_row * DCTSIZE2);
    return true;
}

CoefficientEncoder::State::Place CoefficientEncoder::State::PlaceOf(const Component& k, int turns,
                                                                    int x, int y) {
    // Where the turned block's samples start in the camera's picture: the
    // turn brings its far edge to the start.
    int top = 0;
    int left = 0;
    if (turns == 1) {
        top = k.samples_down - 8 * x - 8;
        left = 8 * y;
    } else if (turns == 2) {
        top = k.samples_down - 8 * y - 8;
        left = k.samples_across - 8 * x - 8;
    } else {
        top = 8 * x;
        left = k.samples_across - 8 * y - 8;
    }
    Place place;
    place.row = FloorDiv8(top);
    place.column = FloorDiv8(left);
    place.offset_y = top - place.row * 8;
    place.offset_x = left - place.column * 8;
    return place;
}

void CoefficientEncoder::State::TurnRow(const BlockArray& view, JDIMENSION y, JBLOCKROW out) {
    const Component& k = *view.view;
    const int turns = view.turns;
    const int across = static_cast<int>(view.per_row);
    for (int x = 0; x < across; ++x) {
        const Place place = PlaceOf(k, turns, x, static_cast<int>(y));
        const JCOEF* block = k.Block(place.row, place.column);
        JCOEF shifted[kBlock];
        if (turns == 1 && place.offset_y != 0 && place.offset_x == 0) {
            ShiftTurnBlock(k.shift_turn, block, k.Block(place.row + 1, place.column), out[x]);
            continue;
        }
        if (place.offset_y != 0 || place.offset_x != 0) {
            ShiftedBlock(block, k.Block(place.row + 1, place.column),
                         k.Block(place.row, place.column + 1),
                         k.Block(place.row + 1, place.column + 1), place.offset_y, place.offset_x,
                         k.table, shifted);
            block = shifted;
        }
        if (block != nullptr)
            TurnCoefficients(block, turns, out[x]);
        else
            std::memset(out[x], 0, sizeof(JBLOCK));
    }
}

void CoefficientEncoder::State::Write(int turns) {
    const bool odd = (turns & 1) != 0;
    const int out_width = odd ? height : width;
    const int out_height = odd ? width : height;
    // Room for the worst case, so that libjpeg never grows the buffer.
    const unsigned long bound =
        tjBufSize(out_width, out_height, yuv::TurnedSubsampling(subsampling, turns));
    if (bound == static_cast<unsigned long>(-1))
        ERREXIT(&target, JERR_BUFFER_SIZE);
    if (bound > capacity) {
        capacity = 0;
        out.reset(static_cast<unsigned char*>(std::malloc(bound)));
        if (out == nullptr)
            ERREXIT1(&target, JERR_OUT_OF_MEMORY, 0);
        capacity = bound;
    }
    unsigned char* buffer = out.get();
    unsigned long written = capacity;
    jpeg_mem_dest(&target, &buffer, &written);
    jpeg_copy_critical_parameters(&source, &target);
    if (turns != 0) {
        jvirt_barray_ptr turned[3];
        for (int c = 0; c < 3; ++c)
            turned[c] = reinterpret_cast<jvirt_barray_ptr>(&components[c].turned);
        if (odd) {
            target.image_width = static_cast<JDIMENSION>(out_width);
            target.image_height = static_cast<JDIMENSION>(out_height);
            for (int c = 0; c < 3; ++c)
                std::swap(target.comp_info[c].h_samp_factor, target.comp_info[c].v_samp_factor);
            for (JQUANT_TBL* table : target.quant_tbl_ptrs) {
                if (table == nullptr)
                    continue;
                Quant turned_table[kBlock];
                TurnQuant(table->quantval, turns, turned_table);
                std::memcpy(table->quantval, turned_table, sizeof turned_table);
            }
        }
        jpeg_write_coefficients(&target, turned);
    } else {
        jpeg_write_coefficients(&target, arrays);
    }
    jpeg_finish_compress(&target);
    if (buffer != out.get()) { // grown after all: libjpeg's own buffer
        out.reset(buffer);
        capacity = written;
    }
    size = written;
}

CoefficientEncoder::CoefficientEncoder() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.Attach(reinterpret_cast<j_common_ptr>(&s.source));
    jpeg_create_decompress(&s.source);
    s.WatchScans(&s.source);
    s.Attach(reinterpret_cast<j_common_ptr>(&s.target));
    jpeg_create_compress(&s.target);
    for (jpeg_memory_mgr* memory : {s.source.mem, s.target.mem}) {
        memory->request_virt_barray = State::RequestArray;
        memory->access_virt_barray = State::AccessArray;
    }
}

CoefficientEncoder::~CoefficientEncoder() {
    jpeg_destroy_compress(&state_->target);
    jpeg_destroy_decompress(&state_->source);
}

bool CoefficientEncoder::Encode(const uint8_t* jpeg, size_t length, int turns,
                                OverlayWorker* overlay) {
    State& s = *state_;
    if (jpeg == nullptr || length == 0 || length > ULONG_MAX)
        return false;
    s.size = 0;
    s.drew = true;
    s.ClearWarnings();
    if (setjmp(s.jump) != 0) {
        s.Abort();
        s.size = 0;
        return false;
    }
    if (!s.Read(jpeg, length, turns & 3)) {
        s.Abort();
        return false;
    }
    if (overlay != nullptr) {
        overlay->ReadOverlay(
            s.width, s.height,
            [&s](const uint8_t* pixels, const OverlayExtent& extent, uint64_t rendering) {
                s.drew = s.Draw(pixels, extent, rendering);
            });
    }
    if (!s.drew) {
        s.Abort();
        return false;
    }
    s.Write(turns & 3);
    s.Abort(); // the picture's arrays go back to libjpeg's pools
    return true;
}

const uint8_t* CoefficientEncoder::Data() const {
    return state_->out.get();
}

size_t CoefficientEncoder::Size() const {
    return state_->size;
}

} // namespace dct
