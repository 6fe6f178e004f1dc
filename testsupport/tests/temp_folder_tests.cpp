#include "testsupport/scoped_env.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::TempFolder;

TEST(TempFolder, EachIsNewAndEmptyUnderTmpdirAndGoesWithAllItHolds) {
    TempFolder tmpdir("outer");
    ScopedEnv env("TMPDIR", tmpdir.Path().string());
    fs::path first_path;
    {
        TempFolder first("case");
        TempFolder second("case");
        first_path = first.Path();
        for (const TempFolder* folder : {&first, &second}) {
            EXPECT_EQ(tmpdir.Path(), folder->Path().parent_path());
            EXPECT_TRUE(fs::is_directory(folder->Path()));
            EXPECT_TRUE(fs::is_empty(folder->Path()));
        }
        EXPECT_NE(first.Path(), second.Path());
        // What a test leaves: files, and a folder it took the rights from.
        fs::create_directories(first.Path() / "locked" / "deeper");
        std::ofstream(first.File("locked/deeper/file")) << "x";
        std::ofstream(first.File("file")) << "x";
        fs::permissions(first.Path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_FALSE(fs::exists(first_path));
    EXPECT_TRUE(fs::is_empty(tmpdir.Path()));
}

TEST(TempFolder, KeptOnRequestForALookAtAFailure) {
    fs::path kept;
    {
        ScopedEnv keep("TOVEK_KEEP_TEMP", "1");
        TempFolder folder;
        kept = folder.Path();
    }
    EXPECT_TRUE(fs::is_directory(kept));
    fs::remove_all(kept);
}

TEST(TempFolder, NoFolderMadeFailsTheTestThere) {
    TempFolder tmpdir;
    ScopedEnv env("TMPDIR", tmpdir.File("missing"));
    EXPECT_THROW(TempFolder(), std::system_error);
}

} // namespace
