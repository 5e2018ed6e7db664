#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {
TEST(Files, BackslashNamesFindFilesWhateverTheirCase) {
  TempWorkDir dir;
  std::filesystem::create_directories("graphic_RESOURCE/Main");
  std::ofstream("graphic_RESOURCE/Main/testmain2.bmp") << "BM";
  EXPECT_EQ(ResolvePath("Graphic_resource\\Main\\TestMain2.BMP"), "graphic_RESOURCE/Main/testmain2.bmp");
  std::FILE* f = OpenFile("Graphic_resource\\MAIN\\TestMain2.BMP", "rb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(FileSize("Graphic_resource\\Main\\TestMain2.BMP"), 2);
}

TEST(Files, NewFilesKeepTheirNameInsideExistingFolders) {
  TempWorkDir dir;
  std::filesystem::create_directory("DATA");
  EXPECT_EQ(ResolvePath("data\\morvane.rec"), "DATA/morvane.rec");
  std::FILE* f = OpenFile("data\\morvane.rec", "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(std::filesystem::exists("DATA/morvane.rec"));
  EXPECT_EQ(ResolvePath("nowhere/at/all.txt"), "nowhere/at/all.txt");
  EXPECT_EQ(FileSize("nowhere/at/all.txt"), -1);
}

TEST(Files, ReadOnlyFilesCanBeClearedAndDeleted) {
  TempWorkDir dir;
  std::ofstream("ro.rec") << "0123456789";
  std::filesystem::permissions("ro.rec", std::filesystem::perms::owner_read);
  EXPECT_TRUE(ClearReadOnly("ro.rec"));
  EXPECT_TRUE((std::filesystem::status("ro.rec").permissions() & std::filesystem::perms::owner_write) !=
              std::filesystem::perms::none);
  EXPECT_TRUE(DeleteFile("ro.rec"));
  EXPECT_FALSE(FileExists("ro.rec"));
  EXPECT_FALSE(ClearReadOnly("ro.rec"));
}

TEST(Files, MakeDirectoryAcceptsAnExistingDirectoryOnly) {
  TempWorkDir dir;
  EXPECT_TRUE(MakeDirectory("a"));
  EXPECT_TRUE(MakeDirectory("A"));  // same folder, other case
  std::ofstream("f") << "x";
  EXPECT_FALSE(MakeDirectory("f"));
}
}  // namespace
