// The ROM-side reader on images that the core builds: the whole tree, paths and their errors,
// stale handles, damaged images, where a file's bytes lie and how they are copied, parameter
// blocks. Reading through a medium, at a slot's offset in a ROM, is the DS media's test.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fsimage/Fixture.h"
#include "tests/reader/ReaderWalk.h"

namespace kivo::test {
namespace {

using namespace readertest;

std::uint32_t Size32(const std::string& bytes) { return static_cast<std::uint32_t>(bytes.size()); }

const fs::test::Tree A = {
    {"levels/level1.map", Pattern(70000)}, {"levels/Deep/deeper/end.bin", Pattern(512)},
    {"levels/Deep/empty.txt", ""},         {"README.txt", Pattern(100)},
    {"sixteen_letters_", Pattern(511)},    {"a_name_of_17_char/x", Pattern(513)},
    {"empty/", ""}};

// Mounts from memory, from a buffer of exactly the image's size, so that AddressSanitizer sees
// any read past it.
class Reader : public ::testing::Test {
 protected:
  int Mount(const std::string& bytes) {
    exact_ = std::make_unique<char[]>(bytes.size());
    std::memcpy(exact_.get(), bytes.data(), bytes.size());
    return kfs_mount_memory(&drive_, exact_.get(), Size32(bytes));
  }
  static inline const std::string image_ = [] {
    fs::BuilderOptions options = fs::test::FixedClock();
    options.driveName = "Levels";
    return fs::test::Build(A, options).image;
  }();
  std::unique_ptr<char[]> exact_;
  kfs_drive drive_;
};

// Every folder and file, names cut to the 16 bytes stored, each file read in two halves; the
// image that `build --allow-empty` makes of an empty folder lists nothing.
TEST_F(Reader, WalksTheWholeTree) {
  fs::BuilderOptions options = fs::test::FixedClock();
  options.allowEmpty = true;
  const fs::test::Build empty({}, options);
  ASSERT_EQ(empty.result, fs::BuildOutcome::Built) << empty.problems;
  for (const auto& [image, tree] : {std::pair{empty.image, fs::test::Tree{}}, {image_, A}}) {
    ASSERT_EQ(Mount(image), KFS_OK);
    Listing listing;
    EXPECT_EQ(Walk(drive_, listing), KFS_OK);
    EXPECT_EQ(listing, ListingOf(tree));
  }
  char name[KFS_NAME_MAX + 1];
  kfs_drive_name(&drive_, name);
  EXPECT_STREQ(name, "Levels");
}

TEST_F(Reader, PathsResolveOrFailByKind) {
  enum Op { Stat, Open, OpenDir };
  const struct {
    const char* path;
    Op op;
    int result;
    const char* name = "";  // what kfs_stat_path shows, when found
  } cases[] = {
      {"", Stat, KFS_OK, ""}, {"/", OpenDir, KFS_OK, ""},
      {"//LEVELS//Level1.MAP", Open, KFS_OK, "level1.map"},
      {"levels/deep/DEEPER/", OpenDir, KFS_OK, "deeper"},
      {"a_name_of_17_chars_or_more/X", Stat, KFS_OK, "x"},
      {"sixteen_letters_", Stat, KFS_OK, "sixteen_letters_"},
      {"sixteen_letters", Stat, KFS_ERR_NOT_FOUND}, {"levels/none", Open, KFS_ERR_NOT_FOUND},
      {"levels/.", OpenDir, KFS_ERR_NOT_FOUND}, {"levels/Deep/..", OpenDir, KFS_ERR_NOT_FOUND},
      {"README.txt/x", Stat, KFS_ERR_NOT_DIR}, {"levels", Open, KFS_ERR_IS_DIR},
      {"README.txt", OpenDir, KFS_ERR_NOT_DIR},
  };
  ASSERT_EQ(Mount(image_), KFS_OK);
  kfs_stat st;
  kfs_file f;
  kfs_dir dir;
  for (const auto& c : cases) {
    const int result = c.op == Stat   ? kfs_stat_path(&drive_, c.path, &st)
                       : c.op == Open ? kfs_open(&drive_, c.path, &f)
                                      : kfs_opendir(&drive_, c.path, &dir);
    EXPECT_EQ(result, c.result) << c.path;
    if (result != KFS_OK) continue;
    ASSERT_EQ(kfs_stat_path(&drive_, c.path, &st), KFS_OK) << c.path;
    EXPECT_STREQ(st.name, c.name) << c.path;
  }
  ASSERT_EQ(kfs_stat_path(&drive_, "levels/level1.map", &st), KFS_OK);
  EXPECT_EQ(std::vector<unsigned>({st.is_dir, st.size, st.year, st.month, st.day, st.weekday,
                                   st.hour, st.minute, st.second}),
            std::vector<unsigned>({0, 70000, 2006, 3, 15, 3, 14, 5, 9}));
  ASSERT_EQ(kfs_stat_path(&drive_, "/", &st), KFS_OK);
  EXPECT_EQ(std::vector<unsigned>({st.is_dir, st.size, st.year, st.day, st.hour}),
            std::vector<unsigned>({1, 4096, 0, 0, 0}));
}

// Mounting again, successfully or not, makes what was open stale (a stale file has no bytes
// to map and no offset); a failed mount answers every call with KFS_ERR_ARG.
TEST_F(Reader, AMountMakesEarlierHandlesStale) {
  kfs_stat st;
  kfs_file f;
  kfs_dir dir;
  ASSERT_EQ(Mount(image_), KFS_OK);
  ASSERT_EQ(kfs_open(&drive_, "README.txt", &f), KFS_OK);
  ASSERT_EQ(kfs_opendir(&drive_, "levels", &dir), KFS_OK);
  ASSERT_EQ(Mount(image_), KFS_OK);
  EXPECT_EQ(kfs_read(&f, &st, 1), KFS_ERR_ARG);
  EXPECT_EQ(kfs_readdir(&dir, &st), KFS_ERR_ARG);
  const void* data = &f;
  std::uint32_t size = 1;
  EXPECT_EQ(kfs_map(&f, &data, &size), KFS_ERR_ARG);
  EXPECT_EQ(kfs_offset(&f), 0u);
  EXPECT_EQ(Mount(image_.substr(1)), KFS_ERR_FORMAT);
  EXPECT_EQ(std::vector({kfs_stat_path(&drive_, "", &st), kfs_open(&drive_, "README.txt", &f),
                         kfs_opendir(&drive_, "", &dir)}),
            std::vector<int>(3, KFS_ERR_ARG));
  char name[KFS_NAME_MAX + 1] = "x";
  kfs_drive_name(&drive_, name);
  EXPECT_STREQ(name, "");
}

// Offset of the slot named `name` in the directory region at `region`, from slot `first` on.
std::size_t SlotOf(const std::string& image, std::size_t region, const char* name,
                   std::size_t first) {
  for (std::size_t slot = first; slot < 117; ++slot) {
    if (std::strncmp(image.data() + region + 35 * slot, name, 16) == 0) return region + 35 * slot;
  }
  ADD_FAILURE() << "no slot " << name;
  return 0;
}

TEST_F(Reader, DamagedImagesGiveFormatErrors) {
  const std::uint32_t size = Size32(image_), fat = Get32(image_, 28), root = Get32(image_, 44);
  const std::uint32_t data = Get32(image_, 48);
  const std::size_t levels = SlotOf(image_, root, "levels", 0);
  const std::size_t readme = SlotOf(image_, root, "README.txt", 0);
  const std::size_t block = Get32(image_, levels + 20) * 512;
  const std::size_t deep = SlotOf(image_, block, "Deep", 2);
  const std::size_t map = SlotOf(image_, block, "level1.map", 2);
  const std::uint32_t first = Get32(image_, map + 20), last = first + 70000 / 512 + 1;
  auto link = [](std::uint32_t cluster) { return 512 + 4 * cluster; };
  const struct {
    const char* what;
    std::vector<std::pair<std::size_t, std::uint32_t>> edits;  // (offset, 32-bit value)
  } cases[] = {
      {"version", {{0, 101}}}, {"boot size", {{24, 1024}}}, {"root size", {{32, 8192}}},
      {"table start", {{40, 1024}}}, {"drive size", {{20, size + 512}}},
      {"table size", {{28, fat + 4}}}, {"root start", {{44, root + 512}}},
      {"data start", {{48, data + 512}}}, {"data size", {{36, size - data - 512}}},
      {"regions moved together", {{28, fat + 512}, {44, root + 512}, {48, data + 512}}},
      {"file past the end", {{map + 20, 0x00FFFFFF}}}, {"file in the header", {{map + 20, 1}}},
      {"file longer than its chain", {{map + 16, 80000}}},
      {"file of 4 GiB", {{map + 16, 0xFFFFFFFF}}},
      {"chain with a gap", {{link(first + 5), first + 7}}},
      {"chain ended early", {{link(first + 3), 0xFFFFFFFF}}},
      {"chain without an end", {{link(last), last + 1}}},
      {"directory looping back", {{deep + 20, Get32(image_, levels + 20)}}},
      {"directory on the root", {{levels + 20, root / 512}}},
      {"directory of 0 bytes", {{levels + 16, 0}}}, {"unknown kind", {{readme + 24, 0xFFFFFFFD}}},
  };
  for (const auto& c : cases) {
    std::string bad = image_;
    for (auto [at, value] : c.edits) Put32(bad, at, value);
    Listing listing;
    int result = Mount(bad);
    EXPECT_EQ(result == KFS_OK ? Walk(drive_, listing) : result, KFS_ERR_FORMAT) << c.what;
  }
  EXPECT_EQ(Mount(image_.substr(0, size - 512)), KFS_ERR_FORMAT) << "cut short";
}

// The copy function's calls, as (offset in the image, bytes).
std::vector<std::pair<std::ptrdiff_t, std::uint32_t>> copies;
const char* copied_image = nullptr;
void LoggedCopy(void* dst, const void* src, std::uint32_t n) {
  copies.emplace_back(static_cast<const char*>(src) - copied_image, n);
  std::memcpy(dst, src, n);
}

// Every file lies where kfs_offset says, as one run of the image, which kfs_map hands out.
// Each read that has bytes to give makes one call of the copy function, with exactly the
// file's next bytes; reads at the end make none.
TEST_F(Reader, EachFileIsOneRunMappedAndCopiedWhereItLies) {
  ASSERT_EQ(Mount(image_), KFS_OK);
  ASSERT_EQ(kfs_set_copy(&drive_, LoggedCopy), KFS_OK);
  copied_image = exact_.get();
  for (const auto& [path, bytes] : ListingOf(A)) {
    if (bytes == "/") continue;
    kfs_file f;
    ASSERT_EQ(kfs_open(&drive_, path.c_str(), &f), KFS_OK) << path;
    const std::uint32_t offset = kfs_offset(&f);
    const void* data = nullptr;
    std::uint32_t size = 1;
    ASSERT_EQ(kfs_map(&f, &data, &size), KFS_OK) << path;
    EXPECT_EQ(data, exact_.get() + offset) << path;
    EXPECT_EQ(size, bytes.size()) << path;
    std::string read(bytes.size() + 700, '\0');
    std::vector<std::pair<std::ptrdiff_t, std::uint32_t>> expected;
    copies.clear();
    for (std::uint32_t pos = 0; pos <= bytes.size(); pos += 700) {
      const std::uint32_t n = std::min<std::uint32_t>(700, Size32(bytes) - pos);
      if (n > 0) expected.emplace_back(offset + pos, n);
      EXPECT_EQ(kfs_read(&f, read.data() + pos, 700), std::int32_t(n)) << path;
    }
    EXPECT_EQ(kfs_read(&f, read.data(), 700), 0) << path;
    EXPECT_EQ(copies, expected) << path;
    EXPECT_EQ(read.substr(0, bytes.size()), bytes) << path;
  }
  EXPECT_EQ(kfs_offset(nullptr), 0u);
  // NULL brings memcpy back, and so does every mount.
  kfs_file f;
  char byte;
  copies.clear();
  ASSERT_EQ(kfs_set_copy(&drive_, nullptr), KFS_OK);
  ASSERT_EQ(kfs_open(&drive_, "README.txt", &f), KFS_OK);
  EXPECT_EQ(kfs_read(&f, &byte, 1), 1);
  ASSERT_EQ(kfs_set_copy(&drive_, LoggedCopy), KFS_OK);
  ASSERT_EQ(Mount(image_), KFS_OK);
  ASSERT_EQ(kfs_open(&drive_, "README.txt", &f), KFS_OK);
  EXPECT_EQ(kfs_read(&f, &byte, 1), 1);
  EXPECT_TRUE(copies.empty());
}

// A callback mount has no bytes to map and no copy function: its medium copies. The image's
// last byte must have an offset on the medium.
TEST_F(Reader, ACallbackMountNeitherMapsNorCopies) {
  auto read = [](void* image, std::uint32_t offset, void* dst, std::uint32_t size) {
    std::memcpy(dst, static_cast<const std::string*>(image)->data() + offset, size);
    return 0;
  };
  void* image = const_cast<std::string*>(&image_);
  ASSERT_EQ(kfs_mount_callback(&drive_, read, image, 0, Size32(image_)), KFS_OK);
  EXPECT_EQ(kfs_set_copy(&drive_, LoggedCopy), KFS_ERR_ARG);
  kfs_file f;
  ASSERT_EQ(kfs_open(&drive_, "README.txt", &f), KFS_OK);
  const void* data = &f;
  std::uint32_t size = 1;
  EXPECT_EQ(kfs_map(&f, &data, &size), KFS_ERR_ARG);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(kfs_mount_callback(&drive_, read, image, 0xFFFFF000u, Size32(image_)), KFS_ERR_ARG);
}

TEST(ReaderParams, BadBlocksAndMarkers) {
  // A 64-byte ROM: marker at 4, slot 1 = 40..49, slot 2 = 50..63.
  std::string good = HostRom(64, 4);
  for (auto [at, value] : {std::pair{15, 40}, {19, 49}, {23, 50}, {27, 63}}) Put32(good, at, value);
  good[31] = 1;  // the flag byte
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
    std::uint32_t size;  // of the ROM searched
    int result;
  } cases[] = {
      {"intact", [](std::string&) {}, 64, KFS_OK},
      {"slot 1 empty", [](std::string& r) { r.replace(15, 8, 8, '\0'); }, 64, KFS_ERR_NO_DRIVE},
      {"slot 1 backwards", [](std::string& r) { Put32(r, 19, 39); }, 64, KFS_ERR_FORMAT},
      {"slot 2 backwards", [](std::string& r) { Put32(r, 27, 49); }, 64, KFS_ERR_FORMAT},
      {"slot 2 past the bytes", [](std::string&) {}, 63, KFS_ERR_FORMAT},
      {"no marker", [](std::string& r) { r[4] = 'k'; }, 64, KFS_ERR_NO_DRIVE},
      {"block past the bytes", [](std::string&) {}, 31, KFS_ERR_NO_DRIVE},
      {"an empty block first", [](std::string& r) { r = HostRom(28, 0) + r; }, 92,
       KFS_ERR_NO_DRIVE},
  };
  for (const auto& c : cases) {
    std::string rom = good;
    c.damage(rom);
    kfs_params p;
    EXPECT_EQ(kfs_find_params(rom.data(), c.size, &p), c.result) << c.what;
  }
  kfs_params p;
  ASSERT_EQ(kfs_decode_params(reinterpret_cast<const std::uint8_t*>(good.data()) + 15, &p),
            KFS_OK);
  EXPECT_EQ(std::vector({p.start[0], p.end[0], p.start[1], p.end[1]}),
            std::vector({40u, 49u, 50u, 63u}));
  EXPECT_EQ(p.saveflash, 1);
}

}  // namespace
}  // namespace kivo::test
