// The document picture of the emulated cameras: a page with a title, text
// lines, a millimetre ruler and three coloured shapes, rendered at the
// camera's size with the camera's state (zoom, focus, brightness, colour
// gains, sharpness, mirror, negative, mono) applied, and encoded to a baseline
// 4:2:0 JPEG of quality 85, the same kind of picture a real camera streams as
// Motion-JPEG.
//
// Also here: what one command byte of each camera family does to the state,
// the status code an RVX camera reports after a command, and helpers that pad
// or damage a JPEG for fault injection.
#pragma once

#include "platform/thread_annotations.h"
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace sim {

// ---- camera state ------------------------------------------------------------

enum class Mirror : int { kNone = 0, kHorizontal = 1, kVertical = 2, kBoth = 3 };

// Step ranges. Every setting is a whole number of command steps; 0 is the
// default and the neutral picture.
inline constexpr int kMaxZoom = 10;      // zoom 0..10, magnification 1 + zoom / 5 (up to 3x)
inline constexpr int kMaxFocus = 6;      // focus -6..6, blur grows with |focus|
inline constexpr int kMaxBrightness = 6; // -6..6, 16 levels a step
inline constexpr int kMaxColourGain = 8; // red and blue gain -8..8, 10 % a step
inline constexpr int kMaxSharpness = 4;  // -4 (soft) .. 4 (sharp)

// What the camera currently does to its picture. A plain value: the emulated
// camera owns one, changes it with ApplyQ5Command or ApplyRvxCommand and hands
// it to its PictureGenerator, which clamps out-of-range fields.
struct CameraState {
    int zoom = 0;
    // Steps away from sharp focus: negative is focused too near, positive too
    // far; the box-blur radius grows with the distance.
    int focus = 0;
    int brightness = 0;
    int red_gain = 0;
    int blue_gain = 0;
    int sharpness = 0;
    Mirror mirror = Mirror::kNone;
    bool negative = false;
    bool mono = false;

    bool operator==(const CameraState&) const = default;
};

// Every field brought into its range.
CameraState ClampState(const CameraState& state);

// "Auto": focus, brightness, red and blue gain and sharpness go back to their
// defaults. Zoom, mirror, negative and mono stay: they are modes the user
// chose, and the program tracks negative, mono and mirror with counters that
// must keep matching the camera.
void ResetPictureSettings(CameraState& state);

// Applies one Q5 command byte (0xB1 zoom in ... 0xD3 red down). Zoom and focus
// bytes start a motion that the camera keeps up until the end-of-motion byte
// 0xBA; here each start byte moves one step at once and 0xBA (and 0xBB, which
// closes a zoom sequence) only stop it, so they are understood without a
// change. Mirror (0xB4), negative (0xB6) and mono (0xB5) toggle; mirror
// toggles between none and horizontal. Returns false, leaving the state as it
// was, for a byte the camera does not know.
bool ApplyQ5Command(CameraState& state, uint8_t command);

// Applies one RVX command byte (0x30 ... 0x4D). Zoom and focus move as with
// the Q5 family; 0x30 ends a motion. 0x35 is auto, which the program also
// sends to close every zoom sequence (the camera refocuses after zooming).
// 0x4A, 0x4B, 0x4C and 0x4D set the mirror to horizontal, vertical, both and
// none, the order in which the program steps through them; 0x38/0x37 set
// negative/positive, 0x49/0x48 mono/colour. Returns false, leaving the state
// as it was, for a byte the camera does not know.
bool ApplyRvxCommand(CameraState& state, uint8_t command);

// Status codes an RVX camera reports through its extension unit.
inline constexpr int kRvxStatusNormal = 0x11;

// The status an RVX camera reports for a while (about two seconds) after it
// received command: 0x82 "Tele" for zoom in, 0x81 "Negative" for 0x38, and so
// on. Bytes that carry no status of their own (0x30, end of a motion) and
// bytes the camera does not know give kRvxStatusNormal.
int RvxStatusForCommand(uint8_t command);

// ---- picture generator ---------------------------------------------------------

inline constexpr int kMinPictureWidth = 640;
inline constexpr int kMinPictureHeight = 480;
inline constexpr int kMaxPictureWidth = 2592;
inline constexpr int kMaxPictureHeight = 1944;
inline constexpr int kJpegQuality = 85;

// Work counters, for tests and benchmarks that check the caching.
struct PictureStats {
    uint64_t page_renders = 0;       // base page drawn (once per size)
    uint64_t state_applications = 0; // state applied to the page
    uint64_t encodes = 0;            // JPEG encodings
};

// Renders and encodes the picture of one camera. Work is done lazily in
// Jpeg() and only where something changed: the base page once per size, the
// state when it differs from the last one applied, the encoding when the
// picture (or, with the live marker on, the frame number) changed. Otherwise
// Jpeg() returns the very same buffer again.
//
// Threads: every member may be called from any thread, so the camera's
// command handler may change the state while its streaming thread takes
// pictures. Jpeg() calls serialise on the render lock; the setters only take
// the short state lock and never wait for a rendering. One generator serves
// one camera.
class PictureGenerator {
public:
    // Sizes outside 640 x 480 .. 2592 x 1944 are clamped into that range (each
    // dimension on its own); Width() and Height() give the size used.
    PictureGenerator(int width, int height);
    ~PictureGenerator();
    PictureGenerator(const PictureGenerator&) = delete;
    PictureGenerator& operator=(const PictureGenerator&) = delete;

    // Size in use after clamping.
    int Width() const;
    int Height() const;
    // Changes the picture size (clamped as in the constructor); the page is
    // drawn again at the next Jpeg().
    void SetSize(int width, int height);

    // Takes effect at the next Jpeg(). State() gives the state as clamped.
    void SetState(const CameraState& state);
    CameraState State() const;

    // The live marker is a frame counter and a square that moves along the
    // top edge with the frame number, so a viewer sees the picture is live.
    // Off by default: with it on, every new frame number costs an encoding.
    void SetLiveMarker(bool on);
    void SetFrameNumber(uint32_t frame_number);
    // Replays pictures from memory instead of encoding one per frame number:
    // with a length of 2 or more and the live marker on, the marker shows the
    // frame number modulo length, and each of those length pictures is
    // encoded once (again after the picture changed) and then served as
    // kept. For measuring what a picture costs its receiver without the
    // encoder's work. 0 or 1: off (the default).
    void SetReplayLength(uint32_t length);

    // The current picture as a complete JPEG. The buffer is never changed
    // after it is returned; holders may keep it as long as they like, across
    // threads. The same pointer comes back while nothing changed. nullptr only
    // when the encoder cannot work (out of memory).
    std::shared_ptr<const std::vector<uint8_t>> Jpeg();

    PictureStats Stats() const;

private:
    struct Request;
    struct Cache;

    mutable platform::Mutex state_mutex_;
    int width_ TOVEK_GUARDED_BY(state_mutex_);
    int height_ TOVEK_GUARDED_BY(state_mutex_);
    CameraState state_ TOVEK_GUARDED_BY(state_mutex_);
    bool live_marker_ TOVEK_GUARDED_BY(state_mutex_) = false;
    uint32_t frame_number_ TOVEK_GUARDED_BY(state_mutex_) = 0;
    uint32_t replay_length_ TOVEK_GUARDED_BY(state_mutex_) = 0;
    PictureStats stats_ TOVEK_GUARDED_BY(state_mutex_);

    platform::Mutex render_mutex_ TOVEK_ACQUIRED_BEFORE(state_mutex_); // held through all of Jpeg()
    std::unique_ptr<Cache> cache_ TOVEK_GUARDED_BY(render_mutex_);
};

// ---- fault injection -------------------------------------------------------------

enum class JpegPadding {
    kAfterEnd,      // zero bytes after the end-of-image marker
    kCommentSegment // comment (COM) segments right after the start-of-image marker
};

// A copy of jpeg grown to exactly size bytes in a way decoders ignore. False
// when jpeg does not begin with a start-of-image marker, is longer than size,
// or (comment segments) the growth is 1 to 3 bytes, less than one segment.
bool PadJpeg(std::span<const uint8_t> jpeg, size_t size, JpegPadding padding,
             std::vector<uint8_t>* padded);

enum class JpegDamage {
    kTruncate,     // only the first half of the bytes
    kScrambleData, // bytes of the entropy-coded data flipped (seeded)
    kBreakHeader,  // frame header claims a width of 0
    kNoStartMarker // start-of-image marker overwritten
};

// A damaged copy of jpeg for fault injection. The same seed gives the same
// bytes. Damage that needs a marker the input lacks leaves that part as it is.
std::vector<uint8_t> DamageJpeg(std::span<const uint8_t> jpeg, JpegDamage damage,
                                uint32_t seed = 1);

} // namespace sim
