// The control tool bar wired to a camera through the real control sequencer,
// as the main window wires them: what a click sends, family by family.
#include "camera/ControlSequencer.h"
#include "camera/DocumentCamera.h"
#include "testsupport/gui_support.h"
#include "widgets/ControlToolBar.h"
#include "widgets/SkinButton.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A camera that only records the bytes it is sent.
class ByteCamera : public DocumentCamera {
public:
    std::vector<int> bytes;
    int SendCmd(int command) override { return bytes.push_back(command & 0xFF), 0; }
    int Initialize() override { return 0; }
    int Uninitialize() override { return 0; }
    int GetDeviceCount() override { return 1; }
    int Open(int) override { return 0; }
    int Close() override { return 0; }
    int RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER) override { return 0; }
    int UpdateDevice(uint32_t, const DEV_BROADCAST_HDR*) override { return 0; }
    int SetPosition(VIDEO_WINDOW, int, int, int, int) override { return 0; }
    int Refresh(int, int, int, int) override { return 0; }
    int Run() override { return 0; }
    int Stop() override { return 0; }
    int SetStreamCallback(DocumentStreamCallback, void*) override { return 0; }
    int SetSampleCallback(MediaSampleCallback, void*) override { return 0; }
    int GetStreamMediaType(VIDEOINFOHEADER*) override { return 0; }
    int InitDirectShow() override { return 0; }
    int GetState(int* state) override { return *state = 17, 0; }
    int VideoCapturePin(CORVANE_OWNER_WINDOW) override { return 0; }
    int GetLastError(std::string*, std::string*) override { return 1; }
};

TEST(ToolBarToCamera, ClickButtonsGoThroughTheSharedTranslation) {
    testsupport::App();
    ControlToolBar bar;
    bar.resize(138, 500);
    bar.show();
    ControlToolBar* const bar_ = &bar;
    const struct {
        DeviceFamily family;
        int id;
        std::vector<int> bytes; // of five clicks
    } rows[] = {
        {DeviceFamily::kRVX, ControlToolBar::kMirrorId, {0x4A, 0x4B, 0x4C, 0x4D, 0x4A}},
        {DeviceFamily::kQ5, ControlToolBar::kMirrorId, {0xB4, 0xB4, 0xB4, 0xB4, 0xB4}},
        {DeviceFamily::kRVX, ControlToolBar::kNegId, {0x38, 0x37, 0x38, 0x37, 0x38}},
        {DeviceFamily::kRVX, ControlToolBar::kColorId, {0x49, 0x48, 0x49, 0x48, 0x49}},
        {DeviceFamily::kQ5, ControlToolBar::kBlueLessId, {}}, // nothing on a click
        {DeviceFamily::kQ5, ControlToolBar::kFocusFarId, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        ByteCamera camera;
        ControlSequencer sequencer;
        bar_->SetControlKeySender(
            [&](int code) { return sequencer.SendControlKey(&camera, row.family, code); });
        for (int click = 0; click < 5; ++click)
            bar_->Button(row.id)->click();
        EXPECT_EQ(camera.bytes, row.bytes);
        // A key and its control code are one code (the end of a motion).
        EXPECT_EQ(bar_->SendControlKey(-92) + bar_->SendControlKey(0xA4), 0);
        ASSERT_EQ(camera.bytes.size(), row.bytes.size() + 2);
        EXPECT_EQ(camera.bytes.back(), row.family == DeviceFamily::kRVX ? 0x30 : 0xBA);
        EXPECT_EQ(camera.bytes.back(), camera.bytes[row.bytes.size()]);
    }
    bar_->SetControlKeySender(nullptr);
    EXPECT_EQ(bar_->SendControlKey(-92), -1);
}

} // namespace
