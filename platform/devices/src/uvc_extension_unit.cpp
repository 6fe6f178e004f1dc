#include "uvc_extension_unit.h"

#include <linux/uvcvideo.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {
namespace {

class UvcTransport final : public ExtensionUnitTransport {
public:
    explicit UvcTransport(int fd) : fd_(fd) {}
    ~UvcTransport() override { ::close(fd_); }
    UvcTransport(const UvcTransport&) = delete;
    UvcTransport& operator=(const UvcTransport&) = delete;

    int Query(uint8_t unit, uint8_t selector, uint8_t query, std::span<uint8_t> data) override {
        if (data.size() > UINT16_MAX) {
            return -EINVAL;
        }
        uvc_xu_control_query request{};
        request.unit = unit;
        request.selector = selector;
        request.query = query;
        request.size = static_cast<__u16>(data.size());
        request.data = data.data();
        int result = 0;
        do {
            result = ::ioctl(fd_, UVCIOC_CTRL_QUERY, &request);
        } while (result < 0 && errno == EINTR);
        return result < 0 ? -errno : 0;
    }

private:
    const int fd_;
};

} // namespace

int CheckUvcNodeOpens(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    return 0;
}

std::unique_ptr<ExtensionUnitTransport> OpenUvcExtensionUnit(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<UvcTransport>(fd);
}

} // namespace platform
