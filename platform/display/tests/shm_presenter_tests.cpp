#include "platform/shm_presenter.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

// An X server of the test's own, and a window on it.
class ShmPresenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Xvfb claims a display number by its lock file; -displayfd takes
        // none, so servers of tests running side by side could share one.
        // Numbers from a random place in a wide range, as with-display does.
        std::mt19937 random(static_cast<unsigned>(getpid()) * 2654435761u);
        for (int attempt = 0; attempt < 20 && connection_ == nullptr; ++attempt)
            StartServer(static_cast<int>(2000 + random() % 30000));
        if (connection_ == nullptr)
            FAIL() << "no Xvfb server started (scripts/install-deps installs it)";
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 200, 120,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection_, window_);
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        std::string why;
        presenter_ = platform::ShmPresenter::Open(display_.c_str(), window_, &why);
        ASSERT_TRUE(presenter_) << why;
    }

    // Starts Xvfb on display number; keeps it (and a connection to it)
    // once its lock file names it and it answers.
    void StartServer(int number) {
        display_ = ":" + std::to_string(number);
        const pid_t child = fork();
        if (child == 0) {
            execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", "320x240x24", "-nolisten",
                   "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (child < 0)
            return;
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        for (int i = 0; i < 100; ++i) {
            if (waitpid(child, nullptr, WNOHANG) != 0)
                return; // ended: the number is another server's
            std::ifstream file(lock);
            pid_t owner = 0;
            if (file >> owner && owner == child) {
                xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
                if (!xcb_connection_has_error(c)) {
                    server_ = child;
                    connection_ = c;
                    return;
                }
                xcb_disconnect(c);
            }
            usleep(50 * 1000);
        }
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }

    void TearDown() override {
        presenter_.reset();
        if (connection_ != nullptr)
            xcb_disconnect(connection_);
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
    }

    // The window's pixels, B, G, R (the fourth byte is not kept).
    std::vector<uint32_t> Read(int x, int y, int width, int height) {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, static_cast<int16_t>(x),
                          static_cast<int16_t>(y), static_cast<uint16_t>(width),
                          static_cast<uint16_t>(height), ~0u),
            nullptr);
        std::vector<uint32_t> pixels;
        if (reply != nullptr) {
            const auto* data = reinterpret_cast<const uint32_t*>(xcb_get_image_data(reply));
            pixels.assign(data, data + xcb_get_image_data_length(reply) / 4);
            for (uint32_t& p : pixels)
                p &= 0xFFFFFFu;
            free(reply);
        }
        return pixels;
    }

    pid_t server_ = -1;
    std::string display_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
    std::unique_ptr<platform::ShmPresenter> presenter_;
};

// A picture in an anonymous file, its pixels offset bytes in, each pixel
// its own colour (At; seed keeps pictures apart).
struct Block {
    Block(int w, int h, int s, size_t o, uint32_t seed_)
        : width(w), height(h), stride(s), offset(o), seed(seed_),
          size(o + static_cast<size_t>(s) * h), fd(memfd_create("test-block", MFD_CLOEXEC)) {
        EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
        for (int y = 0; y < height; ++y) {
            std::vector<uint32_t> row(static_cast<size_t>(width));
            for (int x = 0; x < width; ++x)
                row[static_cast<size_t>(x)] = 0xAB000000u | At(x, y);
            EXPECT_EQ(
                pwrite(fd, row.data(), row.size() * 4, static_cast<off_t>(offset + y * stride)),
                static_cast<ssize_t>(row.size() * 4));
        }
    }
    ~Block() { close(fd); }
    uint32_t At(int x, int y) const {
        return (seed * 0x9E3779B1u + y * 977u + x * 131u) & 0xFFFFFFu;
    }
    platform::ShmPicture Picture(uint64_t id) const {
        return {fd, offset, size, id, width, height, stride};
    }
    const int width, height, stride;
    const size_t offset;
    const uint32_t seed;
    const size_t size;
    const int fd;
};

TEST_F(ShmPresenterTest, PutShowsThePartAskedForAndKeepsItsOwnerUntilRead) {
    // Rows longer than the picture, and pixels that start past a page.
    const Block block(64, 48, 70 * 4, 4096 + 64, 7);
    auto owner = std::make_shared<int>(1);
    const std::weak_ptr<int> watch = owner;
    ASSERT_TRUE(presenter_->Put(block.Picture(1), {4, 2, 40, 30}, 10, 20, std::move(owner)));
    presenter_->Sync();
    EXPECT_TRUE(watch.expired());
    const std::vector<uint32_t> shown = Read(10, 20, 40, 30);
    ASSERT_EQ(shown.size(), 40u * 30u);
    int wrong = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            wrong += shown[static_cast<size_t>(y) * 40 + x] != block.At(x + 4, y + 2);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(presenter_->Usable());
}

TEST_F(ShmPresenterTest, BlocksBeyondTheAttachedFewStillShowTheirOwnPixels) {
    // More blocks than stay attached, each put twice, as a pool hands them
    // out again: a stale attachment would show another block's pixels.
    std::vector<std::unique_ptr<Block>> blocks;
    for (uint32_t i = 0; i < 12; ++i)
        blocks.push_back(std::make_unique<Block>(16, 16, 64, 0, i + 1));
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < blocks.size(); ++i) {
            ASSERT_TRUE(
                presenter_->Put(blocks[i]->Picture(100 + i), {0, 0, 16, 16}, 0, 0, nullptr));
            presenter_->Sync();
            const std::vector<uint32_t> shown = Read(0, 0, 16, 16);
            ASSERT_EQ(shown.size(), 256u);
            EXPECT_EQ(shown[17], blocks[i]->At(1, 1)) << "block " << i << " round " << round;
        }
    }
    EXPECT_TRUE(presenter_->Usable());
}

TEST_F(ShmPresenterTest, RefusesPicturesThatDoNotFitTheirBlockAndStaysUsable) {
    const Block block(16, 16, 64, 0, 3);
    struct Case {
        const char* what;
        platform::ShmPicture picture;
        platform::ShmRect source;
    };
    const platform::ShmPicture good = block.Picture(9);
    auto with = [&](auto change) {
        platform::ShmPicture p = good;
        change(p);
        return p;
    };
    const Case cases[] = {
        {"no file", with([](auto& p) { p.fd = -1; }), {0, 0, 16, 16}},
        {"stride not whole pixels", with([](auto& p) { p.stride = 62; }), {0, 0, 16, 16}},
        {"stride shorter than a row", with([](auto& p) { p.stride = 60; }), {0, 0, 16, 16}},
        {"rows past the file", with([](auto& p) { p.offset = 64; }), {0, 0, 16, 16}},
        {"source outside", good, {8, 8, 9, 8}},
        {"negative source", good, {-1, 0, 4, 4}},
    };
    for (const Case& c : cases) {
        auto owner = std::make_shared<int>(0);
        EXPECT_FALSE(presenter_->Put(c.picture, c.source, 0, 0, owner)) << c.what;
        EXPECT_EQ(owner.use_count(), 1) << c.what;
    }
    EXPECT_TRUE(presenter_->Put(good, {0, 0, 16, 16}, 0, 0, nullptr));
    presenter_->Sync();
    EXPECT_TRUE(presenter_->Usable());
}

TEST_F(ShmPresenterTest, OpenRefusesWhatItCannotShowIn) {
    std::string why;
    EXPECT_FALSE(platform::ShmPresenter::Open(display_.c_str(), 0x7FFFFFF, &why));
    EXPECT_FALSE(why.empty());
    why.clear();
    EXPECT_FALSE(platform::ShmPresenter::Open(":32767", window_, &why));
    EXPECT_FALSE(why.empty());
}

} // namespace
