// The ROM-side reader on images that the real kivofs builds and attaches: both mounts and
// slots, paths and their errors, stale handles, damaged images and parameter blocks.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "reader/examples/ds-callback/block_reader.h"
#include "tests/fsimage/BuildFixture.h"
#include "tests/hardening/HardeningSupport.h"
#include "tests/reader/ReaderWalk.h"

namespace {

namespace stdfs = std::filesystem;
using kivo::fs::testing::ReadText;
using kivo::fs::testing::TempTree;
using kivo::readertest::Listing;
using kivo::readertest::Walk;

constexpr std::uint32_t HostSize = 3000, MarkerAt = 1000;

std::uint32_t Size32(const std::string& bytes) { return static_cast<std::uint32_t>(bytes.size()); }
void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}
std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

std::vector<std::uint32_t> Fields(const kfs_params& p) {
  return {p.start[0], p.end[0], p.start[1], p.end[1], p.saveflash};
}
std::vector<std::uint32_t> Fields(const kfs_stat& s) {
  return {s.is_dir, s.size, s.year, s.month, s.day, s.weekday, s.hour, s.minute, s.second};
}

// The source tree as the reader lists it: names cut to the 16 bytes stored.
Listing TreeListing(const stdfs::path& root) {
  Listing listing;
  for (const auto& item : stdfs::recursive_directory_iterator(root)) {
    std::string path;
    for (const auto& part : stdfs::relative(item.path(), root)) {
      path += (path.empty() ? "" : "/") + part.string().substr(0, KFS_NAME_MAX);
    }
    listing[path] = item.is_directory() ? "/" : ReadText(item.path());
  }
  return listing;
}

// A DS-like medium that reads only whole, aligned 512-byte blocks (padded, as a card reads on
// past the end of the file), behind the DS example's block reader. `reads` counts the
// reader's callback calls.
struct Card {
  explicit Card(std::string bytes) : data(std::move(bytes)) {
    data.resize((data.size() + 511) / 512 * 512);
    kfs_block_init(&medium, Blocks, this);
  }
  static int Blocks(void* ctx, std::uint32_t offset, void* dst, std::uint32_t count) {
    auto* card = static_cast<Card*>(ctx);
    EXPECT_TRUE(offset % 512 == 0 && reinterpret_cast<std::uintptr_t>(dst) % 4 == 0) << offset;
    std::memcpy(dst, card->data.data() + offset, std::size_t{count} * 512);  // ASan checks the end
    return 0;
  }
  static int Read(void* ctx, std::uint32_t offset, void* dst, std::uint32_t size) {
    ++static_cast<Card*>(ctx)->reads;
    return kfs_block_read(&static_cast<Card*>(ctx)->medium, offset, dst, size);
  }
  std::string data;
  kfs_block_medium medium;
  int reads = 0;
};

class ReaderTest : public testing::TestWithParam<bool> {
 protected:
  // Built once: drive 0 from tree A, drive 1 from tree B, attached with the flag set.
  static void SetUpTestSuite() {
    ::setenv("SOURCE_DATE_EPOCH", "1142431509", 1);  // Wednesday 15 March 2006, 14:05:09 UTC
    a_ = std::make_unique<TempTree>();
    b_ = std::make_unique<TempTree>();
    big_ = a_->FileOfSize("levels/level1.map", 70000);  // more than one block of table
    a_->FileOfSize("levels/Deep/deeper/end.bin", 512);
    a_->File("levels/Deep/empty.txt", "");
    a_->FileOfSize("README.txt", 100);
    a_->FileOfSize("sixteen_letters_", 511);
    a_->FileOfSize("a_name_of_17_char/x", 513);
    a_->Dir("empty");
    b_->FileOfSize("data.bin", 1000);
    const stdfs::path dir = a_->base();
    std::string host(HostSize, '\x11');
    kivo::hardening::Spill(dir / "host.gba",
                           host.replace(MarkerAt, 28, "KivoFSDrive" + std::string(17, '\0')));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"build", a_->srcText(), "-o", (dir / "a.kid").string(), "--name", "Levels", "-q"},
             {"build", b_->srcText(), "-o", (dir / "b.kid").string(), "-q"},
             {"attach", (dir / "host.gba").string(), "-o", (dir / "rom.gba").string(), "--drive0",
              (dir / "a.kid").string(), "--drive1", (dir / "b.kid").string(), "--saveflash"}}) {
      EXPECT_EQ(kivo::hardening::Kivofs(args, dir).exitCode, 0) << args[0];
    }
    image_ = ReadText(dir / "a.kid");
    rom_ = ReadText(dir / "rom.gba");
  }

  // Mounts `size` bytes at `offset` of `bytes` through a Card (GetParam()) or from memory: a
  // buffer of exactly that size, so that AddressSanitizer sees any read past it.
  int Mount(const std::string& bytes, std::uint32_t offset, std::uint32_t size) {
    if (GetParam()) {
      card_ = std::make_unique<Card>(bytes);
      return kfs_mount_callback(&drive_, Card::Read, card_.get(), offset, size);
    }
    exact_ = std::make_unique<char[]>(size);
    std::memcpy(exact_.get(), bytes.data() + offset, size);
    return kfs_mount_memory(&drive_, exact_.get(), size);
  }
  int MountImage(const std::string& image) { return Mount(image, 0, Size32(image)); }
  int MountSlot(int slot) {
    kfs_params p;
    EXPECT_EQ(kfs_find_params(rom_.data(), Size32(rom_), &p), KFS_OK);
    return Mount(rom_, p.start[slot], p.end[slot] - p.start[slot] + 1);
  }

  static inline std::unique_ptr<TempTree> a_, b_;
  static inline std::string big_, image_, rom_;
  std::unique_ptr<Card> card_;
  std::unique_ptr<char[]> exact_;
  kfs_drive drive_;
};

// false: a memory mount; true: a callback mount.
INSTANTIATE_TEST_SUITE_P(Callback, ReaderTest, testing::Bool(), testing::PrintToStringParamName());

TEST_P(ReaderTest, TheBlockNamesBothSlotsAndEveryFileReadsBack) {
  kfs_params found, decoded;
  ASSERT_EQ(kfs_find_params(rom_.data(), Size32(rom_), &found), KFS_OK);
  ASSERT_EQ(kfs_decode_params(reinterpret_cast<const std::uint8_t*>(rom_.data()) + MarkerAt + 11,
                              &decoded),
            KFS_OK);
  EXPECT_EQ(Fields(found), Fields(decoded));
  EXPECT_EQ(found.start[0], HostSize);
  EXPECT_EQ(found.saveflash, 1);
  for (int slot = 0; slot < 2; ++slot) {
    ASSERT_EQ(MountSlot(slot), KFS_OK);
    Listing listing;
    std::size_t budget = 1000;
    EXPECT_EQ(Walk(drive_, "", listing, budget), KFS_OK);
    EXPECT_EQ(listing, TreeListing((slot == 0 ? a_ : b_)->src()));
    char name[KFS_NAME_MAX + 1];
    kfs_drive_name(&drive_, name);
    EXPECT_STREQ(name, slot == 0 ? "Levels" : "Kivo Rom Drive");
  }
}

TEST_P(ReaderTest, RandomChunksAndSeeksEachCostOneRead) {
  ASSERT_EQ(MountImage(image_), KFS_OK);
  kfs_file f;
  ASSERT_EQ(kfs_open(&drive_, "levels/level1.map", &f), KFS_OK);
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> any(0, Size32(big_));
  std::string chunk(4000, '\0');
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(i % 3 == 0 ? KFS_OK : kfs_seek(&f, any(random)), KFS_OK);  // or read on
    std::uint32_t pos = kfs_tell(&f), n = any(random) % 4000;
    int reads = card_ ? card_->reads : 0;
    std::int32_t got = kfs_read(&f, chunk.data(), n);
    ASSERT_EQ(got, static_cast<std::int32_t>(std::min(n, Size32(big_) - pos)));
    ASSERT_EQ(chunk.substr(0, got), big_.substr(pos, got)) << pos;
    ASSERT_EQ(kfs_tell(&f), pos + got);
    // Opening checked the chain: the file is one range, read in one call.
    if (card_) {
      ASSERT_EQ(card_->reads, reads + (got > 0));
    }
  }
  EXPECT_EQ(kfs_seek(&f, kfs_size(&f) + 1), KFS_ERR_ARG);
}

TEST_P(ReaderTest, PathsResolveOrFailByKind) {
  enum Op { Stat, Open, OpenDir };
  const std::tuple<const char*, Op, int, const char*> cases[] = {
      {"", Stat, KFS_OK, ""},
      {"/", OpenDir, KFS_OK, ""},
      {"//LEVELS//Level1.MAP", Open, KFS_OK, "level1.map"},
      {"levels/deep/DEEPER/", OpenDir, KFS_OK, "deeper"},
      {"a_name_of_17_chars_or_more/X", Stat, KFS_OK, "x"},
      {"sixteen_letters_", Stat, KFS_OK, "sixteen_letters_"},
      {"sixteen_letters", Stat, KFS_ERR_NOT_FOUND, ""},
      {"levels/none", Open, KFS_ERR_NOT_FOUND, ""},
      {"levels/.", OpenDir, KFS_ERR_NOT_FOUND, ""},
      {"levels/Deep/..", OpenDir, KFS_ERR_NOT_FOUND, ""},
      {"README.txt/x", Stat, KFS_ERR_NOT_DIR, ""},
      {"levels", Open, KFS_ERR_IS_DIR, ""},
      {"README.txt", OpenDir, KFS_ERR_NOT_DIR, ""},
  };
  ASSERT_EQ(MountImage(image_), KFS_OK);
  for (const auto& [path, op, expected, name] : cases) {
    kfs_stat st{};
    kfs_file f;
    kfs_dir dir;
    int result = op == Stat   ? kfs_stat_path(&drive_, path, &st)
                 : op == Open ? kfs_open(&drive_, path, &f)
                              : kfs_opendir(&drive_, path, &dir);
    EXPECT_EQ(result, expected) << path;
    if (result == KFS_OK) {
      EXPECT_EQ(kfs_stat_path(&drive_, path, &st), KFS_OK);
      EXPECT_STREQ(st.name, name) << path;
    }
  }
}

TEST_P(ReaderTest, StatDecodesDatesAndTheRoot) {
  ASSERT_EQ(MountImage(image_), KFS_OK);
  kfs_stat s;
  ASSERT_EQ(kfs_stat_path(&drive_, "levels/level1.map", &s), KFS_OK);
  EXPECT_EQ(Fields(s), std::vector<std::uint32_t>({0, 70000, 2006, 3, 15, 3, 14, 5, 9}));
  ASSERT_EQ(kfs_stat_path(&drive_, "/", &s), KFS_OK);
  EXPECT_EQ(Fields(s), std::vector<std::uint32_t>({1, 4096, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_STREQ(s.name, "");
}

TEST_P(ReaderTest, RemountsAndFailedMountsInvalidateWhatWasOpen) {
  ASSERT_EQ(MountImage(image_), KFS_OK);
  kfs_file f;
  kfs_dir dir;
  kfs_stat st;
  ASSERT_EQ(kfs_open(&drive_, "README.txt", &f), KFS_OK);
  ASSERT_EQ(kfs_opendir(&drive_, "levels", &dir), KFS_OK);
  ASSERT_EQ(MountImage(image_), KFS_OK);
  EXPECT_EQ(kfs_read(&f, &st, 1), KFS_ERR_ARG);
  EXPECT_EQ(kfs_readdir(&dir, &st), KFS_ERR_ARG);
  EXPECT_EQ(MountImage(image_.substr(1)), KFS_ERR_FORMAT);
  char name[KFS_NAME_MAX + 1] = "x";
  kfs_drive_name(&drive_, name);
  EXPECT_EQ(std::vector<int>({kfs_stat_path(&drive_, "", &st), kfs_open(&drive_, "README.txt", &f),
                              kfs_opendir(&drive_, "", &dir), name[0]}),
            std::vector<int>({KFS_ERR_ARG, KFS_ERR_ARG, KFS_ERR_ARG, 0}));
  auto failing = [](void*, std::uint32_t, void*, std::uint32_t) { return 1; };
  EXPECT_EQ(kfs_mount_callback(&drive_, failing, nullptr, 0, Size32(image_)), KFS_ERR_IO);
  EXPECT_EQ(kfs_mount_callback(&drive_, failing, nullptr, 0xFFFFF000u, Size32(image_)),
            KFS_ERR_ARG);
}

// Offset of the slot named `name` in the directory region at `region`, from slot `first` on.
std::size_t SlotOf(const std::string& image, std::size_t region, const char* name, int first) {
  for (std::size_t slot = first; slot < 117; ++slot) {
    if (std::strncmp(image.data() + region + 35 * slot, name, 16) == 0) return region + 35 * slot;
  }
  ADD_FAILURE() << "no slot " << name;
  return 0;
}

TEST_P(ReaderTest, DamagedImagesGiveFormatErrors) {
  const std::uint32_t size = Size32(image_), fat = Get32(image_, 28);
  const std::uint32_t root = Get32(image_, 44), data = Get32(image_, 48);
  const std::size_t levels = SlotOf(image_, root, "levels", 0);
  const std::size_t readme = SlotOf(image_, root, "README.txt", 0);
  const std::size_t block = Get32(image_, levels + 20) * 512;
  const std::size_t deep = SlotOf(image_, block, "Deep", 2);
  const std::size_t map = SlotOf(image_, block, "level1.map", 2);
  const std::uint32_t first = Get32(image_, map + 20), last = first + 70000 / 512 + 1;
  auto link = [](std::uint32_t cluster) { return 512 + 4 * cluster; };
  const std::pair<const char*, std::vector<std::pair<std::size_t, std::uint32_t>>> cases[] = {
      {"version", {{0, 101}}},
      {"boot size", {{24, 1024}}},
      {"root size", {{32, 8192}}},
      {"table start", {{40, 1024}}},
      {"drive size", {{20, size + 512}}},
      {"table size", {{28, fat + 4}}},
      {"root start", {{44, root + 512}}},
      {"data start", {{48, data + 512}}},
      {"data size", {{36, size - data - 512}}},
      {"regions moved together", {{28, fat + 512}, {44, root + 512}, {48, data + 512}}},
      {"file past the end", {{map + 20, 0x00FFFFFF}}},
      {"file in the header", {{map + 20, 1}}},
      {"file longer than its chain", {{map + 16, 80000}}},
      {"file of 4 GiB", {{map + 16, 0xFFFFFFFF}}},
      {"chain with a gap", {{link(first + 5), first + 7}}},
      {"chain ended early", {{link(first + 3), 0xFFFFFFFF}}},
      {"chain without an end", {{link(last), last + 1}}},
      {"directory looping back", {{deep + 20, Get32(image_, levels + 20)}}},
      {"directory on the root", {{levels + 20, root / 512}}},
      {"directory of 0 bytes", {{levels + 16, 0}}},
      {"unknown kind", {{readme + 24, 0xFFFFFFFD}}},
  };
  for (const auto& [what, edits] : cases) {
    std::string bad = image_;
    for (auto [at, value] : edits) Put32(bad, at, value);
    int result = MountImage(bad);
    Listing listing;
    std::size_t budget = 1000;
    if (result == KFS_OK) result = Walk(drive_, "", listing, budget);
    EXPECT_EQ(result, KFS_ERR_FORMAT) << what;
  }
  EXPECT_EQ(MountImage(image_.substr(0, size - 512)), KFS_ERR_FORMAT) << "cut short";
}

TEST(ReaderParamsTest, BadBlocksAndMarkers) {
  // A 64-byte ROM: marker at 4, slot 1 = 40..49, slot 2 = 50..63.
  std::string good(64, '\x11');
  good.replace(4, 28, "KivoFSDrive" + std::string(17, '\0'));
  for (auto [at, value] : {std::pair{15, 40}, {19, 49}, {23, 50}, {27, 63}}) Put32(good, at, value);
  const std::tuple<const char*, std::function<void(std::string&)>, std::uint32_t, int> cases[] = {
      {"intact", [](std::string&) {}, 64, KFS_OK},
      {"slot 1 empty", [](std::string& r) { Put32(r, 15, 0), Put32(r, 19, 0); }, 64,
       KFS_ERR_NO_DRIVE},
      {"slot 1 backwards", [](std::string& r) { Put32(r, 19, 39); }, 64, KFS_ERR_FORMAT},
      {"slot 2 backwards", [](std::string& r) { Put32(r, 27, 49); }, 64, KFS_ERR_FORMAT},
      {"slot 2 past the bytes", [](std::string&) {}, 63, KFS_ERR_FORMAT},
      {"no marker", [](std::string& r) { r[4] = 'k'; }, 64, KFS_ERR_NO_DRIVE},
      {"block past the bytes", [](std::string&) {}, 31, KFS_ERR_NO_DRIVE},
      {"an empty block first",
       [](std::string& r) { r = "KivoFSDrive" + std::string(17, '\0') + r; }, 92, KFS_ERR_NO_DRIVE},
  };
  for (const auto& [what, damage, size, expected] : cases) {
    std::string rom = good;
    damage(rom);
    kfs_params p;
    EXPECT_EQ(kfs_find_params(rom.data(), size, &p), expected) << what;
  }
}

}  // namespace
