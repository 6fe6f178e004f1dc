#include "annotation/FrameOverlay.h"
#include "capture/ShownPicture.h"
#include "page/PageMode.h"
#include "share/FrameMailbox.h"
#include "share/InkLayer.h"
#include "share/ShareFeed.h"
#include "share/ShareServer.h"
#include "share/ShareSession.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>
#include <png.h>
#include <turbojpeg.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using testsupport::WaitUntil;

// A plain TCP client of 127.0.0.1 from an address of 127/8 (by default
// 127.0.0.1): every test's traffic stays on the loopback, bounded in count
// and time.
class Client {
public:
    explicit Client(uint16_t port, uint32_t from = INADDR_LOOPBACK) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = htonl(from);
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }
    bool Send(const std::string& bytes) {
        return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Reads what comes within timeout_ms; false once the server closed.
    bool Read(int timeout_ms = 50) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0)
            return true;
        char buffer[65536];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        received_.append(buffer, static_cast<size_t>(n));
        return true;
    }
    // Reads until text arrived (true) or the server closed or the bound passed.
    bool ReadUntil(const std::string& text) {
        return WaitUntil([&] { return received_.find(text) != std::string::npos || !Read(); });
    }
    bool ReadUntilClosed() {
        return WaitUntil([&] { return !Read(); });
    }
    const std::string& Received() const { return received_; }
    void Clear() { received_.clear(); }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string received_;
};

std::string Get(const std::string& url) {
    return "GET " + url + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// The status line's code of the reply, 0 before one came.
int Status(const std::string& reply) {
    if (reply.rfind("HTTP/1.1 ", 0) != 0 || reply.size() < 12)
        return 0;
    return std::stoi(reply.substr(9, 3));
}

class ShareServerTest : public ::testing::Test {
protected:
    void StartServer(share::ServerOptions options = {}) {
        options.bind_address = "127.0.0.1";
        std::string error;
        ASSERT_TRUE(server_.Start(options, &error)) << error;
        ASSERT_NE(server_.Port(), 0);
    }
    std::string Path(const std::string& rest) const { return "/" + server_.Token() + rest; }
    void Publish(const std::string& picture) {
        frames_.Publish(reinterpret_cast<const uint8_t*>(picture.data()), picture.size());
    }

    share::FrameMailbox frames_;
    share::ShareServer server_{&frames_};
};

TEST_F(ShareServerTest, WithoutTheTokenTheAnswerIs403AndNothingElse) {
    StartServer();
    for (const std::string& url : {std::string("/"), std::string("/stream.mjpg"),
                                   "/" + std::string(32, '0') + "/stream.mjpg"}) {
        Client client(server_.Port());
        ASSERT_TRUE(client.Send(Get(url)));
        client.ReadUntil("\r\n\r\n");
        EXPECT_EQ(Status(client.Received()), 403) << url;
        EXPECT_NE(client.Received().find("Content-Length: 0\r\n"), std::string::npos);
    }
    Client page(server_.Port());
    ASSERT_TRUE(page.Send(Get(Path("/"))));
    ASSERT_TRUE(page.ReadUntil("</html>"));
    EXPECT_EQ(Status(page.Received()), 200);
    EXPECT_NE(page.Received().find(Path("/stream.mjpg")), std::string::npos);

    Client post(server_.Port());
    ASSERT_TRUE(post.Send("POST " + Path("/") + " HTTP/1.1\r\nContent-Length: 0\r\n\r\n"));
    post.ReadUntil("\r\n\r\n");
    EXPECT_EQ(Status(post.Received()), 405);
}

TEST_F(ShareServerTest, TheSixtyFirstViewerGets503AndStopClosesEveryStream) {
    StartServer();
    Publish("first picture");
    std::vector<std::unique_ptr<Client>> viewers;
    for (int i = 0; i < 60; ++i) {
        // Four machines, each within its share of the connections.
        viewers.push_back(std::make_unique<Client>(server_.Port(), INADDR_LOOPBACK + i % 4));
        ASSERT_TRUE(viewers.back()->Send(Get(Path("/stream.mjpg"))));
    }
    ASSERT_TRUE(WaitUntil([&] { return server_.Viewers() == 60; }));
    Client late(server_.Port(), INADDR_LOOPBACK + 4);
    ASSERT_TRUE(late.Send(Get(Path("/stream.mjpg"))));
    late.ReadUntil("\r\n\r\n");
    EXPECT_EQ(Status(late.Received()), 503);

    // Each stream has the picture, in a part of its own right after the head:
    // no chunks around it.
    for (auto& viewer : viewers) {
        ASSERT_TRUE(viewer->ReadUntil("first picture\r\n"));
        EXPECT_NE(viewer->Received().find("multipart/x-mixed-replace; boundary=tovekframe"),
                  std::string::npos);
        EXPECT_NE(
            viewer->Received().find("\r\n\r\n--tovekframe\r\nContent-Type: image/jpeg\r\n"
                                    "Content-Length: 13\r\nX-Frame: 1\r\n\r\nfirst picture\r\n"),
            std::string::npos);
    }
    const uint16_t port = server_.Port();
    server_.Stop();
    for (auto& viewer : viewers)
        EXPECT_TRUE(viewer->ReadUntilClosed());
    EXPECT_EQ(server_.Viewers(), 0);
    // Nothing listens while sharing is off.
    EXPECT_FALSE(Client(port).Connected());
}

TEST_F(ShareServerTest, OneAddressHoldsNoMoreThanItsShareOfConnections) {
    share::ServerOptions options;
    options.address_limit = 3;
    StartServer(options);
    Publish("picture");
    std::vector<std::unique_ptr<Client>> own;
    for (int i = 0; i < 3; ++i) {
        own.push_back(std::make_unique<Client>(server_.Port()));
        ASSERT_TRUE(own.back()->Send(Get(Path("/stream.mjpg"))));
    }
    ASSERT_TRUE(WaitUntil([&] { return server_.Viewers() == 3; }));
    Client greedy(server_.Port());
    greedy.Send(Get(Path("/stream.mjpg")));
    EXPECT_TRUE(greedy.ReadUntilClosed());
    EXPECT_EQ(greedy.Received(), "") << "closed unanswered";
    Client other(server_.Port(), INADDR_LOOPBACK + 1);
    ASSERT_TRUE(other.Send(Get(Path("/stream.mjpg"))));
    EXPECT_TRUE(other.ReadUntil("picture\r\n"));
    EXPECT_EQ(server_.Viewers(), 4);
}

TEST_F(ShareServerTest, AStreamOpenedBeforeThePictureWaitsForIt) {
    share::ServerOptions options;
    options.repeat_ms = 1; // asks the box again and again while it is empty
    StartServer(options);
    Client viewer(server_.Port());
    ASSERT_TRUE(viewer.Send(Get(Path("/stream.mjpg"))));
    ASSERT_TRUE(WaitUntil([&] { return server_.Viewers() == 1; }));
    ASSERT_TRUE(viewer.ReadUntil("\r\n\r\n"));
    Publish("late picture");
    EXPECT_TRUE(viewer.ReadUntil("late picture\r\n"));
}

TEST_F(ShareServerTest, OversizeHeadersAreRefused) {
    StartServer();
    Client client(server_.Port());
    const std::string huge = "GET " + Path("/") + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: " +
                             std::string(40000, 'x') + "\r\n\r\n";
    client.Send(huge);
    client.ReadUntilClosed();
    EXPECT_EQ(Status(client.Received()), 431);
    EXPECT_EQ(client.Received().find("stream.mjpg"), std::string::npos);
}

TEST_F(ShareServerTest, HalfOpenConnectionsAreClosedAfterTheTimeoutWhileTheStreamPlays) {
    share::ServerOptions options;
    options.timeout_s = 1;
    options.connection_limit = 160;
    StartServer(options);
    Publish("picture 0");
    Client viewer(server_.Port());
    ASSERT_TRUE(viewer.Send(Get(Path("/stream.mjpg"))));
    ASSERT_TRUE(viewer.ReadUntil("picture 0\r\n"));

    std::vector<std::unique_ptr<Client>> stalled;
    for (int i = 0; i < 100; ++i) {
        stalled.push_back(std::make_unique<Client>(server_.Port()));
        ASSERT_TRUE(stalled.back()->Connected());
        stalled.back()->Send("GET /" + server_.Token().substr(0, i % 30));
    }
    // The viewer gets each new picture while they wait.
    for (int i = 1; i <= 5; ++i) {
        const std::string picture = "picture " + std::to_string(i);
        Publish(picture);
        ASSERT_TRUE(viewer.ReadUntil(picture + "\r\n")) << picture;
    }
    for (auto& client : stalled)
        EXPECT_TRUE(client->ReadUntilClosed());
    EXPECT_EQ(server_.Viewers(), 1);
}

std::vector<uint8_t> GreyJpeg(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3, 128);
    tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(compressor, pixels.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 85,
                0);
    std::vector<uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(compressor);
    return bytes;
}

TEST(ShareSession, EncodesOnlyWhileSomeoneWatchesAndHandsOnTheNewestPicture) {
    share::ShareSession session(nullptr, nullptr);
    share::ServerOptions options;
    options.bind_address = "127.0.0.1";
    std::string error;
    ASSERT_TRUE(session.Start(options, &error)) << error;
    const std::vector<uint8_t> jpeg = GreyJpeg(64, 48);
    session.OnFrame(jpeg.data(), jpeg.size());
    EXPECT_EQ(session.Frames().Published(), 0u);

    Client viewer(session.Server().Port());
    ASSERT_TRUE(viewer.Send(Get("/" + session.Server().Token() + "/stream.mjpg")));
    ASSERT_TRUE(WaitUntil([&] { return session.Viewers() == 1; }));
    // Upright and nothing drawn: the camera's own bytes go out.
    session.OnFrame(jpeg.data(), jpeg.size());
    const std::string bytes(jpeg.begin(), jpeg.end());
    ASSERT_TRUE(viewer.ReadUntil(bytes + "\r\n"));
    EXPECT_EQ(session.Encoded(), 1u);
    session.Stop();
    EXPECT_TRUE(viewer.ReadUntilClosed());
}

TEST(ShareFeed, AFrameNotYetTakenIsReplacedNotQueued) {
    share::FrameMailbox box;
    const std::vector<uint8_t> small = GreyJpeg(32, 16);
    const std::vector<uint8_t> large = GreyJpeg(64, 48);
    {
        share::ShareFeed feed(nullptr, nullptr, &box);
        for (int i = 0; i < 200; ++i)
            feed.Offer(small.data(), small.size());
        feed.Offer(large.data(), large.size());
        ASSERT_TRUE(WaitUntil([&] {
            const share::FrameMailbox::Frame newest = box.Newest();
            return newest && *newest == large;
        }));
        // Every offer was either encoded once or dropped: none waits behind.
        EXPECT_TRUE(WaitUntil([&] { return feed.Encoded() + feed.Dropped() == 201; }));
    }
}

} // namespace

namespace {

// The size a JPEG's header gives.
std::pair<int, int> JpegSize(const share::FrameMailbox::Frame& jpeg) {
    tjhandle decompressor = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    tjDecompressHeader3(decompressor, jpeg->data(), static_cast<unsigned long>(jpeg->size()),
                        &width, &height, &subsampling, &colorspace);
    tjDestroy(decompressor);
    return {width, height};
}

TEST(ShareFeed, TheSharedPictureFollowsTheTurnAndHoldsWhileFrozen) {
    share::FrameMailbox box;
    ShownPicture shown;
    const std::vector<uint8_t> jpeg = GreyJpeg(64, 48);
    share::ShareFeed feed(nullptr, &shown, &box);
    // Each turn given while sharing runs, as the user turns the picture.
    const std::pair<int, int> sizes[] = {{64, 48}, {48, 64}, {64, 48}, {48, 64}};
    for (int turns = 0; turns < 4; ++turns) {
        shown.SetQuarterTurns(turns);
        const uint64_t before = box.Published();
        feed.Offer(jpeg.data(), jpeg.size());
        ASSERT_TRUE(WaitUntil([&] { return box.Published() > before; })) << turns;
        EXPECT_EQ(JpegSize(box.Newest()), sizes[turns]) << turns;
    }
    // Frozen: the class keeps the picture it saw.
    shown.Freeze();
    const uint64_t published = box.Published();
    feed.Offer(jpeg.data(), jpeg.size());
    ASSERT_TRUE(WaitUntil([&] { return feed.Held() == 1; }));
    EXPECT_EQ(box.Published(), published);
    shown.Unfreeze();
    feed.Offer(jpeg.data(), jpeg.size());
    EXPECT_TRUE(WaitUntil([&] { return box.Published() == published + 1; }));
}

} // namespace

// ---- the two layers: the camera's bytes with the ink beside them as PNG ----

namespace {

// Alpha of the pixel (x, y) of a picture shrunk by shrink in a PNG; -1 when
// it is no PNG of that size.
int PngAlpha(const std::vector<uint8_t>* png, int x, int y, int shrink = 1) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png == nullptr || !png_image_begin_read_from_memory(&image, png->data(), png->size()))
        return -1;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    const bool sized =
        image.width == (64u + shrink - 1) / shrink && image.height == (48u + shrink - 1) / shrink;
    if (!sized || !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return -1;
    }
    return pixels[(static_cast<size_t>(y / shrink) * image.width + x / shrink) * 4 + 3];
}

// Ink of one pixel at (x, y) of a 64 x 48 overlay; fourth: its fourth byte.
void Put(uint8_t* overlay, int x, int y, uint8_t fourth) {
    uint8_t* p = overlay + (static_cast<size_t>(y) * 64 + x) * 4;
    p[0] = 0, p[1] = 0, p[2] = 0xFF, p[3] = fourth;
}

TEST(ShareLayers, PageModeSharesThePageAsShownNotTheCameraBytes) {
    ShownPicture shown;
    page::PageMode page;
    share::FrameMailbox pictures;
    share::FrameMailbox layers;
    share::ShareFeed feed(nullptr, &shown, &pictures, &layers, &page);
    const std::vector<uint8_t> jpeg = GreyJpeg(64, 48);
    const auto offer_until = [&](auto done) {
        feed.Offer(jpeg.data(), jpeg.size());
        return WaitUntil(done);
    };
    ASSERT_TRUE(offer_until([&] { return feed.Passed() == 1; }));
    // The document filter makes a picture of its own: the class sees it.
    page.SetFilter(true, true);
    ASSERT_TRUE(offer_until([&] { return feed.Encoded() == 1; }));
    EXPECT_EQ(feed.Passed(), 1u);
    page.SetFilter(false, false);
    ASSERT_TRUE(offer_until([&] { return feed.Passed() == 2; }));
    EXPECT_EQ(*pictures.Newest(), jpeg);
}

TEST(ShareLayers, AShrunkLayerKeepsThinInkWhereItIs) {
    std::vector<uint8_t> overlay(64 * 48 * 4, kTransparentByte);
    Put(overlay.data(), 63, 47, 0xFF);
    Put(overlay.data(), 1, 1, kMultiplyByte); // a highlighter: half transparent
    for (int shrink = 1; shrink <= 3; ++shrink) {
        std::vector<uint8_t> png;
        ASSERT_TRUE(share::InkToPng(overlay.data(), nullptr, 64, 48, shrink, &png));
        EXPECT_EQ(PngAlpha(&png, 63, 47, shrink), 255) << shrink;
        EXPECT_EQ(PngAlpha(&png, 1, 1, shrink), 128) << shrink;
        EXPECT_EQ(PngAlpha(&png, 30, 20, shrink), 0) << shrink;
    }
    std::vector<uint8_t> png;
    EXPECT_FALSE(share::InkToPng(overlay.data(), nullptr, 1 << 20, 1 << 20, 1, &png));
    EXPECT_TRUE(png.empty());
}

TEST(ShareLayers, LiveUprightSendsTheCameraBytesAndTheInkOnlyWhenItChanges) {
    OverlayWorker overlay;
    ShownPicture shown;
    share::FrameMailbox pictures;
    share::FrameMailbox layers;
    share::ShareFeed feed(&overlay, &shown, &pictures, &layers);
    const std::vector<uint8_t> jpeg = GreyJpeg(64, 48);
    const auto offer_until = [&](auto done) {
        feed.Offer(jpeg.data(), jpeg.size());
        return WaitUntil(done);
    };
    const auto ink = [&] { return PngAlpha(layers.Newest().get(), 15, 10); };

    // Nothing drawn: the camera's bytes, one empty layer, then no more.
    for (uint64_t frame = 1; frame <= 3; ++frame)
        ASSERT_TRUE(offer_until([&] { return feed.Passed() == frame; })) << frame;
    EXPECT_EQ(*pictures.Newest(), jpeg);
    EXPECT_EQ(layers.Published(), 1u);
    EXPECT_EQ(ink(), 0);

    // A square drawn: a layer with its ink, once; the picture the camera's.
    overlay.SetExtentRenderer([](uint8_t* pixels, size_t size, OverlayExtent* extent) {
        std::memset(pixels, kTransparentByte, size);
        for (int i = 0; i < 100; ++i)
            Put(pixels, 10 + i % 10, 5 + i / 10, 0xFF);
        ScanOverlayExtent(pixels, 64, 48, 0, 0, 64, 48, extent);
        return true;
    });
    overlay.SetPlaying(true);
    overlay.RequestRedraw();
    overlay.Turn();
    ASSERT_TRUE(offer_until([&] { return layers.Published() == 2; }));
    EXPECT_EQ(ink(), 255);
    ASSERT_TRUE(offer_until([&] { return feed.Passed() == 5; }));
    EXPECT_EQ(*pictures.Newest(), jpeg);
    EXPECT_EQ(layers.Published(), 2u) << "the same drawing is not sent again";

    // Frozen, then turned: the picture as shown, the layer empty; frozen,
    // sent once while the drawing stays.
    for (const bool frozen : {true, false}) {
        frozen ? shown.Freeze() : shown.Unfreeze();
        shown.SetQuarterTurns(frozen ? 0 : 1);
        const uint64_t encoded = feed.Encoded();
        ASSERT_TRUE(offer_until([&] { return feed.Encoded() == encoded + 1; })) << frozen;
        EXPECT_NE(*pictures.Newest(), jpeg);
        EXPECT_TRUE(WaitUntil([&] { return ink() == 0; })) << frozen; // after the picture
        if (frozen) {
            ASSERT_TRUE(offer_until([&] { return feed.Held() == 1; }));
        }
    }

    // Live and upright again: the camera's bytes and the ink's layer.
    shown.SetQuarterTurns(0);
    ASSERT_TRUE(offer_until([&] { return feed.Passed() == 6; }));
    EXPECT_EQ(*pictures.Newest(), jpeg);
    EXPECT_EQ(ink(), 255);
}

} // namespace
