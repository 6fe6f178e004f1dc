// Stand-ins for the recorder's library calls: a Strovi that keeps no file
// (or the real one, counted), and an audio capture whose callback the test
// feeds. One process-wide state, reset by each test.
#pragma once

#include "record/Recorder.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace fake {

struct State {
    // Calls.
    int files_opened = 0;
    int files_closed = 0;
    int frames = 0;           // WriteVGA calls
    uint64_t video_bytes = 0; // bytes of those
    int flushes = 0;          // FileFlush calls
    int audio_writes = 0;
    uint64_t audio_bytes = 0;
    int32_t audio_bit_rate = -1; // the last SetAudioParam's
    int audio_streams = 0;       // SetAudioParam calls
    int audio_opened = 0;
    int audio_closed = 0;
    std::vector<std::string> paths; // files opened, in order
    // Faults found: a write to a file already closed (or closed while the
    // sound was being written into it), an audio context that was closed
    // while its callback could still run.
    int writes_after_close = 0;
    int closed_with_callback = 0;
    int closes_waiting = 0; // FileClose calls held by HoldCloses

    // Switches.
    bool fail_open = false;
    bool fail_flush = false; // the disk is full
    bool fail_vga = false;
    bool fail_connect = false;
    bool fail_media_type = false;
    bool fail_audio_param = false;
    bool slow_sound_writes = false; // each takes 0.2 ms
};

State Snapshot();
void Set(bool State::*fault);
// While held, FileClose waits, as on a slow disk.
void HoldCloses(bool hold);
void Reset();

// Strovi's calls counted, and without files or forwarded to the real one;
// the audio capture a stand-in or the real one.
RecorderLibraries Libraries(bool real_strovi, bool real_audio = false);

// Calls the audio callback as the audio library's thread would; false when
// none is set.
bool FeedAudio(const uint8_t* data, uint32_t length);

} // namespace fake

// Records what the recorder tells its owner.
class ListenerLog : public record::RecorderListener {
public:
    struct Message {
        std::string text;
        record::MessageIcon icon;
    };
    void OnRecorderMessage(const std::string& text, record::MessageIcon icon) override;
    void OnRecorderStateChanged() override;
    std::vector<Message> Messages() const;
    int StateChanges() const;

private:
    mutable std::mutex lock_; // guards messages_ and state_changes_
    std::vector<Message> messages_;
    int state_changes_ = 0;
};
