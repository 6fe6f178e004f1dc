// The RIFF AVI reader of the start-up repair (platform/avifile's
// AVIFileRepairA) on any bytes. The input is the file left behind.
//
// Invariants: a file the repair refuses stays byte for byte as it was; a
// repaired file is finished (a second repair changes nothing), keeps the
// input's chunks up to where it was cut, and ends with their index.
#include "fuzz_support.h"
#include "platform/avi_repair.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<uint8_t> ReadBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile file("left.avi");
    file.Write(data, size);
    AviRepairReport report;
    const HRESULT hr = AVIFileRepairA(file.Path().c_str(), &report);
    const std::vector<uint8_t> after = ReadBack(file.Path());
    if (hr == AVIERR_BADFORMAT || (hr == AVIERR_OK && report.repaired == 0)) {
        FUZZ_CHECK(after == std::vector<uint8_t>(data, data + size));
        return 0;
    }
    FUZZ_CHECK(hr == AVIERR_OK);
    FUZZ_CHECK(report.repaired == 1);
    FUZZ_CHECK(report.bytes_cut <= size);
    FUZZ_CHECK(report.video_frames <= report.chunks_kept);
    const size_t kept = size - report.bytes_cut;
    FUZZ_CHECK(after.size() == kept + 8 + 16 * static_cast<size_t>(report.chunks_kept));
    // The index follows the last chunk kept.
    FUZZ_CHECK(after[kept] == 'i' && after[kept + 1] == 'd' && after[kept + 2] == 'x' &&
               after[kept + 3] == '1');

    AviRepairReport again;
    FUZZ_CHECK(AVIFileRepairA(file.Path().c_str(), &again) == AVIERR_OK);
    FUZZ_CHECK(again.repaired == 0);
    FUZZ_CHECK(ReadBack(file.Path()) == after);
    return 0;
}
