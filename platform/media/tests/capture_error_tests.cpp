// How bus messages of a capture graph become the owner's error texts, and
// how the texts are cut to a caller's buffer. (Keeping the first failure is
// tested through both libraries' GetLastError.)
#include "platform/capture_error.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using platform::CaptureError;
using platform::CaptureErrorFromMessage;
using platform::CopyCaptureText;

class CaptureErrorTest : public testing::Test {
protected:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        source_ = gst_object_ref_sink(gst_element_factory_make("fakesrc", "camera"));
    }
    void TearDown() override { gst_object_unref(source_); }

    // An error message from "camera", with a flow return in its details
    // when flow is not GST_FLOW_OK.
    GstMessage* Error(GQuark domain, int code, const char* debug,
                      GstFlowReturn flow = GST_FLOW_OK) {
        GError* error = g_error_new_literal(domain, code, "what went wrong");
        GstStructure* details = flow != GST_FLOW_OK
                                    ? gst_structure_new("details", "flow-return", G_TYPE_INT,
                                                        static_cast<int>(flow), nullptr)
                                    : nullptr;
        GstMessage* message =
            gst_message_new_error_with_details(GST_OBJECT(source_), error, debug, details);
        g_error_free(error);
        return message;
    }

    std::optional<CaptureError> Describe(GstMessage* message) {
        std::optional<CaptureError> described = CaptureErrorFromMessage(message);
        gst_message_unref(message);
        return described;
    }

    gpointer source_ = nullptr;
};

TEST_F(CaptureErrorTest, EachKindOfFailureGetsItsUserText) {
    struct Case {
        const char* name;
        GQuark domain;
        int code;
        GstFlowReturn flow;
        const char* debug;
        const char* user_text;
    };
    const Case cases[] = {
        {"read error", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, GST_FLOW_OK, "read failed",
         platform::kCameraStoppedText},
        {"flow error", GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, GST_FLOW_ERROR,
         "streaming stopped, reason error (-5)", platform::kCameraStoppedText},
        {"not negotiated", GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, GST_FLOW_NOT_NEGOTIATED,
         "streaming stopped, reason not-negotiated (-4)", platform::kFormatNotSupportedText},
        {"not negotiated, no details", GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, GST_FLOW_OK,
         "streaming stopped, reason not-negotiated (-4)", platform::kFormatNotSupportedText},
        {"format", GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT, GST_FLOW_OK, nullptr,
         platform::kFormatNotSupportedText},
        {"decode", GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, GST_FLOW_OK, nullptr,
         platform::kFormatNotSupportedText},
        {"core negotiation", GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION, GST_FLOW_OK, nullptr,
         platform::kFormatNotSupportedText},
        {"no device", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND, GST_FLOW_OK, nullptr,
         platform::kCameraNotOpenedText},
        {"busy", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY, GST_FLOW_OK, nullptr,
         platform::kCameraNotOpenedText},
        {"library", GST_LIBRARY_ERROR, GST_LIBRARY_ERROR_FAILED, GST_FLOW_OK, nullptr,
         platform::kCameraStoppedText},
    };
    for (const Case& c : cases) {
        const auto described = Describe(Error(c.domain, c.code, c.debug, c.flow));
        ASSERT_TRUE(described) << c.name;
        EXPECT_EQ(c.user_text, described->user_text) << c.name;
        const std::string expected_debug = std::string("camera: what went wrong") +
                                           (c.debug ? std::string(" (") + c.debug + ")" : "");
        EXPECT_EQ(expected_debug, described->debug_text) << c.name;
    }
}

TEST_F(CaptureErrorTest, EndOfStreamIsAFailureAndOtherMessagesAreNot) {
    const auto eos = Describe(gst_message_new_eos(GST_OBJECT(source_)));
    ASSERT_TRUE(eos);
    EXPECT_EQ(platform::kCameraStoppedText, eos->user_text);
    EXPECT_NE(std::string::npos, eos->debug_text.find("camera: end of stream"));

    GError* warning = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "skipped");
    EXPECT_FALSE(Describe(gst_message_new_warning(GST_OBJECT(source_), warning, "bad picture")));
    g_error_free(warning);
    EXPECT_FALSE(Describe(gst_message_new_latency(GST_OBJECT(source_))));
    EXPECT_FALSE(CaptureErrorFromMessage(nullptr));
}

TEST(CopyCaptureText, CutsToTheBufferAtACharacterBoundary) {
    struct Case {
        std::string text;
        int size;
        std::string expected;
    };
    const Case cases[] = {
        {"camera", 16, "camera"},
        {"camera", 7, "camera"},
        {"camera", 4, "cam"},
        {"camera", 1, ""},
        {"caf\xC3\xA9!", 5, "caf"},         // a two-byte character is not split
        {"caf\xC3\xA9!", 6, "caf\xC3\xA9"}, // it fits whole
        {"\xE2\x82\xAC\xE2\x82\xAC", 6, "\xE2\x82\xAC"},
    };
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        CopyCaptureText(c.text, buffer, c.size);
        EXPECT_EQ(c.expected, std::string(buffer)) << c.text << " in " << c.size;
        EXPECT_EQ('x', buffer[c.size]) << "nothing written past the size";
    }
    char untouched = 'x';
    CopyCaptureText("camera", &untouched, 0);
    EXPECT_EQ('x', untouched);
    CopyCaptureText("camera", nullptr, 8); // no crash
}

} // namespace
