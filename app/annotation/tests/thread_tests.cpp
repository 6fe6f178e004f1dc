// Drawing, dragging, nudging and deleting on this thread while the overlay
// worker renders the same store on its own for a second: run under the
// address sanitizer, a shape freed while it is drawn would show here.
#include "annotation/AnnotationEditor.h"
#include "annotation/FrameOverlay.h"
#include "annotation/OverlayRenderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace annotation {
namespace {

TEST(AnnotationThreads, EditsWhileTheWorkerRendersAreSafe) {
    constexpr int kW = 640, kH = 480;
    AnnotationStore store;
    store.SetFrameSize(kW, kH);
    std::atomic<int> reports{0};
    store.SetPanelStateHandler([&](int32_t) { ++reports; });
    AnnotationEditor editor(store);
    editor.SetWaitFunction(nullptr);

    std::atomic<int> renders{0};
    OverlayWorker worker;
    worker.SetExtentRenderer([&](uint8_t* overlay, size_t size, OverlayExtent* extent) {
        ++renders;
        return RenderOverlay(store, overlay, size, extent);
    });
    worker.SetRedrawSource([&] { return store.TakeRedraw(); });
    worker.SetPlaying(true);
    worker.Start();

    std::vector<uint8_t> frame(kW * kH * 4, 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int round = 0;
    while (std::chrono::steady_clock::now() < end) {
        const int o = (round * 37) % 300;
        for (DrawTool tool :
             {DrawTool::kLine, DrawTool::kRectangle, DrawTool::kCircle, DrawTool::kCurve}) {
            store.SetTool(tool);
            editor.OnImageMouseDown({o, o});
            for (int i = 0; i < 20; ++i)
                editor.OnImageMouseMove({o + 5 * i, o + 3 * i}, true);
            editor.OnImageMouseUp({o + 100, o + 60});
        }
        store.SetTool(DrawTool::kSelect);
        editor.OnImageMouseDown({o + 50, o + 30}); // grab the newest
        for (int i = 0; i < 10; ++i)
            editor.OnImageMouseMove({o + 50 + i, o + 30 + i}, true);
        editor.OnImageMouseUp({o + 60, o + 40});
        editor.OnImageMouseDown({0, kH - 1}); // a band around everything
        editor.OnImageMouseMove({kW - 1, 0}, true);
        editor.OnImageMouseUp({kW - 1, 0});
        editor.NudgeSelection(1, 0);
        worker.Composite(frame.data(), kW * 4, kW, kH);
        if (round % 3 == 0)
            store.DeleteSelection();
        else if (round % 3 == 1)
            store.ClearAll();
        ++round;
    }
    worker.Stop();
    EXPECT_GT(renders.load(), 10);
    EXPECT_EQ(reports.load(), renders.load());
    EXPECT_GT(round, 10);
}

} // namespace
} // namespace annotation
