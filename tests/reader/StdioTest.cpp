// The drive's files as FILE * streams: what stdio code does with them (fread, fgets, fseek,
// ftell, feof) against the tree's bytes, and each failure's errno.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "reader/kivofs_stdio.h"
#include "tests/fsimage/Fixture.h"

namespace kivo::test {
namespace {

using Stream = std::unique_ptr<FILE, int (*)(FILE*)>;

const fs::test::Tree Tree = {{"levels/level1.map", Pattern(70000)},
                             {"lines.txt", "one\ntwo\n\nthe last line has no end"},
                             {"big.bin", Pattern(9000)}};

class Stdio : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Mount(), KFS_OK); }
  int Mount() {
    return kfs_mount_memory(&drive_, image_.data(), static_cast<std::uint32_t>(image_.size()));
  }
  Stream Open(const char* path, const char* mode = "rb") {
    return Stream(kfs_fopen(&drive_, path, mode), ::fclose);
  }
  std::string image_ = fs::test::Image(Tree);
  kfs_drive drive_;
};

// As opened (unbuffered), and with the buffer a text parser would give it. Every file read
// whole with fread is the GBA example's test, on newlib.
TEST_F(Stdio, FgetsGivesTheLines) {
  for (const bool buffered : {false, true}) {
    Stream f = Open("lines.txt", "r");
    ASSERT_NE(f, nullptr);
    if (buffered) {
      ASSERT_EQ(std::setvbuf(f.get(), nullptr, _IOFBF, BUFSIZ), 0);
    }
    char line[64];
    std::vector<std::string> lines;
    while (std::fgets(line, sizeof line, f.get()) != nullptr) lines.emplace_back(line);
    EXPECT_EQ(lines, std::vector<std::string>({"one\n", "two\n", "\n", "the last line has no end"}))
        << buffered;
    EXPECT_TRUE(std::feof(f.get())) << buffered;
    EXPECT_FALSE(std::ferror(f.get())) << buffered;
  }
}

// Each row starts at `from` and seeks; a refused seek leaves the position at `from`.
TEST_F(Stdio, SeekFromEachOriginStaysInsideTheFile) {
  struct Row {
    long from, offset;
    int whence, error;
    long at;
  };
  const Row rows[] = {
      {.from = 0, .offset = 100, .whence = SEEK_SET, .error = 0, .at = 100},
      {.from = 100, .offset = 50, .whence = SEEK_CUR, .error = 0, .at = 150},
      {.from = 100, .offset = -100, .whence = SEEK_CUR, .error = 0, .at = 0},
      {.from = 5, .offset = -10, .whence = SEEK_END, .error = 0, .at = 69990},
      {.from = 5, .offset = 0, .whence = SEEK_END, .error = 0, .at = 70000},
      {.from = 5, .offset = 70000, .whence = SEEK_SET, .error = 0, .at = 70000},
      {.from = 5, .offset = 70001, .whence = SEEK_SET, .error = EINVAL, .at = 5},
      {.from = 5, .offset = -1, .whence = SEEK_SET, .error = EINVAL, .at = 5},
      {.from = 100, .offset = -101, .whence = SEEK_CUR, .error = EINVAL, .at = 100},
      {.from = 100, .offset = 69901, .whence = SEEK_CUR, .error = EINVAL, .at = 100},
      {.from = 7, .offset = 1, .whence = SEEK_END, .error = EINVAL, .at = 7},
      {.from = 7, .offset = -70001, .whence = SEEK_END, .error = EINVAL, .at = 7},
  };
  const std::string bytes = Pattern(70000);  // levels/level1.map
  Stream f = Open("levels/level1.map");
  ASSERT_NE(f, nullptr);
  for (const Row& row : rows) {
    ASSERT_EQ(std::fseek(f.get(), row.from, SEEK_SET), 0);
    errno = 0;
    EXPECT_EQ(std::fseek(f.get(), row.offset, row.whence), row.error == 0 ? 0 : -1) << row.offset;
    EXPECT_EQ(errno, row.error) << row.offset;
    EXPECT_EQ(std::ftell(f.get()), row.at) << row.offset;
    const int next = row.at < 70000 ? static_cast<unsigned char>(bytes[row.at]) : EOF;
    EXPECT_EQ(std::fgetc(f.get()), next) << row.offset;
  }
}

TEST_F(Stdio, OpeningFailsWithTheMatchingErrno) {
  struct Row {
    const char *path, *mode;
    int error;
  };
  const Row rows[] = {
      {"lines.txt", "w", EROFS},    {"lines.txt", "ab", EROFS},    {"lines.txt", "r+", EROFS},
      {"lines.txt", "rb+", EROFS},  {"missing", "wx", EROFS},      {"lines.txt", "", EINVAL},
      {"lines.txt", "q", EINVAL},   {"lines.txt", "rz", EINVAL},   {"levels/none", "r", ENOENT},
      {"lines.txt/x", "r", ENOTDIR}, {"levels", "r", EISDIR},      {nullptr, "r", EINVAL},
  };
  for (const Row& row : rows) {
    errno = 0;
    const std::string what = std::string(row.path ? row.path : "(null)") + " " + row.mode;
    EXPECT_EQ(Open(row.path, row.mode), nullptr) << what;
    EXPECT_EQ(errno, row.error) << what;
  }
}

// After a remount the stream's file is stale: reading and seeking fail and say why. A chain
// broken in the table: the file cannot be opened, and says so as an I/O error.
TEST_F(Stdio, StaleStreamsAndDamagedFilesFail) {
  Stream f = Open("big.bin");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(Mount(), KFS_OK);
  char byte;
  errno = 0;
  EXPECT_EQ(std::fread(&byte, 1, 1, f.get()), 0u);
  EXPECT_TRUE(std::ferror(f.get()));
  EXPECT_EQ(errno, EBADF);
  errno = 0;
  EXPECT_EQ(std::fseek(f.get(), 1, SEEK_SET), -1);
  EXPECT_EQ(errno, EBADF);
  kfs_file file;
  ASSERT_EQ(kfs_open(&drive_, "big.bin", &file), KFS_OK);
  Put32(image_, 512 + 4 * (kfs_offset(&file) / 512 + 3), 0xFFFFFFFF);
  errno = 0;
  EXPECT_EQ(Open("big.bin"), nullptr);
  EXPECT_EQ(errno, EIO);
}

}  // namespace
}  // namespace kivo::test
