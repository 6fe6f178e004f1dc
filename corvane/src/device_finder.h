// Finding the camera among the video input devices, and judging device
// arrivals and removals, over the device back end of platform/devices.
#pragma once

#include "platform/devices.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr size_t kDeviceIdSize = 264; // with the terminating zero
inline constexpr char kDefaultDeviceId[] = "usb#vid_0ac8&pid_3610";

// "@device:pnp:\\?\" followed by the device id.
std::string MonikerPrefix(std::string_view device_id);

// The module-wide device id and moniker prefix (empty until set). Guarded by
// their own lock, so a setter never tears a lookup running on another thread.
void SetDeviceId(std::string_view device_id);
std::string DeviceId();
std::string CurrentMonikerPrefix();

// The position of the first device that has a friendly name and whose
// display name is longer than prefix and starts with it (case ignored); -1
// when there is none. Devices without a friendly name still count.
int FindCameraPosition(const std::vector<platform::VideoInputDevice>& devices,
                       std::string_view prefix);

// The device back end of this process (platform::Devices()).
platform::DeviceProvider& Provider();

// The camera matching prefix, from a fresh enumeration.
bool FindCamera(platform::DeviceProvider& provider, std::string_view prefix,
                platform::VideoInputDevice* camera);

// 0 when event (with header) is the arrival of a working camera node or the
// removal of a camera whose instance id starts like device_id; -1 otherwise.
// An arrival of the camera first waits (platform::Sleep, in steps of 50 ms)
// until the camera's video node is listed and opens, at most 5000 ms; -1
// when CancelSettleWaits ends that wait.
int JudgeDeviceChange(platform::DeviceProvider& provider, std::string_view device_id,
                      uint32_t event, const DEV_BROADCAST_HDR* header);

// Any thread: every arrival's wait running now ends at its next step. Waits
// that begin afterwards run as usual.
void CancelSettleWaits();

} // namespace corvane
