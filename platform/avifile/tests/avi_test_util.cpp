#include "avi_test_util.h"
#include "testsupport/leak_suppressions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <gst/gst.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <turbojpeg.h>

namespace avitest {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b.at(at)) | (static_cast<uint32_t>(b.at(at + 1)) << 8) |
           (static_cast<uint32_t>(b.at(at + 2)) << 16) |
           (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::string FourCC(const std::vector<uint8_t>& b, size_t at) {
    return std::string(reinterpret_cast<const char*>(&b.at(at)), 4);
}

const Chunk* Chunk::Find(const std::string& name) const {
    for (const Chunk& c : children) {
        if (c.id == name || c.list_type == name) {
            return &c;
        }
    }
    return nullptr;
}

std::vector<const Chunk*> Chunk::FindAll(const std::string& name) const {
    std::vector<const Chunk*> found;
    for (const Chunk& c : children) {
        if (c.id == name || c.list_type == name) {
            found.push_back(&c);
        }
    }
    return found;
}

namespace {

void ParseChildren(const std::vector<uint8_t>& b, size_t begin, size_t end, Chunk* parent,
                   std::string* error) {
    size_t at = begin;
    while (at < end && error->empty()) {
        if (at % 2 != 0) {
            *error = "chunk at odd offset " + std::to_string(at);
            return;
        }
        if (end - at < 8) {
            *error = "truncated chunk header at " + std::to_string(at);
            return;
        }
        Chunk c;
        c.id = FourCC(b, at);
        c.size = U32(b, at + 4);
        c.offset = at;
        c.data = at + 8;
        if (c.data + c.size > end) {
            *error = "chunk " + c.id + " at " + std::to_string(at) + " passes its parent";
            return;
        }
        if (c.id == "LIST" || c.id == "RIFF") {
            c.list_type = FourCC(b, c.data);
            ParseChildren(b, c.data + 4, c.data + c.size, &c, error);
        }
        at = c.data + c.size + (c.size % 2);
        parent->children.push_back(std::move(c));
    }
}

// A small JSON reader, enough for ffprobe's output.
struct JsonReader {
    const std::string& s;
    size_t at = 0;
    void Skip() {
        while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) {
            ++at;
        }
    }
    std::string String() {
        std::string out;
        ++at; // opening quote
        while (at < s.size() && s[at] != '"') {
            if (s[at] == '\\' && at + 1 < s.size()) {
                ++at;
            }
            out.push_back(s[at++]);
        }
        ++at;
        return out;
    }
    // Reads any value; plain values come back as text, objects and arrays
    // are handed to the callbacks.
    template <typename OnObject>
    std::string Value(OnObject&& on_object, int depth) {
        Skip();
        if (at >= s.size()) {
            return {};
        }
        if (s[at] == '"') {
            return String();
        }
        if (s[at] == '{' || s[at] == '[') {
            const char close = s[at] == '{' ? '}' : ']';
            const bool object = s[at] == '{';
            ++at;
            std::map<std::string, std::string> fields;
            while (true) {
                Skip();
                if (at >= s.size() || s[at] == close) {
                    ++at;
                    break;
                }
                if (s[at] == ',') {
                    ++at;
                    continue;
                }
                std::string key;
                if (object) {
                    key = String();
                    Skip();
                    ++at; // colon
                }
                fields[key] = Value(on_object, depth + 1);
            }
            if (object) {
                on_object(depth, fields);
            }
            return {};
        }
        const size_t start = at;
        while (at < s.size() && s[at] != ',' && s[at] != '}' && s[at] != ']' &&
               !std::isspace(static_cast<unsigned char>(s[at]))) {
            ++at;
        }
        return s.substr(start, at - start);
    }
};

} // namespace

Chunk ParseRiff(const std::vector<uint8_t>& bytes, std::string* error) {
    Chunk root;
    error->clear();
    ParseChildren(bytes, 0, bytes.size(), &root, error);
    return root;
}

std::map<std::string, std::string> Probe::Stream(const std::string& type) const {
    for (const auto& s : streams) {
        auto it = s.find("codec_type");
        if (it != s.end() && it->second == type) {
            return s;
        }
    }
    return {};
}

Probe RunFfprobe(const std::string& path) {
    Probe probe;
    const std::string command =
        "ffprobe -v error -show_streams -show_format -count_packets "
        "-show_entries packet=stream_index,pts_time,duration_time -of json '" +
        path + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return probe;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        probe.output.append(buffer, n);
    }
    probe.ok = ::pclose(pipe) == 0;
    JsonReader reader{probe.output};
    std::map<std::string, double> ends; // by stream index
    // Streams are objects at depth 2 (root, "streams" array); the format
    // object sits at depth 1.
    reader.Value(
        [&](int depth, const std::map<std::string, std::string>& fields) {
            if (depth == 2 && fields.count("codec_type") != 0) {
                probe.streams.push_back(fields);
            } else if (depth == 2 && fields.count("stream_index") != 0) {
                double end = 0.0;
                try {
                    end = std::stod(fields.at("pts_time")) + std::stod(fields.at("duration_time"));
                } catch (...) {
                    return;
                }
                double& latest = ends[fields.at("stream_index")];
                latest = std::max(latest, end);
            } else if (depth == 1 && fields.count("format_name") != 0) {
                probe.format = fields;
            }
        },
        0);
    for (auto& stream : probe.streams) {
        auto it = ends.find(stream["index"]);
        stream["end_time"] = it == ends.end() ? "-1" : std::to_string(it->second);
    }
    return probe;
}

namespace {

struct DemuxState {
    std::mutex lock;           // guards pads; pad probes run on the streaming thread
    std::deque<DemuxPad> pads; // stable addresses for the probes
    GstElement* pipeline = nullptr;
};

GstPadProbeReturn OnBuffer(GstPad*, GstPadProbeInfo* info, gpointer user) {
    auto* pad = static_cast<DemuxPad*>(user);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    pad->buffers += 1;
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        int64_t end = static_cast<int64_t>(GST_BUFFER_PTS(buffer));
        if (GST_BUFFER_DURATION_IS_VALID(buffer)) {
            end += static_cast<int64_t>(GST_BUFFER_DURATION(buffer));
        }
        if (end > pad->end_ns) {
            pad->end_ns = end;
        }
    }
    return GST_PAD_PROBE_OK;
}

void OnPadAdded(GstElement*, GstPad* pad, gpointer user) {
    auto* state = static_cast<DemuxState*>(user);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(state->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* sink_pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, sink_pad);
    gst_object_unref(sink_pad);
    DemuxPad* record = nullptr;
    {
        std::lock_guard<std::mutex> hold(state->lock);
        state->pads.push_back({});
        record = &state->pads.back();
        gchar* name = gst_pad_get_name(pad);
        record->name = name;
        g_free(name);
        GstCaps* caps = gst_pad_get_current_caps(pad);
        if (caps != nullptr) {
            record->caps = gst_structure_get_name(gst_caps_get_structure(caps, 0));
            gst_caps_unref(caps);
        }
    }
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnBuffer, record, nullptr);
}

} // namespace

Demux RunAvidemux(const std::string& path) {
    gst_init(nullptr, nullptr);
    Demux result;
    DemuxState state;
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* demux = gst_element_factory_make("avidemux", nullptr);
    if (pipeline == nullptr || source == nullptr || demux == nullptr) {
        result.error = "elements missing";
        return result;
    }
    state.pipeline = pipeline;
    g_object_set(source, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, demux, nullptr);
    gst_element_link(source, demux);
    g_signal_connect(demux, "pad-added", G_CALLBACK(OnPadAdded), &state);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 120 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (message == nullptr) {
        result.error = "timed out";
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        result.error = error != nullptr ? error->message : "error";
        g_clear_error(&error);
    } else {
        result.ok = true;
    }
    if (message != nullptr) {
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    std::lock_guard<std::mutex> hold(state.lock);
    result.pads.assign(state.pads.begin(), state.pads.end());
    return result;
}

std::vector<uint8_t> MakeJpeg(int width, int height, int seed) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed) * 13) & 0xFF);
    }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> out;
    if (tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90,
                    0) == 0) {
        out.assign(jpeg, jpeg + size);
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

AVISTREAMINFOA VideoInfo(int fps, int width, int height) {
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = MakeFourCC('M', 'J', 'P', 'G');
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(fps);
    info.dwQuality = 0xFFFFFFFF;
    info.rcFrame = {0, 0, width, height};
    std::strcpy(info.szName, "VGA Source");
    return info;
}

BITMAPINFOHEADER MjpegFormat(int width, int height) {
    BITMAPINFOHEADER bih{};
    bih.biSize = 40;
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = MakeFourCC('M', 'J', 'P', 'G');
    return bih;
}

AVISTREAMINFOA PcmInfo() {
    AVISTREAMINFOA info{};
    info.fccType = streamtypeAUDIO;
    info.dwScale = 1;
    info.dwRate = 22050;
    info.dwQuality = 0xFFFFFFFF;
    info.dwSampleSize = 4;
    std::strcpy(info.szName, "Audio Source");
    return info;
}

WAVEFORMATEX PcmFormat() {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = 22050;
    wfx.nAvgBytesPerSec = 88200;
    wfx.nBlockAlign = 4;
    wfx.wBitsPerSample = 16;
    return wfx;
}

} // namespace avitest

// The readers' GLib and GStreamer allocations that live until the process
// ends; the writers under test use neither library. Whole libraries, so they
// are added only to the programs that link these readers.
extern "C" const char* tovek_test_leak_suppressions() {
    return "leak:libglib-2.0.so\nleak:libgstreamer-1.0.so\nleak:libgobject-2.0.so\n";
}
