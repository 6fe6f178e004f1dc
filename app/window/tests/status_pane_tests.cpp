// The status bar's message-pane rules: which text wins, and the five-second
// windows that wrap with the tick count.
#include "testsupport/gui_support.h"
#include "window/StatusPanes.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QStatusBar>

namespace {

MessagePaneState State(uint32_t now) {
    MessagePaneState s;
    s.now = now;
    s.recording_tick = now - 100000; // no recording start in the last five seconds
    return s;
}

TEST(StatusPaneTest, MessageTextFollowsItsRulesInOrder) {
    struct Case {
        const char* name;
        void (*set)(MessagePaneState&);
        const char* text;
    };
    const Case cases[] = {
        {"detached", [](MessagePaneState&) {}, "The device is detached."},
        {"attached", [](MessagePaneState& s) { s.attached = true; }, "The device is attached."},
        {"playing", [](MessagePaneState& s) { s.attached = s.playing = true; }, "Playing"},
        {"starting", [](MessagePaneState& s) { s.attached = s.starting = true; },
         "Starting the picture..."},
        {"saved 4999 ms ago",
         [](MessagePaneState& s) {
             s.playing = s.snapshot_taken = true;
             s.snapshot_tick = s.now - 4999;
             s.snapshot_result = 0;
             s.picture_path = "/p/a.jpg";
         },
         "Save a picture to: /p/a.jpg"},
        {"saved 5000 ms ago",
         [](MessagePaneState& s) {
             s.playing = s.snapshot_taken = true;
             s.snapshot_tick = s.now - 5000;
             s.snapshot_result = 0;
         },
         "Playing"},
        {"no space for a snapshot",
         [](MessagePaneState& s) {
             s.snapshot_taken = true;
             s.snapshot_tick = s.now;
             s.snapshot_result = 3;
         },
         "Image capture failed! Not enough space on disk!"},
        {"snapshot failed",
         [](MessagePaneState& s) {
             s.snapshot_taken = true;
             s.snapshot_tick = s.now;
             s.snapshot_result = 2;
         },
         "Image capture failed! Unknown reason!"},
        {"record file failed",
         [](MessagePaneState& s) {
             s.recording_result = 2;
             s.recording_tick = s.now - 10;
         },
         "Video record failed! Failed to create video files!"},
        {"record no space",
         [](MessagePaneState& s) {
             s.recording_result = 3;
             s.recording_tick = s.now - 10;
         },
         "Video record failed! Not enough space on disk!"},
        {"recording",
         [](MessagePaneState& s) {
             s.playing = s.recording = true;
             s.recording_result = 1;
             s.recording_tick = s.now - (3723 * 1000 + 400);
             s.megabytes = 17;
             s.video_path = "/v/x.avi";
         },
         "Recording... Time: 01:02:03; Size:17MB; Path:/v/x.avi"},
        {"graph failed",
         [](MessagePaneState& s) {
             s.attached = true;
             s.stream_error = "The camera stopped sending pictures.";
         },
         "The camera stopped sending pictures."},
    };
    // Near the tick count's wrap as well as at an ordinary time.
    for (uint32_t now : {5000000u, 2000u}) {
        for (const Case& c : cases) {
            MessagePaneState s = State(now);
            c.set(s);
            EXPECT_EQ(StatusPanes::MessageText(s, nullptr), QString::fromUtf8(c.text))
                << c.name << " at " << now;
        }
    }
}

TEST(StatusPaneTest, FivePanesWithTheirWidthsAndTexts) {
    testsupport::App();
    QWidget parent;
    StatusPanes panes(&parent, nullptr);
    EXPECT_EQ(panes.Bar()->findChildren<QLabel*>().size(), 5);
    EXPECT_EQ(panes.Pane(36815)->width(), 150);
    EXPECT_EQ(panes.Pane(130)->width(), 200);
    EXPECT_EQ(panes.FrameText(), "Frame: [0x0] 0,000Bytes");
    panes.SetFrame(1920, 1080, 345006);
    EXPECT_EQ(panes.FrameText(), "Frame: [1920x1080] 345,006Bytes");
    panes.SetMouse(12, -3);
    EXPECT_EQ(panes.Pane(133)->text(), "12,-3");
    panes.SetClock("09:08:07");
    EXPECT_EQ(panes.Pane(131)->text(), "09:08:07 ");
}

// A text wider than its pane's width widens the pane, which then keeps that
// width: a cut text would tell nothing, a pane that shrank would jump.
TEST(StatusPaneTest, FixedPanesGrowToHoldTheirWholeText) {
    testsupport::App();
    QWidget parent;
    StatusPanes panes(&parent, nullptr);
    QLabel* frame = panes.Pane(130);
    panes.SetFrame(2592, 1944, 12345678);
    const int grown = frame->width();
    EXPECT_GE(grown, frame->fontMetrics().horizontalAdvance(frame->text()));
    panes.SetFrame(64, 48, 1000);
    EXPECT_EQ(frame->width(), grown);
    panes.SetMouse(-12345, -12345);
    QLabel* mouse = panes.Pane(133);
    EXPECT_GE(mouse->width(), mouse->fontMetrics().horizontalAdvance(mouse->text()));
}

TEST(StatusPaneTest, FramePaneTakesNewLengthsWithTheNextMessageAndNewSizesAtOnce) {
    testsupport::App();
    QWidget parent;
    StatusPanes panes(&parent, nullptr);
    const struct {
        const char* step;
        int width, height, length; // SetFrame; width -1: SetMessage instead
        const char* shown;
    } steps[] = {
        {"a first size", 1920, 1080, 200123, "Frame: [1920x1080] 200,123Bytes"},
        {"a new length waits", 1920, 1080, 201000, "Frame: [1920x1080] 200,123Bytes"},
        {"and another", 1920, 1080, 202000, "Frame: [1920x1080] 200,123Bytes"},
        {"the message refresh shows the newest", -1, 0, 0, "Frame: [1920x1080] 202,000Bytes"},
        {"a new size shows at once", 1280, 720, 90000, "Frame: [1280x720] 90,000Bytes"},
        {"the picture stopped", 0, 0, 0, "Frame: [0x0] 0,000Bytes"},
    };
    for (const auto& s : steps) {
        if (s.width < 0)
            panes.SetMessage(State(1000));
        else
            panes.SetFrame(s.width, s.height, s.length);
        EXPECT_EQ(panes.FrameText(), s.shown) << s.step;
    }
}

} // namespace
