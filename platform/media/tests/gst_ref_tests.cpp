// The reference holders of platform/gst_ref.h: a holder owns exactly one
// reference whether the object came floating or not, and a mapping guard
// gives the buffer's memory back.
#include "platform/gst_ref.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

class GstRefTest : public ::testing::Test {
protected:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        // A floating reference dropped or sunk twice shows as a critical
        // message of GLib or GStreamer.
        for (const char* domain : {"GStreamer", "GLib-GObject"}) {
            handlers_.push_back({domain, g_log_set_handler(domain, G_LOG_LEVEL_CRITICAL,
                                                           &GstRefTest::Count, &criticals_)});
        }
    }
    void TearDown() override {
        for (const auto& [domain, id] : handlers_) {
            g_log_remove_handler(domain, id);
        }
        EXPECT_EQ(0, criticals_);
    }

    static void Count(const gchar*, GLogLevelFlags, const gchar* message, gpointer count) {
        ++*static_cast<int*>(count);
        ADD_FAILURE() << message;
    }

    static void MarkGone(gpointer gone, GObject*) { *static_cast<bool*>(gone) = true; }

private:
    int criticals_ = 0;
    std::vector<std::pair<const char*, guint>> handlers_;
};

TEST_F(GstRefTest, SinkRefOwnsOneReferenceWhetherTheObjectCameFloatingOrNot) {
    struct Case {
        const char* name;
        bool owned_elsewhere; // a reference of the test's, taken before the holder's
        bool added_to_bin;    // handed to a bin while held
        int references_held;  // while the holder lives
        bool gone_with_holder;
    };
    const Case cases[] = {
        {"a new, floating element", false, false, 1, true},
        {"an element another owner holds", true, false, 2, false},
        {"a new element added to a bin", false, true, 2, false},
        {"an owned element added to a bin", true, true, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GstElement* element = gst_element_factory_make("identity", nullptr);
        ASSERT_NE(nullptr, element);
        bool gone = false;
        g_object_weak_ref(G_OBJECT(element), &GstRefTest::MarkGone, &gone);
        if (c.owned_elsewhere) {
            gst_object_ref_sink(element);
        }
        platform::GstRef<GstElement> bin;
        {
            const platform::GstRef<GstElement> held = platform::SinkRef(element);
            EXPECT_FALSE(g_object_is_floating(element));
            if (c.added_to_bin) {
                bin = platform::SinkRef(gst_bin_new(nullptr));
                EXPECT_TRUE(gst_bin_add(GST_BIN(bin.get()), held.get()));
            }
            EXPECT_EQ(c.references_held, GST_OBJECT_REFCOUNT_VALUE(element));
        }
        EXPECT_EQ(c.gone_with_holder, gone);
        bin.reset();
        if (c.owned_elsewhere) {
            EXPECT_FALSE(gone);
            gst_object_unref(element);
        }
        EXPECT_TRUE(gone) << "the last owner dropped the element";
    }
    EXPECT_EQ(nullptr, platform::SinkRef<GstElement>(nullptr)) << "null stays null, quietly";
}

TEST_F(GstRefTest, AMappingGuardGivesTheMemoryBackWhenItEnds) {
    for (const GstMapFlags flags : {GST_MAP_READ, GST_MAP_WRITE}) {
        SCOPED_TRACE(flags == GST_MAP_READ ? "read" : "write");
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, 64, nullptr);
        GstMemory* memory = gst_buffer_peek_memory(buffer, 0);
        const gint lock_before = GST_MINI_OBJECT_CAST(memory)->lockstate;
        const gint refs_before = GST_MINI_OBJECT_REFCOUNT_VALUE(memory);
        {
            const platform::BufferMap map(buffer, flags);
            ASSERT_TRUE(map);
            EXPECT_EQ(64u, map.size());
            EXPECT_NE(lock_before, GST_MINI_OBJECT_CAST(memory)->lockstate);
        }
        EXPECT_EQ(lock_before, GST_MINI_OBJECT_CAST(memory)->lockstate);
        EXPECT_EQ(refs_before, GST_MINI_OBJECT_REFCOUNT_VALUE(memory));
        gst_buffer_unref(buffer);
    }
}

} // namespace
