#include "store/example_group.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include "store/gbk.h"
#include "store/group_file.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

TEST(ExampleGroup, NewFolderGetsTheShippedBellsAndATimetableThatRingsThem) {
    test::TempFolder shipped, app;
    test::WriteAll(shipped / "上课铃.wav", {1, 2});
    test::WriteAll(shipped / "下课铃.wav", {3});
    test::WriteAll(shipped / "预备铃.wav", {4});
    SeedAppFolder(app.path(), shipped.path());
    EXPECT_EQ(test::ReadAll(app / "music/上课铃.wav"), (std::vector<std::uint8_t>{1, 2}));
    GroupFile group(app / "job" / kExampleGroupName);
    ASSERT_GE(group.Count(), 5);
    for (int k = 1; k <= group.Count(); ++k) {
        const JobRecord r = group.Read(k);
        EXPECT_EQ(r.JobNo, k);
        EXPECT_EQ(r.JobState, "START");
        EXPECT_TRUE(std::filesystem::exists(std::string(TrimRight(r.JobMusic[0])))) << r.JobMusic[0];
    }
}

TEST(ExampleGroup, FilesAlreadyThereAreKept) {
    test::TempFolder shipped, app;
    test::WriteAll(shipped / "上课铃.wav", {1});
    std::filesystem::create_directories(app / "music");
    std::filesystem::create_directories(app / "job");
    test::WriteAll(app / "music/上课铃.wav", {9});
    test::WriteAll(app / "job" / kExampleGroupName, {7});
    SeedAppFolder(app.path(), shipped.path());
    EXPECT_EQ(test::ReadAll(app / "music/上课铃.wav"), (std::vector<std::uint8_t>{9}));
    EXPECT_EQ(test::ReadAll(app / "job" / kExampleGroupName), (std::vector<std::uint8_t>{7}));
}

}  // namespace
}  // namespace lingchao
