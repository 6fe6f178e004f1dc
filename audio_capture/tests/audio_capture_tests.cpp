// The library on the simulated microphone, which the test main installs with
// the other emulated devices.
#include "TovekAudioCapture.h"
#include "testsupport/wait.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Before any library call (GStreamer reads the dump folder once, at start-up).
const bool kEnvironmentSet = [] {
    setenv("GST_DEBUG_DUMP_DOT_DIR", TOVEK_GRAPH_DUMP_DIR, 1);
    return true;
}();

constexpr char kMicrophone[] = "Simulated Microphone";

AudioDeviceRecord Named(const std::string& name) {
    AudioDeviceRecord record{};
    std::strncpy(record.name, name.c_str(), sizeof(record.name) - 1);
    return record;
}

// Collects what the stream callback delivers.
class Received {
public:
    static void Callback(const BYTE* data, LONG length, void* user) {
        auto* self = static_cast<Received*>(user);
        std::lock_guard lock(self->lock_);
        self->chunks_.emplace_back(data, data + length);
    }

    size_t Count() {
        std::lock_guard lock(lock_);
        return chunks_.size();
    }
    std::vector<std::vector<uint8_t>> Chunks() {
        std::lock_guard lock(lock_);
        return chunks_;
    }
    void Clear() {
        std::lock_guard lock(lock_);
        chunks_.clear();
    }
    // Waits (bounded, generously) until at least n chunks arrived.
    bool WaitFor(size_t n) {
        return testsupport::WaitUntil([&] { return Count() >= n; }, std::chrono::seconds(20));
    }

private:
    std::mutex lock_; // guards chunks_
    std::vector<std::vector<uint8_t>> chunks_;
};

std::vector<AudioDeviceRecord> Enumerate(AudioCaptureContext* context, bool sources) {
    auto enumerate = sources ? Tovek_WAC_EnumSourceDevice : Tovek_WAC_EnumEncoderDevice;
    int32_t count = -5;
    if (enumerate(context, nullptr, &count) != 0 || count <= 0) {
        return {};
    }
    std::vector<AudioDeviceRecord> records(static_cast<size_t>(count));
    std::memset(records.data(), 0xCD, records.size() * sizeof(AudioDeviceRecord));
    const int32_t capacity = count;
    EXPECT_EQ(0, enumerate(context, records.data(), &count));
    EXPECT_EQ(capacity, count); // the fill leaves the count alone
    return records;
}

class AudioCapture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, Tovek_WAC_Initialize());
        ASSERT_EQ(0, Tovek_WAC_Open(&context_));
        ASSERT_NE(nullptr, context_);
    }
    void TearDown() override {
        Tovek_WAC_Close(context_);
        Tovek_WAC_Initialize();
    }

    std::vector<std::string> EncoderNames() {
        std::vector<std::string> names;
        for (const AudioDeviceRecord& record : Enumerate(context_, false)) {
            names.emplace_back(record.name);
        }
        return names;
    }

    AudioCaptureContext* context_ = nullptr;
    Received received_; // outlives the context, which TearDown closes
};

TEST_F(AudioCapture, SourcesAreNumberedFromOneWithTheMicrophoneFirst) {
    std::vector<AudioDeviceRecord> sources = Enumerate(context_, true);
    ASSERT_FALSE(sources.empty());
    for (size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(static_cast<int32_t>(i + 1), sources[i].index);
        EXPECT_NE(nullptr, std::memchr(sources[i].name, 0, sizeof(sources[i].name)));
    }
    // The name is narrow text at byte 20 of the 1044-byte record.
    const auto* bytes = reinterpret_cast<const char*>(&sources[0]);
    EXPECT_STREQ(kMicrophone, bytes + 20);
    EXPECT_FALSE(sources[0].clsid == GUID_NULL);
    // The same device keeps its identifier.
    EXPECT_EQ(sources[0].clsid, Enumerate(context_, true)[0].clsid);
}

TEST_F(AudioCapture, EncodersAreTheKnownThreeInOrder) {
    const std::vector<std::string> names = EncoderNames();
    const std::vector<std::string> known = {"MPEG Layer-3", "Microsoft ADPCM", "PCM"};
    size_t next = 0;
    for (const std::string& name : names) {
        while (next < known.size() && known[next] != name) {
            ++next;
        }
        EXPECT_LT(next, known.size()) << name << " is unknown or out of order";
        ++next;
    }
    EXPECT_EQ("PCM", names.back()); // needs no encoder element, so always there
}

TEST_F(AudioCapture, FillWritesNoMoreRecordsThanTheCountHolds) {
    int32_t count = 0;
    ASSERT_EQ(0, Tovek_WAC_EnumEncoderDevice(context_, nullptr, &count));
    ASSERT_GE(count, 1);
    AudioDeviceRecord records[2];
    std::memset(records, 0xCD, sizeof(records));
    int32_t capacity = 1;
    EXPECT_EQ(0, Tovek_WAC_EnumEncoderDevice(context_, records, &capacity));
    EXPECT_EQ(1, records[0].index);
    EXPECT_EQ(static_cast<int32_t>(0xCDCDCDCD), records[1].index);
}

TEST_F(AudioCapture, NamesMustMatchExactly) {
    EXPECT_EQ(-1, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("pcm")));
    EXPECT_EQ(-1, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("mpeg layer-3")));
    EXPECT_EQ(-1, Tovek_WAC_ConnectDevice(context_, Named("simulated microphone"), Named("PCM")));
    EXPECT_EQ(-1, Tovek_WAC_ConnectDevice(context_, Named("No Such Device"), Named("PCM")));
    // A failed connect leaves the context empty.
    AM_MEDIA_TYPE* media_type = nullptr;
    EXPECT_EQ(-1, Tovek_WAC_GetStreamMediaType(context_, &media_type));
    EXPECT_EQ(-1, Tovek_WAC_Run(context_));
}

TEST_F(AudioCapture, NullArgumentsAndEmptyContextsGiveMinusOne) {
    int32_t count = 0;
    AM_MEDIA_TYPE* media_type = nullptr;
    EXPECT_EQ(-1, Tovek_WAC_EnumSourceDevice(context_, nullptr, nullptr));
    EXPECT_EQ(-1, Tovek_WAC_EnumSourceDevice(nullptr, nullptr, &count));
    EXPECT_EQ(-1, Tovek_WAC_EnumEncoderDevice(nullptr, nullptr, &count));
    EXPECT_EQ(-1, Tovek_WAC_Open(nullptr));
    EXPECT_EQ(-1, Tovek_WAC_Close(nullptr));
    EXPECT_EQ(-1, Tovek_WAC_ConnectDevice(nullptr, Named(kMicrophone), Named("PCM")));
    // Not connected yet.
    EXPECT_EQ(-1, Tovek_WAC_Run(context_));
    EXPECT_EQ(-1, Tovek_WAC_Stop(context_));
    EXPECT_EQ(-1, Tovek_WAC_SetStreamCallback(context_, Received::Callback, nullptr));
    EXPECT_EQ(-1, Tovek_WAC_GetStreamMediaType(context_, &media_type));
    ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("PCM")));
    EXPECT_EQ(-1, Tovek_WAC_GetStreamMediaType(context_, nullptr));
    EXPECT_EQ(-1, Tovek_WAC_Run(nullptr));
}

// Checks the chunks against the announced format.
void ExpectDeliveredAsAnnounced(const std::string& encoder, const AM_MEDIA_TYPE& mt,
                                const std::vector<std::vector<uint8_t>>& chunks) {
    ASSERT_FALSE(chunks.empty());
    ASSERT_EQ(MEDIATYPE_Audio, mt.majortype);
    ASSERT_EQ(FORMAT_WaveFormatEx, mt.formattype);
    ASSERT_NE(nullptr, mt.pbFormat);
    ASSERT_GE(mt.cbFormat, sizeof(WAVEFORMATEX));
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, mt.pbFormat, sizeof(wfx));
    EXPECT_EQ(mt.cbFormat, sizeof(WAVEFORMATEX) + wfx.cbSize);
    EXPECT_EQ(2, wfx.nChannels);
    EXPECT_EQ(22050u, wfx.nSamplesPerSec);

    if (encoder == "PCM") {
        EXPECT_EQ(MEDIASUBTYPE_PCM, mt.subtype);
        EXPECT_EQ(WAVE_FORMAT_PCM, wfx.wFormatTag);
        EXPECT_EQ(16, wfx.wBitsPerSample);
        EXPECT_EQ(4, wfx.nBlockAlign);
        EXPECT_EQ(88200u, wfx.nAvgBytesPerSec);
        bool heard = false;
        for (const auto& chunk : chunks) {
            EXPECT_EQ(0u, chunk.size() % 4); // whole frames
            for (uint8_t byte : chunk) {
                heard = heard || byte != 0;
            }
        }
        EXPECT_TRUE(heard) << "the simulated microphone plays a tone, not silence";
    } else if (encoder == "Microsoft ADPCM") {
        EXPECT_EQ(MEDIASUBTYPE_MSADPCM, mt.subtype);
        ASSERT_EQ(sizeof(ADPCMWAVEFORMAT), mt.cbFormat);
        ADPCMWAVEFORMAT adpcm;
        std::memcpy(&adpcm, mt.pbFormat, sizeof(adpcm));
        EXPECT_EQ(WAVE_FORMAT_ADPCM, wfx.wFormatTag);
        ASSERT_GT(wfx.nBlockAlign, 14);
        EXPECT_EQ((wfx.nBlockAlign - 14) + 2, adpcm.wSamplesPerBlock);
        EXPECT_EQ(7, adpcm.wNumCoef);
        for (const auto& chunk : chunks) {
            EXPECT_EQ(0u, chunk.size() % wfx.nBlockAlign) << chunk.size();
        }
    } else {
        EXPECT_EQ(MEDIASUBTYPE_MP3, mt.subtype);
        ASSERT_EQ(sizeof(MPEGLAYER3WAVEFORMAT), mt.cbFormat);
        MPEGLAYER3WAVEFORMAT mp3;
        std::memcpy(&mp3, mt.pbFormat, sizeof(mp3));
        EXPECT_EQ(WAVE_FORMAT_MPEGLAYER3, wfx.wFormatTag);
        EXPECT_EQ(1, mp3.wID);
        EXPECT_EQ(1, mp3.nFramesPerBlock);
        for (const auto& chunk : chunks) {
            // One whole frame per chunk, each starting with the frame sync.
            ASSERT_GE(chunk.size(), 4u);
            EXPECT_EQ(0xFF, chunk[0]);
            EXPECT_EQ(0xE0, chunk[1] & 0xE0);
            // nBlockSize is a frame's length; a padded frame has one byte more.
            EXPECT_TRUE(chunk.size() == mp3.nBlockSize || chunk.size() == mp3.nBlockSize + 1u)
                << chunk.size();
        }
        // The bit rate index of the frames gives the announced byte rate:
        // 56 kbit/s (index 7 of MPEG-2 layer III) is 7000 bytes a second.
        EXPECT_EQ(0x70, chunks[0][2] & 0xF0);
        EXPECT_EQ(7000u, wfx.nAvgBytesPerSec);
    }
}

TEST_F(AudioCapture, EveryEncoderDeliversWhatItsMediaTypeAnnounces) {
    for (const std::string& encoder : EncoderNames()) {
        SCOPED_TRACE(encoder);
        ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named(encoder)));
        AM_MEDIA_TYPE* mt = nullptr;
        ASSERT_EQ(0, Tovek_WAC_GetStreamMediaType(context_, &mt));
        ASSERT_NE(nullptr, mt);
        received_.Clear();
        ASSERT_EQ(0, Tovek_WAC_SetStreamCallback(context_, Received::Callback, &received_));
        ASSERT_EQ(0, Tovek_WAC_Run(context_));
        EXPECT_TRUE(received_.WaitFor(8));
        EXPECT_EQ(0, Tovek_WAC_Stop(context_));
        ExpectDeliveredAsAnnounced(encoder, *mt, received_.Chunks());
    }
}

TEST_F(AudioCapture, NoCallbackAfterStopOrRemoval) {
    ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("PCM")));
    ASSERT_EQ(0, Tovek_WAC_SetStreamCallback(context_, Received::Callback, &received_));
    ASSERT_EQ(0, Tovek_WAC_Run(context_));
    ASSERT_TRUE(received_.WaitFor(2));
    ASSERT_EQ(0, Tovek_WAC_SetStreamCallback(context_, nullptr, nullptr));
    size_t after_removal = received_.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(after_removal, received_.Count());

    // Stopped, run again, stopped: no call once Stop has returned.
    ASSERT_EQ(0, Tovek_WAC_SetStreamCallback(context_, Received::Callback, &received_));
    ASSERT_EQ(0, Tovek_WAC_Stop(context_));
    ASSERT_EQ(0, Tovek_WAC_Run(context_));
    ASSERT_TRUE(received_.WaitFor(after_removal + 2));
    EXPECT_EQ(0, Tovek_WAC_Stop(context_));
    const size_t after_stop = received_.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(after_stop, received_.Count());
}

TEST_F(AudioCapture, StopAndCloseTwiceAreHarmless) {
    ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("PCM")));
    ASSERT_EQ(0, Tovek_WAC_Run(context_));
    EXPECT_EQ(0, Tovek_WAC_Stop(context_));
    EXPECT_EQ(0, Tovek_WAC_Stop(context_));
    EXPECT_EQ(0, Tovek_WAC_Close(context_));
    EXPECT_EQ(-1, Tovek_WAC_Close(context_)); // no longer open
    EXPECT_EQ(-1, Tovek_WAC_Stop(context_));
    context_ = nullptr;
}

int OpenDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

// Every recording connects once. Probing the system's sound sources at each
// connect cost three descriptors a time where no sound server runs (GStreamer's
// PulseAudio provider keeps its failed connection), until none were left.
TEST_F(AudioCapture, ConnectingAgainAndAgainKeepsNoDescriptors) {
    ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("PCM")));
    const int before = OpenDescriptors();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("PCM")));
        ASSERT_EQ(0, Tovek_WAC_Run(context_));
        ASSERT_EQ(0, Tovek_WAC_Stop(context_));
    }
    // At most as many, once the last connect's sound-server probe, which
    // runs on its own and holds a few descriptors for a moment, is done (the
    // first connect's may have been open when counting began). A leak of
    // three a connect never settles.
    const bool settled = testsupport::WaitUntil([&] { return OpenDescriptors() <= before; });
    EXPECT_TRUE(settled) << OpenDescriptors() << " descriptors open, " << before << " before";
}

TEST_F(AudioCapture, UnInitializeRefusesUntilInitialize) {
    ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("PCM")));
    ASSERT_EQ(0, Tovek_WAC_Run(context_));
    EXPECT_EQ(0, Tovek_WAC_UnInitialize()); // destroys the running context

    AudioCaptureContext* other = nullptr;
    int32_t count = 0;
    EXPECT_EQ(-1, Tovek_WAC_Open(&other));
    EXPECT_EQ(-1, Tovek_WAC_EnumSourceDevice(context_, nullptr, &count));
    EXPECT_EQ(0, Tovek_WAC_EnumEncoderDevice(context_, nullptr, &count));
    EXPECT_EQ(-1, Tovek_WAC_Run(context_));

    ASSERT_EQ(0, Tovek_WAC_Initialize());
    EXPECT_EQ(-1, Tovek_WAC_Stop(context_)); // destroyed, not revived
    EXPECT_EQ(-1, Tovek_WAC_Close(context_));
    ASSERT_EQ(0, Tovek_WAC_Open(&other));
    EXPECT_EQ(0, Tovek_WAC_Close(other));
    context_ = nullptr;
}

TEST_F(AudioCapture, GraphIsDumpedUnderItsItemName) {
    ASSERT_TRUE(kEnvironmentSet);
    const std::filesystem::path dir = TOVEK_GRAPH_DUMP_DIR;
    std::filesystem::create_directories(dir);
    char pid[32];
    std::snprintf(pid, sizeof(pid), " pid %08x.dot", static_cast<unsigned>(getpid()));
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().ends_with(pid)) {
            std::filesystem::remove(entry.path());
        }
    }
    ASSERT_EQ(0, Tovek_WAC_ConnectDevice(context_, Named(kMicrophone), Named("PCM")));

    std::vector<std::filesystem::path> dumps;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("FilterGraph ") && name.ends_with(pid)) {
            dumps.push_back(entry.path());
        }
    }
    ASSERT_EQ(1u, dumps.size());
    std::ifstream file(dumps[0]);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("Audio Capture"));
    EXPECT_NE(std::string::npos, text.find("Stream Callback Dump"));
}

} // namespace
