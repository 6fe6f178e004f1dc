// Snapshots from the main window while the emulated Q5 camera plays: the
// camera's own frame, the composited picture with
// annotations, and the status pane and message box of each outcome.
#include "annotation/AnnotationStore.h"
#include "camera/SessionEvents.h"
#include "common/CommandIds.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"
#include "window/MainWindow.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QRegularExpression>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;
using testsupport::ProgramFolder;

class SnapshotWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
    void SetUp() override {
        folder_ = std::make_unique<ProgramFolder>();
        SetMessageBoxService(&recorder_);
        folder_->Write("DocumentDevice.ini", "[Device]\ncount=1\nDev01=Q5M4410\n");
        app_ = std::make_unique<Application>();
        app_->SetExecutablePath(folder_->Exe());
        ASSERT_TRUE(app_->Start());
        main_window_ = std::make_unique<MainWindow>(*app_);
        main_window_->Session().SetWaitFunction([](uint32_t) {});
        snapshots_ = std::make_unique<testsupport::EventCounter>(main_window_.get(),
                                                                 SnapshotMessage::Type());
        frames_ = std::make_unique<testsupport::EventCounter>(
            main_window_.get(), static_cast<QEvent::Type>(msg::kFrame));
        main_window_->show();
        ASSERT_TRUE(ProcessEventsUntil([&] {
            return main_window_->Session().Playing() &&
                   main_window_->Session().LastFrameBytes() > 0;
        }));
        // Not there yet: the capture creates it.
        SetCapturePath(folder_->Path("pictures"));
    }
    void TearDown() override {
        snapshots_.reset();
        frames_.reset();
        main_window_.reset();
        app_.reset();
        SetMessageBoxService(nullptr);
    }
    void SetCapturePath(const fs::path& path) {
        app_->Settings().capture_path = platform::Utf8ToUtf16(path.string() + "/");
    }
    // Captures and waits for the outcome on this thread.
    bool Capture() {
        const uint64_t before = snapshots_->Count();
        main_window_->OnCommand(cmd::kCapture);
        return ProcessEventsUntil([&] { return snapshots_->Count() > before; });
    }
    // The picture the message pane names, empty when it names none.
    QString PicturePath() const {
        const QString prefix = QStringLiteral("Save a picture to: ");
        const QString text = main_window_->Panes().MessageText();
        return text.startsWith(prefix) ? text.mid(prefix.size()) : QString();
    }
    fs::path Images() const { return folder_->Path("pictures") / "Images"; }

    RecordingMessageBox recorder_;
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<Application> app_;
    std::unique_ptr<MainWindow> main_window_;
    std::unique_ptr<testsupport::EventCounter> snapshots_;
    std::unique_ptr<testsupport::EventCounter> frames_;
};

TEST_F(SnapshotWindowTest, CaptureWritesTheCamerasJpegTwiceInARow) {
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(Capture());
        EXPECT_EQ(app_->snapshot_result, 0);
        const QString path = PicturePath();
        EXPECT_TRUE(QRegularExpression(QString::fromStdString(Images().string()) +
                                       R"(/\d{4}\.\d\d\.\d\d-\d\dH\d\dM\d\ds\.jpg$)")
                        .match(path)
                        .hasMatch())
            << path.toStdString();
        const QImage picture(path, "JPEG");
        EXPECT_EQ(picture.size(), QSize(main_window_->Session().FrameWidth(),
                                        main_window_->Session().FrameHeight()));
        EXPECT_EQ(main_window_->Panes().MessageText(), "Save a picture to: " + path);
    }
    // The same second replaces the first file, a later one adds one.
    const auto files = std::distance(fs::directory_iterator(Images()), {});
    EXPECT_TRUE(files == 1 || files == 2) << files;
    EXPECT_TRUE(recorder_.Messages().empty());
}

TEST_F(SnapshotWindowTest, AnnotationsAreSavedUprightInThePicture) {
    const int w = main_window_->Session().FrameWidth();
    const int h = main_window_->Session().FrameHeight();
    ASSERT_GT(h, 64);
    // A red square near the top-left corner, 16 pixels wide so that the
    // encoder's colour subsampling keeps it red.
    main_window_->Session().Overlay().SetRenderer([w, h](uint8_t* overlay, size_t) {
        std::memset(overlay, 0xFE, static_cast<size_t>(w) * h * 4);
        for (int y = 16; y < 32; ++y)
            for (int x = 32; x < 48; ++x)
                std::memcpy(overlay + (static_cast<size_t>(y) * w + x) * 4, "\x00\x00\xFF\xFF", 4);
        return true;
    });
    main_window_->Session().Overlay().RequestRedraw();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Overlay().Present(); }));

    ASSERT_TRUE(Capture());
    EXPECT_EQ(app_->snapshot_result, 0);
    const QImage picture(PicturePath());
    ASSERT_EQ(picture.size(), QSize(w, h));
    const QColor inside = picture.pixelColor(40, 24);
    EXPECT_GT(inside.red(), 200);
    EXPECT_LT(inside.green(), 60);
    EXPECT_LT(inside.blue(), 60);
    // Not upside down.
    const QColor mirrored = picture.pixelColor(40, h - 1 - 24);
    EXPECT_FALSE(mirrored.red() > 200 && mirrored.green() < 60 && mirrored.blue() < 60);
}

// A small window has the picture decoded at a fraction of its size; a
// snapshot with shapes drawn still takes the whole picture and the shapes
// drawn for it: the same as with the whole picture decoded (below the
// emulated camera's live marker, which moves along the top edge).
TEST_F(SnapshotWindowTest, ShapesInASmallWindowAreSavedAsOverTheWholePicture) {
    const int w = main_window_->Session().FrameWidth();
    const int h = main_window_->Session().FrameHeight();
    main_window_->Annotations().Edit([w, h](annotation::AnnotationState& s) {
        annotation::Shape box;
        box.kind = annotation::ShapeKind::kRectangle;
        box.x1 = w / 4, box.y1 = h / 2, box.x2 = w / 2 + 3, box.y2 = h * 3 / 4 + 1;
        box.pen_color = 0x0000FF;
        box.pen_width = 3;
        box.filled = true;
        box.fill_color = 0xFF8000;
        annotation::Shape line = box;
        line.kind = annotation::ShapeKind::kLine;
        line.x1 = 5, line.y1 = h - 7, line.x2 = w - 9, line.y2 = h / 3;
        line.pen_width = 1;
        s.shapes = {box, line};
    });
    main_window_->Annotations().RequestRedraw();
    // The shapes are drawn on the overlay's own thread: a user sees them
    // before capturing, and so must the test.
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Overlay().Present(); }));
    VideoView* view = main_window_->View();
    view->CalcDisplayRect(300, 200); // as a small window lays it out
    const auto decoded_width = [view] { return view->LatestFrame().width(); };
    ASSERT_TRUE(ProcessEventsUntil([&] { return decoded_width() > 0 && decoded_width() < w; }));
    ASSERT_TRUE(Capture());
    const QImage scaled(PicturePath());
    ASSERT_EQ(scaled.size(), QSize(w, h));

    view->CalcDisplayRect(w, h); // room for every pixel
    ASSERT_TRUE(ProcessEventsUntil([&] { return decoded_width() == w; }));
    ASSERT_TRUE(Capture());
    const QImage whole(PicturePath());
    ASSERT_EQ(whole.size(), QSize(w, h));
    EXPECT_EQ(scaled.copy(0, h / 4, w, h - h / 4), whole.copy(0, h / 4, w, h - h / 4));
    const QColor fill = scaled.pixelColor(w * 3 / 8, h * 5 / 8);
    EXPECT_TRUE(fill.blue() > 200 && fill.red() < 60) << fill.name().toStdString();
}

TEST_F(SnapshotWindowTest, CaptureWhileStoppedDoesNothing) {
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    main_window_->OnCommand(cmd::kCapture);
    EXPECT_FALSE(main_window_->Session().GetSnapshot().Requested());
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    const uint64_t messages = frames_->Count();
    ASSERT_TRUE(ProcessEventsUntil([&] { return frames_->Count() > messages + 3; }));
    EXPECT_EQ(snapshots_->Count(), 0u);
    EXPECT_FALSE(fs::exists(folder_->Path("pictures")));
    EXPECT_EQ(app_->snapshot_result, 1);
}

TEST_F(SnapshotWindowTest, UnwritableCapturePathReportsTheFailureAndWritesNothing) {
    folder_->Write("plain", "x");
    SetCapturePath(folder_->Path("plain") / "sub");
    ASSERT_TRUE(Capture());
    EXPECT_EQ(app_->snapshot_result, 2);
    EXPECT_TRUE(PicturePath().isEmpty());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !recorder_.Messages().empty(); }));
    EXPECT_EQ(recorder_.Messages()[0].text, "Create file failed!");
    EXPECT_EQ(recorder_.Messages()[0].caption, app_->Caption());
    EXPECT_EQ(recorder_.Messages()[0].type, msgbox::kOk | msgbox::kIconExclamation);
    EXPECT_EQ(main_window_->Panes().MessageText(), "Image capture failed! Unknown reason!");
    // Too long to use: never cut into a shorter path, which names another folder.
    SetCapturePath(folder_->Path(std::string(1100, 'a')));
    ASSERT_TRUE(Capture());
    EXPECT_EQ(app_->snapshot_result, 2);
    EXPECT_TRUE(PicturePath().isEmpty());
}

} // namespace
