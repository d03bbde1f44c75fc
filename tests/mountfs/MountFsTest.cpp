// The mount's answers called directly, without mounting: what a tree holds, each callback's
// error paths, and the images a mount refuses.
#include <fcntl.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "mountfs/FuseMount.h"
#include "tests/fsimage/Fixture.h"

namespace kivo::mountfs {
namespace {

using namespace kivo::test;

MountTree::Drive DriveOf(const std::string& image, std::string folder = "") {
  const ByteSpan bytes = Span(image);
  return {folder, folder.empty() ? "img.kid" : "game.nds " + folder, "'img.kid'",
          {bytes.begin(), bytes.end()}};
}

MountFs Mounted(std::vector<MountTree::Drive> drives, std::vector<MountTree::TextFile> texts = {}) {
  auto tree = MountTree::Build(std::move(drives), std::move(texts), 1000);
  if (!tree) throw std::runtime_error(tree.error().message);
  return MountFs(std::move(*tree), 123, 456);
}

// What the tree holds, and in which order, its time and the mount's own, the real mount shows
// (MountTest); these are the attributes and the folders' own entries.
TEST(MountFs, FilesAndFoldersHaveTheirAttributes) {
  MountFs image = Mounted({DriveOf(fs::test::Image(fs::test::WorkedExample()))});
  std::vector<std::string> names;
  auto add = [&](const char* name, const struct stat&) {
    names.emplace_back(name);
    return true;
  };
  EXPECT_EQ(image.Readdir("/docs", add), 0);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.bin"}));
  struct stat file, folder;
  ASSERT_EQ(image.Getattr("/readme.txt", file), 0);
  ASSERT_EQ(image.Getattr("/docs", folder), 0);
  EXPECT_EQ(file.st_mode, S_IFREG | 0444);
  EXPECT_EQ(folder.st_mode, S_IFDIR | 0555);
  EXPECT_EQ(file.st_size, 100);
  EXPECT_EQ(file.st_uid, 123u);
  EXPECT_EQ(file.st_gid, 456u);
  EXPECT_EQ(folder.st_nlink, 2u);
  // A ROM's drives are folders of the ROM's time.
  MountFs rom = Mounted({DriveOf(fs::test::Image(fs::test::WorkedExample()), "drive1"),
                         DriveOf(fs::test::Image({{"save.dat", "s"}}), "drive2")},
                        {{"rom.txt", "what rominfo says\n"}});
  struct stat root, drive;
  ASSERT_EQ(rom.Getattr("/", root), 0);
  ASSERT_EQ(rom.Getattr("/drive1", drive), 0);
  EXPECT_EQ(root.st_nlink, 4u);
  EXPECT_EQ(drive.st_mtime, 1000);
}

// Rows run in order: the file opened first is the one read.
TEST(MountFs, CallbacksReportWhatIsWrong) {
  MountFs fs = Mounted({DriveOf(fs::test::Image(fs::test::WorkedExample()))});
  struct stat attributes;
  std::uint64_t handle = 0;
  char buffer[64];
  struct Case {
    const char* what;
    int result, expected;
  } cases[] = {
      {"open to read", fs.Open("/readme.txt", O_RDONLY, handle), 0},
      {"read of the last bytes", fs.Read(handle, buffer, sizeof buffer, 90), 10},
      {"read at the end", fs.Read(handle, buffer, sizeof buffer, 100), 0},
      {"read far past the end", fs.Read(handle, buffer, sizeof buffer, 1 << 30), 0},
      {"read at a negative offset", fs.Read(handle, buffer, sizeof buffer, -1), -EINVAL},
      {"read of no node", fs.Read(fs.tree().size(), buffer, sizeof buffer, 0), -EBADF},
      {"read of the root", fs.Read(RootNode, buffer, sizeof buffer, 0), -EBADF},
      {"getattr of a missing name", fs.Getattr("/nothing", attributes), -ENOENT},
      // Names compare byte for byte, as the host's do.
      {"getattr in another letter case", fs.Getattr("/README.TXT", attributes), -ENOENT},
      {"readdir of a missing folder", fs.Readdir("/nothing", nullptr), -ENOENT},
      {"readdir of a file", fs.Readdir("/readme.txt", nullptr), -ENOTDIR},
      {"open of a missing file", fs.Open("/docs/b.bin", O_RDONLY, handle), -ENOENT},
      {"open of a folder", fs.Open("/docs", O_RDONLY, handle), -EISDIR},
      {"open to write", fs.Open("/readme.txt", O_WRONLY, handle), -EROFS},
      {"open to read and write", fs.Open("/readme.txt", O_RDWR, handle), -EROFS},
      {"open to truncate", fs.Open("/readme.txt", O_RDONLY | O_TRUNC, handle), -EROFS},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
}

// Which problems the verifier finds, and their texts, are its own tests'; here each drive is
// verified, its first problem named after the drive, and the names no host may have refused.
TEST(MountFs, DamagedOrUnsafeImagesAreRefused) {
  std::string good = fs::test::Image(fs::test::WorkedExample());
  std::string broken = good, dotted = good;
  Put32(broken, 512 + 4 * 16, 0);  // a link in the chain of docs
  dotted.replace(fs::test::Readme, 4, "a/b\0", 4);
  struct Case {
    const char* what;
    std::vector<MountTree::Drive> drives;
    std::string expected;
  } cases[] = {
      {"one damaged drive of two", {DriveOf(good, "drive1"), DriveOf(broken, "drive2")},
       "game.nds drive2: 'docs': cluster 16 of its chain is marked free"},
      {"a name the host cannot have", {DriveOf(dotted)},
       "img.kid: 'a/b': the name holds a '/' or '\\'"},
  };
  for (const Case& c : cases) {
    auto tree = MountTree::Build(c.drives, {}, 0);
    ASSERT_FALSE(tree) << c.what;
    EXPECT_EQ(tree.error().message, c.expected) << c.what;
  }
}

TEST(MountFs, MountOptionValuesAreEscaped) {
  EXPECT_EQ(EscapeOption("a,b\\c.kid"), "a\\,b\\\\c.kid");
}

}  // namespace
}  // namespace kivo::mountfs
