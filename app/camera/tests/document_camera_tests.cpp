// The camera wrappers against stand-ins of TovekQ5usb and TovekCorvane that
// record every call: what reaches a library, on which handle, and what never
// does.
#include "camera/DocumentCamera.h"

#include "platform/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::string, const void*>> g_calls; // operation, handle
int g_result = 0;                                         // every stand-in's answer
bool g_open_sets = true;                                  // Open hands out a handle
uintptr_t g_next_handle = 0x1000;

int Record(const char* operation, const void* handle) {
    g_calls.emplace_back(operation, handle);
    return g_result;
}

// What the GetLastError stand-ins hand out when they answer 0; with any
// other answer they leave "left over" in the buffers, which the wrappers
// must not pass on.
std::string g_user_text = "The camera stopped sending pictures.";
std::string g_debug_text = "camera: Could not read from resource.";

void FillText(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size < 1) {
        return;
    }
    const size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

int FakeLastError(const void* handle, char* user, int user_size, char* debug, int debug_size) {
    const int result = Record("GetLastError", handle);
    FillText(result == 0 ? g_user_text : "left over", user, user_size);
    FillText(result == 0 ? g_debug_text : "left over", debug, debug_size);
    return result;
}

template <typename Handle>
int FakeOpen(Handle** device) {
    if (g_open_sets) {
        *device = reinterpret_cast<Handle*>(g_next_handle += 0x10);
    }
    return Record("Open", nullptr);
}

} // namespace

// One stand-in per export: records the operation and the device handle.
#define FAKE(fn, op, ...)                                                                          \
    int fn(__VA_ARGS__) {                                                                          \
        return Record(op, nullptr);                                                                \
    }
#define FAKE_ON(fn, op, Handle, ...)                                                               \
    int fn(Handle* d, ##__VA_ARGS__) {                                                             \
        return Record(op, d);                                                                      \
    }

extern "C" {
FAKE(Tovek_Q5Usb_Intialize, "Initialize", void)
FAKE(Tovek_Q5Usb_UnIntialize, "Uninitialize", void)
FAKE(Tovek_Q5Usb_GetDeviceCount, "GetDeviceCount", void)
FAKE(Tovek_Q5Usb_RegisterDeviceNotification, "RegisterDeviceNotification", void*)
FAKE(Tovek_Q5Usb_UpdateDevice, "UpdateDevice", uint32_t, const void*)
int Tovek_Q5Usb_Open(int, TovekQ5UsbDevice** device) {
    return FakeOpen(device);
}
FAKE(Tovek_Q5Usb_CancelOpen, "CancelOpen", void)
FAKE_ON(Tovek_Q5Usb_Close, "Close", TovekQ5UsbDevice)
FAKE_ON(Tovek_Q5Usb_SendCmd, "SendCmd", TovekQ5UsbDevice, int)
FAKE_ON(Tovek_Q5Usb_SetPosition, "SetPosition", TovekQ5UsbDevice, VIDEO_WINDOW, int, int, int, int)
FAKE_ON(Tovek_Q5Usb_Refresh, "Refresh", TovekQ5UsbDevice, int, int, int, int)
FAKE_ON(Tovek_Q5Usb_Run, "Run", TovekQ5UsbDevice)
FAKE_ON(Tovek_Q5Usb_Stop, "Stop", TovekQ5UsbDevice)
FAKE_ON(Tovek_Q5Usb_SetStreamCallback, "SetStreamCallback", TovekQ5UsbDevice, Q5StreamCallback,
        void*)
FAKE_ON(Tovek_Q5Usb_SetSampleCallback, "SetSampleCallback", TovekQ5UsbDevice, MediaSampleCallback,
        void*)
FAKE_ON(Tovek_Q5Usb_GetStreamMediaType, "GetStreamMediaType", TovekQ5UsbDevice, VIDEOINFOHEADER*)
FAKE_ON(Tovek_Q5Usb_InitDirectShow, "InitDirectShow", TovekQ5UsbDevice)
int Tovek_Q5Usb_GetLastError(TovekQ5UsbDevice* d, char* user, int user_size, char* debug,
                             int debug_size) {
    return FakeLastError(d, user, user_size, debug, debug_size);
}

FAKE(Corvane_Intialize, "Initialize", void)
FAKE(Corvane_UnIntialize, "Uninitialize", void)
FAKE(Corvane_GetDeviceCount, "GetDeviceCount", void)
FAKE(Corvane_RegisterDeviceNotification, "RegisterDeviceNotification", DEVICE_CHANGE_RECEIVER)
FAKE(Corvane_UpdateDevice, "UpdateDevice", uint32_t, const DEV_BROADCAST_HDR*)
FAKE(Corvane_CancelOpen, "CancelOpen", void)
int Corvane_Open(int, CorvaneCaptureDevice** device) {
    return FakeOpen(device);
}
FAKE_ON(Corvane_Close, "Close", CorvaneCaptureDevice)
FAKE_ON(Corvane_SendCmd, "SendCmd", CorvaneCaptureDevice, int)
FAKE_ON(Corvane_SetPosition, "SetPosition", CorvaneCaptureDevice, VIDEO_WINDOW, int, int, int, int)
FAKE_ON(Corvane_Refresh, "Refresh", CorvaneCaptureDevice, int, int, int, int)
FAKE_ON(Corvane_Run, "Run", CorvaneCaptureDevice)
FAKE_ON(Corvane_Stop, "Stop", CorvaneCaptureDevice)
FAKE_ON(Corvane_SetStreamCallback, "SetStreamCallback", CorvaneCaptureDevice, StreamCallback, void*)
FAKE_ON(Corvane_SetSampleStreamCallback, "SetSampleCallback", CorvaneCaptureDevice, SampleCallback,
        void*)
FAKE_ON(Corvane_GetStreamMediaType, "GetStreamMediaType", CorvaneCaptureDevice, VIDEOINFOHEADER*)
FAKE_ON(Corvane_GetState, "GetState", CorvaneCaptureDevice, int*)
FAKE_ON(Corvane_VideoCapturePin, "VideoCapturePin", CorvaneCaptureDevice, CORVANE_OWNER_WINDOW)
int Corvane_GetLastError(CorvaneCaptureDevice* d, char* user, int user_size, char* debug,
                         int debug_size) {
    return FakeLastError(d, user, user_size, debug, debug_size);
}
} // extern "C"

namespace {

int OnQ5Stream(int, BYTE*, LONG, void*) {
    return 0;
}
int OnRvxStream(BYTE*, LONG, double, void*) {
    return 0;
}

using Operation = std::pair<std::string, std::function<int(DocumentCamera&)>>;

// The operations that need a device, named as the stand-ins record them.
std::vector<Operation> DeviceOperations(DocumentStreamCallback own_callback) {
    static VIDEOINFOHEADER format;
    static int state;
    return {
        {"SendCmd", [](DocumentCamera& c) { return c.SendCmd(0x31); }},
        {"SetPosition", [](DocumentCamera& c) { return c.SetPosition(nullptr, 0, 0, 64, 48); }},
        {"Refresh", [](DocumentCamera& c) { return c.Refresh(0, 0, 0, 0); }},
        {"Run", [](DocumentCamera& c) { return c.Run(); }},
        {"Stop", [](DocumentCamera& c) { return c.Stop(); }},
        {"SetStreamCallback",
         [=](DocumentCamera& c) { return c.SetStreamCallback(own_callback, &c); }},
        {"SetStreamCallback",
         [](DocumentCamera& c) { return c.SetStreamCallback(nullptr, nullptr); }},
        {"SetSampleCallback",
         [](DocumentCamera& c) { return c.SetSampleCallback(nullptr, nullptr); }},
        {"GetStreamMediaType", [](DocumentCamera& c) { return c.GetStreamMediaType(&format); }},
        {"InitDirectShow", [](DocumentCamera& c) { return c.InitDirectShow(); }},
        {"GetState", [](DocumentCamera& c) { return c.GetState(&state); }},
        {"VideoCapturePin", [](DocumentCamera& c) { return c.VideoCapturePin(nullptr); }},
        {"GetLastError", [](DocumentCamera& c) { return c.GetLastError(nullptr, nullptr); }},
        {"Close", [](DocumentCamera& c) { return c.Close(); }},
    };
}

template <typename Camera>
class DocumentCameraTest : public testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_result = 0;
        g_open_sets = true;
    }
    static constexpr bool kQ5 = std::is_base_of_v<Q5Camera, Camera>;
    // What the family does itself without the library.
    static bool Local(const std::string& operation) {
        return kQ5 ? operation == "GetState" || operation == "VideoCapturePin"
                   : operation == "InitDirectShow";
    }
    static DocumentStreamCallback Own() {
        return kQ5 ? DocumentStreamCallback(&OnQ5Stream) : &OnRvxStream;
    }
    static DocumentStreamCallback Other() {
        return kQ5 ? DocumentStreamCallback(&OnRvxStream) : &OnQ5Stream;
    }
};

using Models = testing::Types<Q5Camera, RvxCamera>;
TYPED_TEST_SUITE(DocumentCameraTest, Models);

TYPED_TEST(DocumentCameraTest, DeviceOperationsFailWithoutADeviceAndForwardOnlyWithOne) {
    platform::FakeClock clock; // RVX commands wait
    TypeParam camera;
    for (const auto& [name, call] : DeviceOperations(this->Own())) {
        g_calls.clear();
        const int local = name == "InitDirectShow" || name == "VideoCapturePin" ? 0 : -1;
        EXPECT_EQ(this->Local(name) ? local : -1, call(camera)) << name;
        EXPECT_TRUE(g_calls.empty()) << name << " reached the library without a device";
    }
    g_result = -7; // passed back unchanged
    for (const auto& [name, call] : DeviceOperations(this->Own())) {
        g_open_sets = true;
        ASSERT_EQ(-7, camera.Open(0));
        g_calls.clear();
        const int result = call(camera);
        if (this->Local(name)) {
            EXPECT_TRUE(g_calls.empty()) << name;
            continue;
        }
        EXPECT_EQ(-7, result) << name;
        ASSERT_EQ(1u, g_calls.size()) << name;
        EXPECT_EQ(name, g_calls[0].first);
        EXPECT_EQ(reinterpret_cast<void*>(g_next_handle), g_calls[0].second) << name;
    }
    g_calls.clear();
    EXPECT_EQ(-1, camera.SetStreamCallback(this->Other(), nullptr)) << "the other family's";
    EXPECT_TRUE(g_calls.empty());
}

TYPED_TEST(DocumentCameraTest, DeviceFreeOperationsAlwaysForward) {
    TypeParam camera;
    g_result = -5;
    EXPECT_EQ(-5, camera.Initialize());
    EXPECT_EQ(-5, camera.Uninitialize());
    EXPECT_EQ(-5, camera.GetDeviceCount());
    EXPECT_EQ(-5, camera.RegisterDeviceNotification(nullptr));
    EXPECT_EQ(-5, camera.UpdateDevice(0x8000, nullptr));
    EXPECT_EQ(5u, g_calls.size());
}

TYPED_TEST(DocumentCameraTest, OpenClosesTheHeldDeviceAndDestructionClosesIt) {
    {
        TypeParam camera;
        ASSERT_EQ(0, camera.Open(0));
        const void* first = reinterpret_cast<void*>(g_next_handle);
        ASSERT_EQ(0, camera.Open(0));
        ASSERT_EQ(3u, g_calls.size());
        EXPECT_EQ(std::make_pair(std::string("Close"), first), g_calls[1]);
        g_open_sets = false; // a failed Open leaves no device
        g_result = -1;
        EXPECT_EQ(-1, camera.Open(0));
        EXPECT_FALSE(camera.IsOpen());
        g_open_sets = true;
        g_result = 0;
        ASSERT_EQ(0, camera.Open(0));
        g_calls.clear();
    }
    const void* last = reinterpret_cast<void*>(g_next_handle);
    ASSERT_EQ(1u, g_calls.size());
    EXPECT_EQ(std::make_pair(std::string("Close"), last), g_calls[0]);
}

TYPED_TEST(DocumentCameraTest, LastErrorTextsComeBackAsStringsOnlyWhenAFailureIsKept) {
    TypeParam camera;
    std::string user = "untouched";
    std::string debug = "untouched";
    EXPECT_EQ(-1, camera.GetLastError(&user, &debug));
    EXPECT_EQ("untouched", user) << "no device: nothing changes";
    ASSERT_EQ(0, camera.Open(0));

    struct Case {
        int result;
        std::string library_debug;
        std::string user;
        std::string debug;
    };
    const std::string long_debug(5000, 'd');
    const Case cases[] = {
        {0, g_debug_text, g_user_text, g_debug_text},
        {0, long_debug, g_user_text, long_debug.substr(0, DocumentCamera::kMaxErrorText - 1)},
        {1, g_debug_text, "", ""},  // none kept: the buffers are not read
        {-1, g_debug_text, "", ""}, // a library failure reads as no text
    };
    for (const Case& c : cases) {
        g_result = c.result;
        g_debug_text = c.library_debug;
        EXPECT_EQ(c.result, camera.GetLastError(&user, &debug)) << c.result;
        EXPECT_EQ(c.user, user) << c.result;
        EXPECT_EQ(c.debug, debug) << c.result;
    }
    g_result = 0;
    EXPECT_EQ(0, camera.GetLastError(nullptr, &debug)) << "either text may be left out";
    EXPECT_EQ(0, camera.GetLastError(&user, nullptr));
    g_debug_text = "camera: Could not read from resource.";
}

TEST(DocumentCamera, FamilyRules) {
    g_calls.clear();
    g_result = 0;
    g_open_sets = true;
    Q5Camera q5;
    ASSERT_EQ(0, q5.Open(0));
    int state = 0;
    EXPECT_EQ(0, q5.GetState(&state));
    EXPECT_EQ(17, state) << "the Q5 family always reads normal";
    EXPECT_EQ(-1, q5.GetState(nullptr));

    platform::FakeClock clock;
    RvxCamera rvx;
    EXPECT_EQ(0, rvx.InitDirectShow()) << "also without a device";
    ASSERT_EQ(0, rvx.Open(0));
    g_calls.clear();
    EXPECT_EQ(-1, rvx.GetState(nullptr));
    EXPECT_TRUE(g_calls.empty());
    // A command waits only for the rest of the spacing after the open or
    // the command before it.
    const struct {
        uint32_t after_ms;
        uint32_t waits_ms;
    } spacing[] = {{0, 300}, {100, 200}, {300, 0}, {1000, 0}, {299, 1}};
    for (const auto& step : spacing) {
        clock.Advance(step.after_ms);
        const uint64_t slept = clock.Slept();
        EXPECT_EQ(0, rvx.SendCmd(0x31));
        EXPECT_EQ(step.waits_ms, clock.Slept() - slept) << step.after_ms;
    }

    // A cancel that comes before an arrival's wait begins keeps it from
    // beginning, until the next Initialize.
    rvx.CancelOpen();
    g_calls.clear();
    EXPECT_EQ(-1, rvx.UpdateDevice(0x8000, nullptr));
    EXPECT_TRUE(g_calls.empty()) << "the library's wait never began";
    rvx.Initialize();
    EXPECT_EQ(0, rvx.UpdateDevice(0x8000, nullptr));
}

} // namespace
