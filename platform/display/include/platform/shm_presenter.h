// Shows frames in an X window straight from memory the X server maps itself
// (the MIT-SHM extension, blocks handed over by file descriptor), as
// GStreamer's ximagesink does: the program never copies the pixels, the
// server reads them when it draws. It talks to the server on a connection
// of its own, so it never disturbs the toolkit's. The server may still be
// reading a frame after Put returns: the presenter keeps the frame's owner
// until the server says it is done (seen at the next Put, Collect or Sync).
//
// One thread at a time (the window's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Pixels in a block the server can map: rows of stride bytes, 4 bytes a
// pixel in B, G, R, X order, starting offset bytes into the file.
struct ShmPicture {
    int fd = -1;
    size_t offset = 0;
    size_t file_size = 0;
    uint64_t id = 0; // names the block for the process's life: attached once
    int width = 0;
    int height = 0;
    int stride = 0;
};

struct ShmRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class ShmPresenter {
public:
    // Connects to display (null: $DISPLAY) for window. Null, with the reason
    // in *why, where frames cannot go this way: no server, no MIT-SHM 1.2,
    // no such window, or a window whose pixels are not 32-bit B, G, R, X.
    static std::unique_ptr<ShmPresenter> Open(const char* display, uint32_t window,
                                              std::string* why);
    ~ShmPresenter();
    ShmPresenter(const ShmPresenter&) = delete;
    ShmPresenter& operator=(const ShmPresenter&) = delete;

    // Draws the source rectangle of picture at (x, y) of the window; owner
    // is kept while the server may read the block. False (nothing drawn)
    // for a picture that does not fit its block or after the connection
    // failed.
    bool Put(const ShmPicture& picture, const ShmRect& source, int x, int y,
             std::shared_ptr<const void> owner);
    // Lets go of the owners of the pictures the server has read.
    void Collect();
    // Waits until the server has done everything asked, then collects.
    void Sync();
    // False once the connection or a request failed: show frames another way.
    bool Usable() const;
    // What went wrong last, for the log.
    const std::string& LastError() const;

private:
    struct State;
    explicit ShmPresenter(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace platform
