#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// The device descriptor followed by the configuration descriptor and all it
// holds, as a host reads them.
std::vector<uint8_t> RvxDescriptors();

} // namespace sim
