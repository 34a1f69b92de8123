#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <vector>

#include "platform/platform.h"
#include "tests/posix/temp_dir.h"

namespace quavr::platform {
namespace {

DWORD typeOf(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0xFFFF;
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  return type;
}

TEST(FilesTest, ARegularFileIsReadWhole) {
  test::TempDir dir;
  const std::string path = dir / "song.mid";
  std::ofstream(path, std::ios::binary) << std::string("MThd\0\0\0\6", 8);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(file), FILE_TYPE_DISK);
  DWORD high = 99;
  ASSERT_EQ(GetFileSize(file, &high), 8u);
  EXPECT_EQ(high, 0u);
  std::vector<char> bytes(8);
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, bytes.data(), 8, &read, nullptr));
  EXPECT_EQ(read, 8u);
  EXPECT_EQ(std::string(bytes.data(), 4), "MThd");
  EXPECT_TRUE(CloseHandle(file));
}

TEST(FilesTest, OnlyRegularFilesAreDiskFiles) {
  test::TempDir dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(typeOf(fifo), FILE_TYPE_PIPE) << "and opening it did not wait for a writer";
  EXPECT_EQ(typeOf("/dev/null"), FILE_TYPE_CHAR);
  const DWORD directory = typeOf(dir / "");
  EXPECT_TRUE(directory == FILE_TYPE_UNKNOWN || directory == 0xFFFF);
  EXPECT_EQ(typeOf(dir / "missing.mid"), 0xFFFFu);
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace quavr::platform
