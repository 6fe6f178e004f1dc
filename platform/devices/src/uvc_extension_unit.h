// A real camera's extension units through its V4L2 capture node.
#pragma once

#include "platform/extension_unit.h"

#include <memory>
#include <string>

namespace platform {

// Opens node (/dev/videoN) for UVCIOC_CTRL_QUERY; null when it cannot be
// opened. A node that is no UVC camera opens, and refuses every query.
std::unique_ptr<ExtensionUnitTransport> OpenUvcExtensionUnit(const std::string& node);

// 0 when node opens for reading and writing, else open(2)'s errno.
int CheckUvcNodeOpens(const std::string& node);

} // namespace platform
