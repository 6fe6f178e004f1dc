// libjpeg's error handling for callers of its own interface (jpeglib.h),
// which TurboJPEG's calls do not cover. libjpeg reports a fatal error by
// calling error_exit, which must not return: this one formats the message
// and jumps back to the caller's setjmp on `jump`. Everything between the
// jump's setting and its target must be plain data, so nothing is skipped
// that needs destroying. Warnings (corrupt data worked around) are counted
// and the first kept in `message`; trace messages are dropped. A progressive
// picture of more scans than TurboJPEG allows is fatal too: a hostile one
// could otherwise make the reader work through scans without end.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace platform {

struct JpegErrorJump {
    static constexpr int kMaxScans = 500;

    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
    bool warned = false;

    // Before jpeg_create_*: info reports to this (its client_data is this).
    void Attach(j_common_ptr info) {
        info->err = jpeg_std_error(&errors);
        errors.error_exit = ErrorExit;
        errors.emit_message = EmitMessage;
        info->client_data = this;
    }
    // After jpeg_create_decompress: the limit on scans.
    void WatchScans(j_decompress_ptr info) {
        progress.progress_monitor = Progress;
        info->progress = &progress;
    }
    // Before each picture.
    void ClearWarnings() {
        warned = false;
        errors.num_warnings = 0;
    }

    static JpegErrorJump* Of(j_common_ptr info) {
        return static_cast<JpegErrorJump*>(info->client_data);
    }

private:
    static void ErrorExit(j_common_ptr info) {
        JpegErrorJump* self = Of(info);
        (*info->err->format_message)(info, self->message);
        std::longjmp(self->jump, 1);
    }
    static void EmitMessage(j_common_ptr info, int level) {
        if (level >= 0)
            return;
        JpegErrorJump* self = Of(info);
        if (!self->warned)
            (*info->err->format_message)(info, self->message);
        self->warned = true;
        ++info->err->num_warnings;
    }
    static void Progress(j_common_ptr info) {
        auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
        if (info->is_decompressor && decompress->progressive_mode &&
            decompress->input_scan_number > kMaxScans) {
            JpegErrorJump* self = Of(info);
            std::snprintf(self->message, sizeof self->message,
                          "progressive picture with more than %d scans", kMaxScans);
            std::longjmp(self->jump, 1);
        }
    }
};

} // namespace platform
