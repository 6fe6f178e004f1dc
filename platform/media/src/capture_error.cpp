#include "platform/capture_error.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

bool IsNotNegotiated(GstMessage* message, const gchar* debug) {
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    int flow = GST_FLOW_OK;
    if (details != nullptr && gst_structure_get_int(details, "flow-return", &flow)) {
        return flow == GST_FLOW_NOT_NEGOTIATED;
    }
    // Elements that post a flow error without details name the reason only.
    return debug != nullptr && std::strstr(debug, "not-negotiated") != nullptr;
}

const char* UserText(const GError* error, bool not_negotiated) {
    if (not_negotiated) {
        return kFormatNotSupportedText;
    }
    if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_NEGOTIATION) {
        return kFormatNotSupportedText;
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_NOT_IMPLEMENTED:
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE:
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_DECODE:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
            return kFormatNotSupportedText;
        default:
            return kCameraStoppedText;
        }
    }
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
        case GST_RESOURCE_ERROR_BUSY:
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_OPEN_WRITE:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
            return kCameraNotOpenedText;
        default:
            return kCameraStoppedText;
        }
    }
    return kCameraStoppedText;
}

std::string SourceName(GstMessage* message) {
    const char* name = GST_MESSAGE_SRC_NAME(message);
    return name != nullptr ? name : "(unknown element)";
}

} // namespace

std::optional<CaptureError> CaptureErrorFromMessage(GstMessage* message) {
    if (message == nullptr) {
        return std::nullopt;
    }
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        return CaptureError{kCameraStoppedText,
                            SourceName(message) + ": end of stream from a live camera"};
    }
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) {
        return std::nullopt;
    }
    g_autoptr(GError) error = nullptr;
    g_autofree gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    CaptureError described;
    described.user_text = UserText(error, IsNotNegotiated(message, debug));
    described.debug_text = SourceName(message) + ": " + error->message;
    if (debug != nullptr) {
        described.debug_text += std::string(" (") + debug + ")";
    }
    return described;
}

void CopyCaptureText(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size < 1) {
        return;
    }
    size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
    if (length < text.size()) {
        // Back to the start of the character the cut falls in.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

bool FirstCaptureError::Keep(CaptureError error) {
    platform::MutexLock lock(lock_);
    if (error_) {
        return false;
    }
    error_ = std::move(error);
    return true;
}

void FirstCaptureError::Clear() {
    platform::MutexLock lock(lock_);
    error_.reset();
}

bool FirstCaptureError::Has() const {
    platform::MutexLock lock(lock_);
    return error_.has_value();
}

int FirstCaptureError::Copy(char* user_text, int user_size, char* debug_text,
                            int debug_size) const {
    platform::MutexLock lock(lock_);
    CopyCaptureText(error_ ? error_->user_text : std::string(), user_text, user_size);
    CopyCaptureText(error_ ? error_->debug_text : std::string(), debug_text, debug_size);
    return error_ ? 0 : 1;
}

} // namespace platform
