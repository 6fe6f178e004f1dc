#include "capture/GalleryList.h"
#include "capture/ThumbnailCache.h"
#include "testsupport/temp_folder.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> MakeJpeg(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 7 / 3);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, pixels.data(), width, width * 4, height, TJPF_BGRX, &out, &size, TJSAMP_420, 85,
                0);
    std::vector<uint8_t> jpeg(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void SetAge(const std::string& path, int seconds_ago) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(seconds_ago));
}

} // namespace

TEST(Thumbnail, DecodesAtTheSmallestScaleThatCoversTheBoxAndBreaksOnBadBytes) {
    const std::vector<uint8_t> jpeg = MakeJpeg(1920, 1080);
    std::vector<uint8_t> cut_late(jpeg.begin(),
                                  jpeg.begin() + static_cast<long>(jpeg.size() * 3 / 4));
    std::vector<uint8_t> cut_in_header(jpeg.begin(), jpeg.begin() + 20);
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
    struct Case {
        const char* name;
        const std::vector<uint8_t>* bytes;
        int box_w, box_h;
        int width, height; // 0 x 0: broken
    } cases[] = {
        {"thumbnail box", &jpeg, 160, 120, 240, 135},
        {"a wider box needs 1/4", &jpeg, 400, 120, 480, 270},
        {"no box: whole", &jpeg, 0, 0, 1920, 1080},
        {"box larger than the picture", &jpeg, 4000, 3000, 1920, 1080},
        {"cut late: what was decoded", &cut_late, 160, 120, 240, 135},
        {"cut in the header", &cut_in_header, 160, 120, 0, 0},
        {"a PNG", &png, 160, 120, 0, 0},
        {"text", &text, 160, 120, 0, 0},
    };
    for (const Case& c : cases) {
        const thumbnail::Picture p =
            thumbnail::DecodeJpeg(c.bytes->data(), c.bytes->size(), c.box_w, c.box_h);
        EXPECT_EQ(p.width, c.width) << c.name;
        EXPECT_EQ(p.height, c.height) << c.name;
        EXPECT_EQ(p.bgrx.size(), static_cast<size_t>(c.width) * c.height * 4) << c.name;
    }
    EXPECT_TRUE(thumbnail::DecodeFile("/nonexistent/x.jpg", 160, 120).Broken());
}

// Steps of Get with a decoder that names each picture by its path's length:
// what the cache holds afterwards, shown longest ago last.
TEST(ThumbnailCache, KeepsTheMostRecentlyShownAndDropsTheOldest) {
    ThumbnailCache cache(
        [](const std::string& path) {
            thumbnail::Picture p;
            p.width = static_cast<int>(path.size());
            p.height = 1;
            return p;
        },
        3);
    const auto show = [&](const std::string& path) {
        EXPECT_TRUE(testsupport::WaitUntil([&] { return cache.Get(path) != nullptr; })) << path;
    };
    struct Step {
        const char* show;
        std::vector<const char*> kept;
        std::vector<const char*> gone;
    } steps[] = {
        {"a", {"a"}, {}},
        {"bb", {"a", "bb"}, {}},
        {"ccc", {"a", "bb", "ccc"}, {}},
        {"a", {"a", "bb", "ccc"}, {}}, // a shown again: now the newest
        {"dddd", {"a", "ccc", "dddd"}, {"bb"}},
        {"eeeee", {"a", "dddd", "eeeee"}, {"ccc"}},
    };
    for (const Step& step : steps) {
        show(step.show);
        EXPECT_EQ(cache.Size(), step.kept.size()) << step.show;
        for (const char* kept : step.kept)
            EXPECT_TRUE(cache.Holds(kept)) << step.show << " " << kept;
        for (const char* gone : step.gone)
            EXPECT_FALSE(cache.Holds(gone)) << step.show << " " << gone;
    }
    EXPECT_EQ(cache.Get("a")->width, 1);
}

TEST(ThumbnailCache, MakesTheLastAskedFirstAndDropsForgottenWork) {
    std::mutex gate;
    gate.lock();
    std::mutex order_lock;
    std::vector<std::string> order;
    std::atomic<int> notified{0};
    {
        ThumbnailCache cache(
            [&](const std::string& path) {
                if (path == "first") {
                    gate.lock(); // held until the others are asked
                    gate.unlock();
                }
                std::lock_guard<std::mutex> guard(order_lock);
                order.push_back(path);
                return thumbnail::Picture{};
            },
            10);
        cache.SetNotifier([&](const std::string&) { ++notified; });
        EXPECT_EQ(cache.Get("first"), nullptr);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return cache.Waiting() == 0; }));
        for (const char* path : {"old", "middle", "new"})
            EXPECT_EQ(cache.Get(path), nullptr);
        cache.Forget("first");  // being decoded: its result is dropped
        cache.Forget("middle"); // only asked: never decoded
        gate.unlock();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return notified.load() == 2; }));
        EXPECT_EQ(cache.Size(), 2u);
        ASSERT_NE(cache.Get("old"), nullptr);
        EXPECT_TRUE(cache.Get("old")->Broken());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"first", "new", "old"}));
}

TEST(GalleryList, SnapshotsFirstThenTheFolderNewestFirst) {
    testsupport::TempFolder folder("gallery");
    const std::vector<uint8_t> jpeg = MakeJpeg(16, 16);
    struct File {
        const char* name;
        int age_s;
    } files[] = {
        {"old.jpg", 300}, {"new.JPG", 10}, {"middle.jpeg", 100}, {"notes.txt", 1}, {"snap.jpg", 5}};
    for (const File& f : files) {
        WriteBytes(folder.File(f.name), jpeg);
        SetAge(folder.File(f.name), f.age_s);
    }
    fs::create_directory(folder.Path() / "inner.jpg"); // a folder is no picture

    GalleryList list;
    const auto names = [&] {
        std::vector<std::string> out;
        for (const gallery::Entry& e : list.Entries())
            out.push_back(fs::path(e.path).filename().string() + (e.snapshot ? "*" : ""));
        return out;
    };
    struct Step {
        const char* action;
        std::string path;
        std::vector<std::string> shown;
    } steps[] = {
        {"folder", folder.Path().string(), {"snap.jpg", "new.JPG", "middle.jpeg", "old.jpg"}},
        // Taken now, it is already in the folder: shown once, first.
        {"snapshot", folder.File("snap.jpg"), {"snap.jpg*", "new.JPG", "middle.jpeg", "old.jpg"}},
        // A snapshot leads even when its file is older.
        {"snapshot", folder.File("old.jpg"), {"old.jpg*", "snap.jpg*", "new.JPG", "middle.jpeg"}},
        {"remove", folder.File("snap.jpg"), {"old.jpg*", "new.JPG", "middle.jpeg"}},
        {"folder", (folder.Path() / "missing").string(), {"old.jpg*"}},
    };
    for (const Step& step : steps) {
        if (std::string(step.action) == "folder")
            list.SetFolder(step.path);
        else if (std::string(step.action) == "snapshot")
            list.AddSnapshot(step.path);
        else
            list.Remove(step.path);
        EXPECT_EQ(names(), step.shown) << step.action << " " << step.path;
    }
}

TEST(GalleryList, ChosenPicturesComeOldestFirstAndLeaveWithTheirFile) {
    testsupport::TempFolder folder("gallery");
    const std::vector<uint8_t> jpeg = MakeJpeg(16, 16);
    for (const auto& [name, age] : {std::pair{"a.jpg", 30}, {"b.jpg", 20}, {"c.jpg", 10}}) {
        WriteBytes(folder.File(name), jpeg);
        SetAge(folder.File(name), age);
    }
    GalleryList list;
    list.SetFolder(folder.Path().string());
    EXPECT_TRUE(list.ChosenInTimeOrder().empty());
    list.SetChosen({folder.File("c.jpg"), folder.File("a.jpg"), folder.File("elsewhere.jpg")});
    EXPECT_EQ(list.ChosenInTimeOrder(),
              (std::vector<std::string>{folder.File("a.jpg"), folder.File("c.jpg")}));
    list.Remove(folder.File("a.jpg"));
    EXPECT_EQ(list.ChosenInTimeOrder(), (std::vector<std::string>{folder.File("c.jpg")}));
}
