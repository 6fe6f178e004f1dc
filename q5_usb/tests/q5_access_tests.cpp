// A Q5 camera that is plugged in but refused to the driver (no permission,
// another program holds it): no attach event, and the driver says it is
// refused, until the camera opens or is pulled out.
#include "platform/device_access.h"
#include "q5_fixture.h"

#include <cerrno>

namespace {

TEST_F(Q5DriverTest, ARefusedCameraIsKnownAsSuchUntilItOpensOrLeaves) {
    for (int error : {EACCES, EBUSY}) {
        SCOPED_TRACE(error);
        sim::UsbBus().Reset(false);
        auto camera = std::make_shared<sim::EmulatedQ5Camera>();
        camera->RefuseOpen(error);
        const sim::EmulatedDeviceId id = sim::UsbBus().PlugIn(camera);
        ASSERT_TRUE(Init());
        ASSERT_TRUE(testsupport::WaitUntil([] { return TovekCameraIsRefused() != 0; }));
        platform::DeviceAccessError record;
        ASSERT_TRUE(platform::GetDeviceAccessError(sim::kQ5VendorId, sim::kQ5ProductId, &record));
        EXPECT_EQ(record.fault, platform::AccessFaultFromErrno(error));
        EXPECT_TRUE(events_.Events().empty());
        EXPECT_FALSE(TovekCameraPlay());

        // Pulled out: nothing is refused any more.
        sim::UsbBus().PullOut(id);
        EXPECT_TRUE(testsupport::WaitUntil([] { return TovekCameraIsRefused() == 0; }));

        // Plugged in again with access: attached, and the record stays gone.
        camera->RefuseOpen(0);
        sim::UsbBus().PlugIn(camera);
        EXPECT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
        EXPECT_EQ(TovekCameraIsRefused(), 0);
        TovekCameraUninit();
        events_.Clear();
    }
}

// A record left from an earlier registration whose camera was pulled out
// meanwhile is dropped once the next registration has looked.
TEST_F(Q5DriverTest, ARecordOfACameraNoLongerPresentIsDroppedAtTheNextInit) {
    platform::ReportDeviceAccessError(sim::kQ5VendorId, sim::kQ5ProductId, EACCES, "earlier");
    ASSERT_TRUE(Init());
    EXPECT_EQ(TovekCameraIsRefused(), 0) << "only what this registration found counts";
    EXPECT_TRUE(testsupport::WaitUntil([] {
        return !platform::GetDeviceAccessError(sim::kQ5VendorId, sim::kQ5ProductId, nullptr);
    }));
}

} // namespace
