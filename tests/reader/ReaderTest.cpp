// The ROM-side reader on images that the core builds and attaches: both slots and both kinds
// of mount, paths and their errors, stale handles, damaged images and parameter blocks.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "reader/ds/kfs_block.h"
#include "romattach/AttachDrives.h"
#include "tests/fsimage/Fixture.h"
#include "tests/reader/ReaderWalk.h"
#include "tests/support/Assert.h"

namespace kivo::test {
namespace {

using readertest::Listing;
using readertest::ListingOf;

std::uint32_t Size32(const std::string& bytes) { return static_cast<std::uint32_t>(bytes.size()); }

// A DS-like medium that reads only whole, aligned 512-byte blocks (padded, as a card reads on
// past the end of the file), behind the DS example's block reader.
struct Card {
  explicit Card(std::string bytes) : data(std::move(bytes)) {
    data.resize((data.size() + 511) / 512 * 512);
    kfs_block_init(&medium, Blocks, this);
  }
  static int Blocks(void* card, std::uint32_t offset, void* dst, std::uint32_t count) {
    EXPECT_EQ(offset % 512, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(dst) % 4, 0u) << offset;
    // AddressSanitizer checks the end.
    const std::string& data = static_cast<Card*>(card)->data;
    std::memcpy(dst, data.data() + offset, std::size_t{count} * 512);
    return 0;
  }
  static int Read(void* card, std::uint32_t offset, void* dst, std::uint32_t size) {
    return kfs_block_read(&static_cast<Card*>(card)->medium, offset, dst, size);
  }
  std::string data;
  kfs_block_medium medium;
};

const fs::test::Tree A = {
    {"levels/level1.map", Pattern(70000)}, {"levels/Deep/deeper/end.bin", Pattern(512)},
    {"levels/Deep/empty.txt", ""},         {"README.txt", Pattern(100)},
    {"sixteen_letters_", Pattern(511)},    {"a_name_of_17_char/x", Pattern(513)},
    {"empty/", ""}};

// Mounts through a Card (true) or from memory, from a buffer of exactly the image's size, so
// that AddressSanitizer sees any read past it.
class Reader : public ::testing::TestWithParam<bool> {
 protected:
  int Mount(const std::string& bytes, std::uint32_t offset = 0,
            std::optional<std::uint32_t> size = {}) {
    std::uint32_t length = size.value_or(Size32(bytes));
    if (GetParam()) {
      card_ = std::make_unique<Card>(bytes);
      return kfs_mount_callback(&drive_, Card::Read, card_.get(), offset, length);
    }
    exact_ = std::make_unique<char[]>(length);
    std::memcpy(exact_.get(), bytes.data() + offset, length);
    return kfs_mount_memory(&drive_, exact_.get(), length);
  }
  int Walk(Listing& listing) {
    std::size_t budget = 1000;  // a damaged image may list one block under many names
    return readertest::Walk(drive_, "", listing, budget);
  }
  static inline const std::string image_ = [] {
    fs::BuilderOptions options = fs::test::FixedClock();
    options.driveName = "Levels";
    return fs::test::Build(A, options).image;
  }();
  std::unique_ptr<Card> card_;
  std::unique_ptr<char[]> exact_;
  kfs_drive drive_;
};

INSTANTIATE_TEST_SUITE_P(Callback, Reader, ::testing::Bool(), ::testing::PrintToStringParamName());

// Two drives attached to a host of 3000 bytes with its marker at 1000: the block names both
// slots, and every file of each reads back.
TEST_P(Reader, ReadsBothSlotsOfAnAttachedRom) {
  TempDir dir;
  const fs::test::Tree b = {{"data.bin", Pattern(1000)}};
  WriteFile(dir / "a.kid", image_);
  WriteFile(dir / "b.kid", fs::test::Image(b));
  WriteFile(dir / "host.gba", HostRom(3000, 1000));
  ASSERT_OK(rom::AttachDrives({.host = dir / "host.gba", .drive0 = dir / "a.kid",
                               .drive1 = dir / "b.kid", .output = dir / "rom.gba",
                               .saveFlash = true}));
  const std::string rom = ReadFile(dir / "rom.gba");
  kfs_params p;
  ASSERT_EQ(kfs_find_params(rom.data(), Size32(rom), &p), KFS_OK);
  EXPECT_EQ(std::vector({p.start[0], p.end[0], p.start[1], p.end[1]}),
            std::vector({3000u, 2999 + Size32(image_), 3000 + Size32(image_), Size32(rom) - 1}));
  EXPECT_EQ(p.saveflash, 1);
  for (int slot = 0; slot < 2; ++slot) {
    ASSERT_EQ(Mount(rom, p.start[slot], p.end[slot] - p.start[slot] + 1), KFS_OK);
    Listing listing;
    EXPECT_EQ(Walk(listing), KFS_OK);
    EXPECT_EQ(listing, ListingOf(slot == 0 ? A : b));
    char name[KFS_NAME_MAX + 1];
    kfs_drive_name(&drive_, name);
    EXPECT_STREQ(name, slot == 0 ? "Levels" : "Kivo Rom Drive");
  }
}

TEST_P(Reader, PathsResolveOrFailByKind) {
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
TEST_P(Reader, AMountMakesEarlierHandlesStale) {
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
  auto failing = [](void*, std::uint32_t, void*, std::uint32_t) { return 1; };
  EXPECT_EQ(kfs_mount_callback(&drive_, failing, nullptr, 0, Size32(image_)), KFS_ERR_IO);
  EXPECT_EQ(kfs_mount_callback(&drive_, failing, nullptr, 0xFFFFF000u, Size32(image_)),
            KFS_ERR_ARG);
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

TEST_P(Reader, DamagedImagesGiveFormatErrors) {
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
    EXPECT_EQ(result == KFS_OK ? Walk(listing) : result, KFS_ERR_FORMAT) << c.what;
  }
  EXPECT_EQ(Mount(image_.substr(0, size - 512)), KFS_ERR_FORMAT) << "cut short";
}

// Every file lies where kfs_offset says, as one run of the image; a memory mount hands out
// that run itself, a callback mount refuses to.
TEST_P(Reader, MapAndOffsetNameEachFilesBytes) {
  ASSERT_EQ(Mount(image_), KFS_OK);
  for (const auto& [path, bytes] : ListingOf(A)) {
    if (bytes == "/") continue;
    kfs_file f;
    ASSERT_EQ(kfs_open(&drive_, path.c_str(), &f), KFS_OK) << path;
    const std::uint32_t offset = kfs_offset(&f);
    EXPECT_EQ(image_.substr(offset, bytes.size()), bytes) << path;
    const void* data = &f;
    std::uint32_t size = 1;
    if (GetParam()) {
      EXPECT_EQ(kfs_map(&f, &data, &size), KFS_ERR_ARG) << path;
      EXPECT_EQ(data, nullptr) << path;
      continue;
    }
    ASSERT_EQ(kfs_map(&f, &data, &size), KFS_OK) << path;
    EXPECT_EQ(data, exact_.get() + offset) << path;
    EXPECT_EQ(size, bytes.size()) << path;
  }
  EXPECT_EQ(kfs_offset(nullptr), 0u);
}

// The copy function's calls, as (offset in the image, bytes).
std::vector<std::pair<std::ptrdiff_t, std::uint32_t>> copies;
const char* copied_image = nullptr;
void LoggedCopy(void* dst, const void* src, std::uint32_t n) {
  copies.emplace_back(static_cast<const char*>(src) - copied_image, n);
  std::memcpy(dst, src, n);
}

// Each read that has bytes to give makes one call of the copy function, with exactly the
// file's next bytes; reads at the end make none. Only memory mounts have one.
TEST_P(Reader, CopyFunctionCopiesEachReadInsideTheFile) {
  ASSERT_EQ(Mount(image_), KFS_OK);
  if (GetParam()) {
    EXPECT_EQ(kfs_set_copy(&drive_, LoggedCopy), KFS_ERR_ARG);
    return;
  }
  ASSERT_EQ(kfs_set_copy(&drive_, LoggedCopy), KFS_OK);
  copied_image = exact_.get();
  for (const auto& [path, bytes] : ListingOf(A)) {
    if (bytes == "/") continue;
    kfs_file f;
    ASSERT_EQ(kfs_open(&drive_, path.c_str(), &f), KFS_OK);
    std::string read(bytes.size() + 700, '\0');
    std::vector<std::pair<std::ptrdiff_t, std::uint32_t>> expected;
    copies.clear();
    for (std::uint32_t pos = 0; pos <= bytes.size(); pos += 700) {
      const std::uint32_t n = std::min<std::uint32_t>(700, Size32(bytes) - pos);
      if (n > 0) expected.emplace_back(kfs_offset(&f) + pos, n);
      EXPECT_EQ(kfs_read(&f, read.data() + pos, 700), std::int32_t(n)) << path;
    }
    EXPECT_EQ(kfs_read(&f, read.data(), 700), 0) << path;
    EXPECT_EQ(copies, expected) << path;
    EXPECT_EQ(read.substr(0, bytes.size()), bytes) << path;
  }
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

// The image that `build --allow-empty` makes of an empty folder mounts, and its root lists
// nothing.
TEST_P(Reader, AnImageWithAnEmptyRootMounts) {
  fs::BuilderOptions options = fs::test::FixedClock();
  options.allowEmpty = true;
  fs::test::Build built({}, options);
  ASSERT_EQ(built.result, fs::BuildOutcome::Built) << built.problems;
  ASSERT_EQ(Mount(built.image), KFS_OK);
  Listing listing;
  EXPECT_EQ(Walk(listing), KFS_OK);
  EXPECT_TRUE(listing.empty());
}

TEST(ReaderParams, BadBlocksAndMarkers) {
  // A 64-byte ROM: marker at 4, slot 1 = 40..49, slot 2 = 50..63.
  std::string good = HostRom(64, 4);
  for (auto [at, value] : {std::pair{15, 40}, {19, 49}, {23, 50}, {27, 63}}) Put32(good, at, value);
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
}

}  // namespace
}  // namespace kivo::test
