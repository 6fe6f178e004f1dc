#include "platform/install_layout.h"
#include "testsupport/scoped_env.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace platform;
namespace fs = std::filesystem;

namespace {

using testsupport::ScopedEnv;

// A throw-away tree with a home folder and room for program folders.
class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(root_ / "home"); }
    std::string Path(const std::string& rel) const { return (root_ / rel).string(); }
    void Touch(const std::string& rel) const {
        fs::create_directories((root_ / rel).parent_path());
        std::ofstream(root_ / rel) << "[Device]\n";
    }

    const testsupport::TempFolder folder_{"tovek_layout"};
    const fs::path root_ = folder_.Path();
    const ScopedEnv home_{"HOME", (root_ / "home").string()};
    const ScopedEnv config_{"XDG_CONFIG_HOME", (root_ / "home" / "cfg").string()};
};

struct LayoutCase {
    const char* name;
    const char* exe;                  // below the tree
    std::vector<const char*> markers; // DocumentDevice.ini files below the tree
    bool writable;
    bool installed;
    const char* data; // expected data folder below the tree
};

TEST_F(LayoutTest, DecidesBuildOrInstalledFromWhereTheDataLies) {
    const LayoutCase cases[] = {
        {"build folder",
         "build/bin/TovekCamera",
         {"build/bin/DocumentDevice.ini"},
         true,
         false,
         "build/bin/"},
        {"installed prefix",
         "usr/bin/TovekCamera",
         {"usr/share/tovekcamera/DocumentDevice.ini"},
         true,
         true,
         "usr/share/tovekcamera/"},
        {"read-only copy of a build",
         "ro/TovekCamera",
         {"ro/DocumentDevice.ini"},
         false,
         true,
         "ro/"},
        {"data beside wins over share",
         "p/bin/TovekCamera",
         {"p/bin/DocumentDevice.ini", "p/share/tovekcamera/DocumentDevice.ini"},
         true,
         false,
         "p/bin/"},
        {"no data anywhere, writable", "t/bin/TovekCamera", {}, true, false, "t/bin/"},
        {"no data anywhere, read-only", "u/bin/TovekCamera", {}, false, true, "u/bin/"},
        {"share folder only counts under bin",
         "q/TovekCamera",
         {"share/tovekcamera/DocumentDevice.ini"},
         true,
         false,
         "q/"},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* marker : c.markers)
            Touch(marker);
        const InstallLayout l = DecideInstallLayout(Path(c.exe), "TovekCamera", c.writable);
        const std::string program = fs::path(Path(c.exe)).parent_path().string() + "/";
        EXPECT_EQ(l.installed, c.installed);
        EXPECT_EQ(l.program_folder, program);
        EXPECT_EQ(l.data_folder, Path(c.data));
        if (c.installed) {
            EXPECT_EQ(l.settings_folder, Path("home/cfg/TovekCamera/"));
            EXPECT_EQ(l.pictures_folder, Path("home/Pictures/"));
            EXPECT_EQ(l.videos_folder, Path("home/Videos/"));
        } else {
            // The build layout keeps everything in the program's folder.
            EXPECT_EQ(l.settings_folder, program);
            EXPECT_EQ(l.pictures_folder, program);
            EXPECT_EQ(l.videos_folder, program);
        }
        for (const char* marker : c.markers)
            fs::remove(root_ / marker);
    }
}

TEST_F(LayoutTest, InstalledFoldersFollowTheXdgFiles) {
    Touch("usr/share/tovekcamera/DocumentDevice.ini");
    fs::create_directories(root_ / "home" / "cfg");
    std::ofstream(root_ / "home" / "cfg" / "user-dirs.dirs")
        << "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
        << "XDG_VIDEOS_DIR=\"" << Path("media/Filme") << "/\"\n";
    InstallLayout l = DecideInstallLayout(Path("usr/bin/TovekCamera"), "Viewer", true);
    EXPECT_EQ(l.settings_folder, Path("home/cfg/Viewer/"));
    EXPECT_EQ(l.pictures_folder, Path("home/Bilder/"));
    EXPECT_EQ(l.videos_folder, Path("media/Filme/")); // one trailing '/', not two

    // A relative XDG_CONFIG_HOME is ignored, as the base-directory rules say.
    ScopedEnv relative("XDG_CONFIG_HOME", "cfg");
    l = DecideInstallLayout(Path("usr/bin/TovekCamera"), "Viewer", true);
    EXPECT_EQ(l.settings_folder, Path("home/.config/Viewer/"));
    EXPECT_EQ(l.pictures_folder, Path("home/Pictures/"));

    // A home of "/" (system accounts) gives no doubled separators.
    ScopedEnv root_home("HOME", "/");
    ScopedEnv no_config("XDG_CONFIG_HOME", "");
    l = DecideInstallLayout(Path("usr/bin/TovekCamera"), "Viewer", true);
    EXPECT_EQ(l.settings_folder, "/.config/Viewer/");
    EXPECT_EQ(l.videos_folder, "/Videos/");
}

TEST_F(LayoutTest, MakeSettingsFolderCreatesOnlyTheInstalledOne) {
    Touch("usr/share/tovekcamera/DocumentDevice.ini");
    const InstallLayout installed = DecideInstallLayout(Path("usr/bin/TovekCamera"), "TovekCamera");
    ASSERT_TRUE(installed.installed);
    EXPECT_FALSE(fs::exists(installed.settings_folder));
    EXPECT_TRUE(MakeSettingsFolder(installed));
    EXPECT_TRUE(fs::is_directory(Path("home/cfg/TovekCamera")));

    // The build layout never creates a folder: a missing program folder stays
    // missing (the settings then read their defaults).
    const InstallLayout build = DecideInstallLayout(Path("gone/TovekCamera"), "TovekCamera", true);
    EXPECT_FALSE(MakeSettingsFolder(build));
    EXPECT_FALSE(fs::exists(Path("gone")));
}

TEST(InstallLayout, TheTestProgramRunsInTheBuildLayout) {
    // The tests run from the build folder, beside the device catalogue.
    EXPECT_FALSE(ProgramLayout().installed);
    EXPECT_EQ(DataFolder(), ProgramLayout().program_folder);
    EXPECT_EQ(DecideInstallLayout("TovekCamera", "TovekCamera", true).program_folder, "./");
}

} // namespace
