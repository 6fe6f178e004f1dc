// Test helpers for AVI files: a RIFF walker for byte checks, and two
// independent readers (ffprobe, GStreamer's avidemux).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace avitest {

std::vector<uint8_t> ReadFile(const std::string& path);
uint32_t U32(const std::vector<uint8_t>& b, size_t at);
uint16_t U16(const std::vector<uint8_t>& b, size_t at);
std::string FourCC(const std::vector<uint8_t>& b, size_t at);

// One chunk or list as found in the file. offset: of its id; data: of the
// bytes after the size (for a list, the list type).
struct Chunk {
    std::string id;        // "RIFF", "LIST", "avih", "00dc", ...
    std::string list_type; // for RIFF and LIST
    uint32_t size = 0;
    size_t offset = 0;
    size_t data = 0;
    std::vector<Chunk> children;
    // First child with this id (or list type), null when none.
    const Chunk* Find(const std::string& name) const;
    std::vector<const Chunk*> FindAll(const std::string& name) const;
};
// Walks bytes strictly: sizes must fit their parents and chunks must start at
// even offsets. error is set when they do not.
Chunk ParseRiff(const std::vector<uint8_t>& bytes, std::string* error);

// ffprobe -v error -show_streams -show_format -count_packets -of json (with
// the packets' times): one map of the stream's plain fields per stream, plus
// "end_time", the latest packet time + duration in seconds (-1 without
// packets: the timeline a player sees); and the format's fields.
struct Probe {
    bool ok = false;
    std::string output;
    std::vector<std::map<std::string, std::string>> streams;
    std::map<std::string, std::string> format;
    // The first stream of this codec_type ("video", "audio"); empty when none.
    std::map<std::string, std::string> Stream(const std::string& type) const;
};
Probe RunFfprobe(const std::string& path);

// filesrc ! avidemux, each source pad into a fakesink, run to the end.
struct DemuxPad {
    std::string name; // "video_0", "audio_0"
    std::string caps; // media type of the caps
    int buffers = 0;
    int64_t end_ns = -1; // latest timestamp + duration seen
};
struct Demux {
    bool ok = false; // reached the end without an error
    std::string error;
    std::vector<DemuxPad> pads;
};
Demux RunAvidemux(const std::string& path);

// Stream set-ups of the writer's tests: Motion-JPEG video ("VGA Source")
// and 22050 Hz stereo 16-bit PCM counted in 4-byte samples.
AVISTREAMINFOA VideoInfo(int fps, int width, int height);
BITMAPINFOHEADER MjpegFormat(int width, int height);
AVISTREAMINFOA PcmInfo();
WAVEFORMATEX PcmFormat();

// A valid JPEG picture of noise-like content (size grows with the area).
std::vector<uint8_t> MakeJpeg(int width, int height, int seed);

} // namespace avitest
