// The bus of a capture graph: one sync handler per graph, which frees every
// message it drops, on the first build and on every rebuild.
#include "capture_device.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Opens the graph to the test.
class ControlProbe : public corvane::CorvaneDeviceControl {
public:
    GstBus* Bus() { return pipeline_ != nullptr ? gst_element_get_bus(pipeline_.get()) : nullptr; }
};

void CountFree(gpointer count, GstMiniObject* /*message*/) {
    static_cast<std::atomic<int>*>(count)->fetch_add(1);
}

// Posts message on bus, watching it be freed; how many of them were.
int PostAndCountFrees(GstBus* bus, GstMessage* message, std::atomic<int>* freed) {
    gst_mini_object_weak_ref(GST_MINI_OBJECT_CAST(message), &CountFree, freed);
    gst_bus_post(bus, message);
    return freed->load();
}

GstMessage* ApplicationMessage() {
    return gst_message_new_application(nullptr, gst_structure_new_empty("probe"));
}

GstMessage* ErrorMessage() {
    GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, "probe");
    GstMessage* message = gst_message_new_error(nullptr, error, "posted by the test");
    g_error_free(error);
    return message;
}

TEST(CaptureBus, AGraphWithoutAReaderFreesEveryMessageItDropsAfterEachBuild) {
    ControlProbe control;
    for (int build = 0; build < 2; ++build) {
        SCOPED_TRACE(build == 0 ? "first build" : "rebuilt");
        control.TearDown();
        ASSERT_TRUE(control.Build(false));
        GstBus* bus = control.Bus();
        ASSERT_NE(nullptr, bus);
        std::atomic<int> freed{0};
        for (int i = 1; i <= 3; ++i) {
            GstMessage* message = i == 2 ? ErrorMessage() : ApplicationMessage();
            EXPECT_EQ(i, PostAndCountFrees(bus, message, &freed));
        }
        EXPECT_FALSE(gst_bus_have_pending(bus));
        gst_object_unref(bus);
    }
}

} // namespace
