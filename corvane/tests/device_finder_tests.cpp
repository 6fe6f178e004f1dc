#include "device_finder.h"

#include "platform/system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

namespace corvane {
namespace {

using platform::VideoInputDevice;

const std::string kPrefix = MonikerPrefix(kDefaultDeviceId);

VideoInputDevice Device(const std::string& display_name, const std::string& friendly_name) {
    VideoInputDevice device;
    device.display_name = display_name;
    device.friendly_name = friendly_name;
    return device;
}

TEST(FindCameraPosition, MatchesTheStartOfLongerDisplayNamesIgnoringCase) {
    EXPECT_EQ("@device:pnp:\\\\?\\usb#vid_0ac8&pid_3610", kPrefix);
    const std::vector<VideoInputDevice> devices = {
        Device("@device:pnp:\\\\?\\usb#vid_046d&pid_0825&mi_00#x#{guid}\\global", "Webcam"),
        Device(kPrefix, "Exactly the prefix"),
        Device("@DEVICE:PNP:\\\\?\\USB#VID_0AC8&PID_3610&MI_00#A#{guid}\\global", ""),
        Device("@device:pnp:\\\\?\\USB#VID_0AC8&PID_3610&mi_00#b#{guid}\\global", "RVX"),
    };
    // The third has no friendly name and is skipped, but still counts.
    EXPECT_EQ(3, FindCameraPosition(devices, kPrefix));
    EXPECT_EQ(-1, FindCameraPosition({devices[0], devices[1]}, kPrefix));
    EXPECT_EQ(-1, FindCameraPosition({}, kPrefix));
}

TEST(FindCameraPosition, AnEmptyPrefixTakesTheFirstDeviceWithAFriendlyName) {
    EXPECT_EQ(1,
              FindCameraPosition({Device("@device:pnp:a", ""), Device("@device:pnp:b", "B")}, ""));
    EXPECT_EQ(-1, FindCameraPosition({Device("", "Nameless")}, ""));
}

// A device back end with fixed answers that records what it was asked.
class FakeProvider final : public platform::DeviceProvider {
public:
    std::vector<VideoInputDevice> EnumerateVideoInputs() override { return inputs; }
    bool GetClassDevs(std::string_view enumerator, DWORD flags,
                      std::vector<std::string>* ids) override {
        ++class_dev_calls;
        last_enumerator = std::string(enumerator);
        last_flags = flags;
        *ids = (flags & platform::DIGCF_PRESENT) != 0 ? present : known;
        return true;
    }
    bool GetDevNodeStatus(std::string_view, platform::DevNodeStatus* status) override {
        if (!node_found) {
            return false;
        }
        *status = node_status;
        return true;
    }
    bool ReadUsbDescriptors(const VideoInputDevice&, std::vector<uint8_t>*) override {
        return false;
    }
    int CheckOpen(const VideoInputDevice&) override {
        ++open_checks;
        if (on_check) {
            on_check();
        }
        return open_checks > refused_opens ? 0 : EBUSY;
    }
    std::unique_ptr<platform::ExtensionUnitTransport>
    OpenExtensionUnit(const VideoInputDevice&) override {
        return nullptr;
    }
    std::unique_ptr<platform::DeviceNotification>
    RegisterDeviceNotification(DeviceChangeReceiver*) override {
        return nullptr;
    }

    std::vector<std::string> present;
    std::vector<std::string> known;
    std::vector<VideoInputDevice> inputs; // none: the video node never shows
    int refused_opens = 0;                // the first ones fail
    int open_checks = 0;
    std::function<void()> on_check; // what another thread does meanwhile
    bool node_found = true;
    platform::DevNodeStatus node_status{platform::DN_DRIVER_LOADED | platform::DN_STARTED, 0};
    int class_dev_calls = 0;
    std::string last_enumerator;
    DWORD last_flags = 0;
};

platform::DeviceBroadcast Interface(const std::string& name) {
    return platform::DeviceBroadcast::ForInterface(GUID_DEVINTERFACE_USB_DEVICE,
                                                   std::u16string(name.begin(), name.end()));
}

const char kCameraName[] =
    "\\\\?\\USB#VID_0AC8&PID_3610#SN1#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
const char kCameraId[] = "USB\\VID_0AC8&PID_3610\\SN1";

class JudgeDeviceChangeTest : public ::testing::Test {
protected:
    int Judge(uint32_t event, const platform::DeviceBroadcast& broadcast) {
        return JudgeDeviceChange(provider_, kDefaultDeviceId, event, broadcast.Header());
    }
    platform::FakeClock clock_;
    FakeProvider provider_;
};

TEST_F(JudgeDeviceChangeTest, ArrivalOfAWorkingCameraWaitsForItToSettle) {
    provider_.present = {"USB\\VID_046D&PID_C077\\5", "usb\\vid_0ac8&pid_3610\\sn1"};
    EXPECT_EQ(0, Judge(DBT_DEVICEARRIVAL, Interface(kCameraName)));
    // Its video node never showed: waited for to the limit.
    EXPECT_EQ(5000u, clock_.Slept());
    EXPECT_EQ("USB", provider_.last_enumerator);
    EXPECT_EQ(platform::DIGCF_PRESENT | platform::DIGCF_ALLCLASSES, provider_.last_flags);
}

TEST_F(JudgeDeviceChangeTest, ArrivalWaitsOnlyUntilTheCameraNodeOpens) {
    VideoInputDevice camera;
    camera.display_name = MonikerPrefix(kDefaultDeviceId) + "#sn1#{video}";
    camera.friendly_name = "RVX";
    camera.path = "/dev/video4";
    VideoInputDevice other = camera;
    other.display_name = MonikerPrefix("usb#vid_046d&pid_c077") + "#5#{video}";
    const struct {
        const char* what;
        std::vector<VideoInputDevice> inputs;
        int refused_opens;
        uint64_t slept_ms;
    } cases[] = {
        {"opens at once", {camera}, 0, 0},
        {"opens at the third try", {other, camera}, 2, 100},
        {"only another camera is listed", {other}, 0, 5000},
        {"never opens", {camera}, 1000, 5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint64_t slept_before = clock_.Slept();
        FakeProvider provider;
        provider.present = {kCameraId};
        provider.inputs = c.inputs;
        provider.refused_opens = c.refused_opens;
        EXPECT_EQ(0, JudgeDeviceChange(provider, kDefaultDeviceId, DBT_DEVICEARRIVAL,
                                       Interface(kCameraName).Header()));
        EXPECT_EQ(c.slept_ms, clock_.Slept() - slept_before);
    }
}

TEST_F(JudgeDeviceChangeTest, RemovalLooksAtDevicesThatAreGoneAndDoesNotWait) {
    provider_.known = {kCameraId};
    EXPECT_EQ(0, Judge(DBT_DEVICEREMOVECOMPLETE, Interface(kCameraName)));
    EXPECT_EQ(platform::DIGCF_ALLCLASSES, provider_.last_flags);
    provider_.known.clear();
    EXPECT_EQ(-1, Judge(DBT_DEVICEREMOVECOMPLETE, Interface(kCameraName)));
    EXPECT_EQ(0u, clock_.Slept());
}

TEST_F(JudgeDeviceChangeTest, OtherDevicesAndBrokenCameraNodesAreRejectedAtOnce) {
    provider_.present = {kCameraId, "USB\\VID_046D&PID_C077\\5&1A2B&0&1"};
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL,
                        Interface("\\\\?\\USB#VID_046D&PID_C077#5&1A2B&0&1#{A5DCBF10-6530-11D2-"
                                  "901F-00C04FB951ED}")))
        << "a mouse";
    provider_.node_status = {platform::DN_HAS_PROBLEM, platform::CM_PROB_DISABLED};
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, Interface(kCameraName))) << "disabled";
    provider_.node_status = {0, platform::CM_PROB_DISABLED};
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, Interface(kCameraName))) << "problem 22 alone";
    provider_.node_found = false;
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, Interface(kCameraName))) << "no node";
    EXPECT_EQ(0u, clock_.Slept());
    provider_.present.clear();
    provider_.node_found = true;
    provider_.node_status = {};
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, Interface(kCameraName))) << "not in the set";
}

TEST_F(JudgeDeviceChangeTest, MalformedOrForeignEventsNeverReachTheSystem) {
    provider_.present = {kCameraId};
    EXPECT_EQ(-1, Judge(0x8001, Interface(kCameraName)));
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, platform::DeviceBroadcast::OfType(2)));
    EXPECT_EQ(-1, JudgeDeviceChange(provider_, kDefaultDeviceId, DBT_DEVICEARRIVAL, nullptr));
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, Interface("\\\\?\\")));
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, Interface("\\\\?\\USB_WITHOUT_HASH")));
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL,
                        Interface("\\\\?\\ROOT#VID_0AC8&PID_3610#0000#{A5DCBF10-6530-11D2-901F-"
                                  "00C04FB951ED}")));
    EXPECT_EQ(0, provider_.class_dev_calls);

    // A record whose size stops inside the name: only the declared bytes are read.
    platform::DeviceBroadcast broadcast = Interface(kCameraName);
    auto* header = const_cast<DEV_BROADCAST_HDR*>(broadcast.Header());
    header->dbch_size = 28 + 2 * 6;
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, broadcast));
    header->dbch_size = 4;
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, broadcast));
}

TEST_F(JudgeDeviceChangeTest, ACancelEndsTheWaitRunningNowAndNoLaterOne) {
    VideoInputDevice camera;
    camera.display_name = MonikerPrefix(kDefaultDeviceId) + "#sn1#{video}";
    camera.friendly_name = "RVX";
    provider_.present = {kCameraId};
    provider_.inputs = {camera};
    provider_.refused_opens = 1000; // listed, never opens
    // The program ends while the third try runs.
    provider_.on_check = [this] {
        if (provider_.open_checks == 3) {
            CancelSettleWaits();
        }
    };
    EXPECT_EQ(-1, Judge(DBT_DEVICEARRIVAL, Interface(kCameraName)));
    EXPECT_EQ(3, provider_.open_checks);
    EXPECT_EQ(150u, clock_.Slept());
    // The next arrival waits its whole time again.
    EXPECT_EQ(0, Judge(DBT_DEVICEARRIVAL, Interface(kCameraName)));
    EXPECT_EQ(150u + 5000u, clock_.Slept());
}

} // namespace
} // namespace corvane
