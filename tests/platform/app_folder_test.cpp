#include "platform/app_folder.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace lingchao {
namespace {

TEST(AppFolder, PortableCopyKeepsItsDataBesideTheExecutable) {
    test::TempFolder dir;
    EXPECT_EQ(ChooseAppFolder(dir.path(), "/x/data", "/home/t"), dir.path());
}

TEST(AppFolder, InstalledCopyUsesThePerUserDataFolder) {
    // A path under a regular file cannot be written, also by root.
    test::TempFolder dir;
    test::WriteAll(dir / "file", {});
    const auto readOnly = dir / "file" / "bin";
    EXPECT_EQ(ChooseAppFolder(readOnly, "/x/data", "/home/t"), std::filesystem::path("/x/data/lingchao"));
    EXPECT_EQ(ChooseAppFolder(readOnly, "", "/home/t"), std::filesystem::path("/home/t/.local/share/lingchao"));
    EXPECT_EQ(ChooseAppFolder(readOnly, "relative", "/home/t"), std::filesystem::path("/home/t/.local/share/lingchao"));
    EXPECT_EQ(ChooseAppFolder("/usr/bin", "", "/root"), std::filesystem::path("/root/.local/share/lingchao"));
}

TEST(AppFolder, AnInstalledCopyUsesThePerUserFolderEvenWhenItsFolderIsWritable) {
    test::TempFolder prefix;
    std::filesystem::create_directories(prefix / "bin");
    std::filesystem::create_directories(prefix / "share/lingchao/music");
    EXPECT_EQ(ChooseAppFolder(prefix / "bin", "/x/data", "/home/t"), std::filesystem::path("/x/data/lingchao"));
}

}  // namespace
}  // namespace lingchao
