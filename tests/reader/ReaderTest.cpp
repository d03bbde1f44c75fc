// The reader for the program in the ROM, on images that the real kivofs builds and attaches:
// both mounts, both slots, paths and their errors, and damaged images.
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

constexpr std::uint32_t HostSize = 3000;
constexpr std::uint32_t MarkerAt = 1000;

// The source tree as the reader lists it: names cut to their 16 stored bytes.
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

std::uint32_t Size32(const std::string& bytes) { return static_cast<std::uint32_t>(bytes.size()); }

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
}
std::uint32_t Get32(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
  return value;
}

// A medium that reads only whole 512-byte blocks, as a DS card does; the bytes are padded to
// whole blocks, as a card reads past the end of the file.
struct Card {
  explicit Card(std::string bytes) : data(std::move(bytes)) {
    data.resize((data.size() + 511) / 512 * 512);
    kfs_block_init(&medium, &Card::ReadBlocks, this);
  }
  static int ReadBlocks(void* ctx, std::uint32_t offset, void* dst, std::uint32_t count) {
    auto* card = static_cast<Card*>(ctx);
    bool aligned = offset % 512 == 0 && reinterpret_cast<std::uintptr_t>(dst) % 4 == 0;
    EXPECT_TRUE(aligned && offset + std::uint64_t{count} * 512 <= card->data.size()) << offset;
    if (!aligned || offset + std::uint64_t{count} * 512 > card->data.size()) return -1;
    std::memcpy(dst, card->data.data() + offset, std::size_t{count} * 512);
    return 0;
  }
  std::string data;
  kfs_block_medium medium;
};

enum class Mount { Memory, Callback };

class ReaderTest : public testing::Test {
 protected:
  // Built once: drive 0 from tree A, drive 1 from tree B, attached with the flag set.
  static void SetUpTestSuite() {
    ::setenv("SOURCE_DATE_EPOCH", "1142431509", 1);  // Wednesday 15 March 2006, 14:05:09 UTC
    a_ = std::make_unique<TempTree>();
    b_ = std::make_unique<TempTree>();
    big_ = a_->FileOfSize("levels/level1.map", 70000);  // more than one table block
    a_->FileOfSize("levels/Deep/deeper/end.bin", 512);
    a_->File("levels/Deep/empty.txt", "");
    a_->FileOfSize("README.txt", 100);
    a_->FileOfSize("sixteen_letters_", 511);
    a_->FileOfSize("a_name_of_17_char/x", 513);
    a_->Dir("empty");
    b_->FileOfSize("data.bin", 1000);
    std::string host(HostSize, '\x11');
    host.replace(MarkerAt, 28, std::string("KivoFSDrive") + std::string(17, '\0'));
    kivo::hardening::Spill(a_->base() / "host.gba", host);
    const stdfs::path scratch = a_->base();
    auto run = [&](const std::vector<std::string>& args) {
      auto outcome = kivo::hardening::Kivofs(args, scratch);
      EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    };
    run({"build", a_->srcText(), "-o", (scratch / "a.kid").string(), "--name", "Levels", "-q"});
    run({"build", b_->srcText(), "-o", (scratch / "b.kid").string(), "-q"});
    run({"attach", (scratch / "host.gba").string(), "-o", (scratch / "rom.gba").string(),
         "--drive0", (scratch / "a.kid").string(), "--drive1", (scratch / "b.kid").string(),
         "--saveflash"});
    image_ = ReadText(scratch / "a.kid");
    rom_ = ReadText(scratch / "rom.gba");
  }
  static void TearDownTestSuite() { a_.reset(), b_.reset(); }

  // Mounts `bytes` (the image alone) the given way; in memory, from a buffer of exactly its
  // size, so that AddressSanitizer sees any read past it.
  int MountImage(kfs_drive& drive, const std::string& bytes, Mount how) {
    std::uint32_t size = Size32(bytes);
    if (how == Mount::Memory) {
      exact_ = std::make_unique<char[]>(size);
      std::memcpy(exact_.get(), bytes.data(), size);
      return kfs_mount_memory(&drive, exact_.get(), size);
    }
    card_ = std::make_unique<Card>(bytes);
    return kfs_mount_callback(&drive, kfs_block_read, &card_->medium, 0, size);
  }
  // Mounts slot `slot` of the attached ROM.
  int MountSlot(kfs_drive& drive, int slot, Mount how) {
    kfs_params p;
    EXPECT_EQ(kfs_find_params(rom_.data(), Size32(rom_), &p), KFS_OK);
    std::uint32_t size = p.end[slot] - p.start[slot] + 1;
    if (how == Mount::Memory) return kfs_mount_memory(&drive, rom_.data() + p.start[slot], size);
    card_ = std::make_unique<Card>(rom_);
    return kfs_mount_callback(&drive, kfs_block_read, &card_->medium, p.start[slot], size);
  }

  static inline std::unique_ptr<TempTree> a_, b_;
  static inline std::string big_, image_, rom_;
  std::unique_ptr<Card> card_;
  std::unique_ptr<char[]> exact_;
  kfs_drive drive_;
};

TEST_F(ReaderTest, TheBlockNamesBothSlotsAndTheFlag) {
  const std::uint32_t a = Size32(image_);
  for (int found = 0; found < 2; ++found) {
    kfs_params p;
    auto* block = reinterpret_cast<const std::uint8_t*>(rom_.data()) + MarkerAt + 11;
    ASSERT_EQ(found ? kfs_find_params(rom_.data(), Size32(rom_), &p)
                    : kfs_decode_params(block, &p),
              KFS_OK);
    EXPECT_EQ(p.start[0], HostSize);
    EXPECT_EQ(p.end[0], HostSize + a - 1);
    EXPECT_EQ(p.start[1], HostSize + a);
    EXPECT_EQ(p.end[1], rom_.size() - 1);
    EXPECT_EQ(p.saveflash, 1);
  }
}

TEST_F(ReaderTest, EveryFileReadsBackThroughBothMountsAndSlots) {
  for (Mount how : {Mount::Memory, Mount::Callback}) {
    for (int slot = 0; slot < 2; ++slot) {
      ASSERT_EQ(MountSlot(drive_, slot, how), KFS_OK);
      Listing listing;
      std::size_t budget = 1000;
      EXPECT_EQ(kivo::readertest::Walk(drive_, "", listing, budget), KFS_OK);
      EXPECT_EQ(listing, TreeListing((slot == 0 ? a_ : b_)->src()));
      char name[KFS_NAME_MAX + 1];
      kfs_drive_name(&drive_, name);
      EXPECT_STREQ(name, slot == 0 ? "Levels" : "Kivo Rom Drive");
    }
  }
}

TEST_F(ReaderTest, RandomChunksAndSeeksReadTheRightBytes) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> any(0, Size32(big_));
  for (Mount how : {Mount::Memory, Mount::Callback}) {
    ASSERT_EQ(MountSlot(drive_, 0, how), KFS_OK);
    kfs_file f;
    ASSERT_EQ(kfs_open(&drive_, "levels/level1.map", &f), KFS_OK);
    std::string chunk(4000, '\0');
    for (int i = 0; i < 300; ++i) {
      std::uint32_t pos = any(random), n = any(random) % 4000;
      if (i % 3 != 0) {
        ASSERT_EQ(kfs_seek(&f, pos), KFS_OK);
      }
      pos = kfs_tell(&f);
      std::int32_t got = kfs_read(&f, chunk.data(), n);
      ASSERT_EQ(got, static_cast<std::int32_t>(std::min<std::size_t>(n, big_.size() - pos)));
      ASSERT_EQ(chunk.substr(0, got), big_.substr(pos, got)) << pos;
      ASSERT_EQ(kfs_tell(&f), pos + got);
    }
    EXPECT_EQ(kfs_seek(&f, kfs_size(&f) + 1), KFS_ERR_ARG);
  }
}

TEST_F(ReaderTest, AReadIsOneCallbackCall) {
  struct Counter {
    const std::string* bytes;
    int calls = 0;
    static int Read(void* ctx, std::uint32_t offset, void* dst, std::uint32_t size) {
      auto* self = static_cast<Counter*>(ctx);
      ++self->calls;
      std::memcpy(dst, self->bytes->data() + offset, size);
      return 0;
    }
  } counter{&image_};
  ASSERT_EQ(kfs_mount_callback(&drive_, Counter::Read, &counter, 0, Size32(image_)), KFS_OK);
  kfs_file f;
  ASSERT_EQ(kfs_open(&drive_, "levels/level1.map", &f), KFS_OK);
  int before = counter.calls;
  std::string all(big_.size(), '\0');
  ASSERT_EQ(kfs_read(&f, all.data(), Size32(all)), static_cast<std::int32_t>(all.size()));
  EXPECT_EQ(counter.calls, before + 1);
  EXPECT_EQ(all, big_);
}

TEST_F(ReaderTest, PathsResolveOrFailByKind) {
  enum Op { Stat, Open, OpenDir };
  struct Case {
    const char* path;
    Op op;
    int result;
    const char* name;  // of the item found
  } cases[] = {
      {"", Stat, KFS_OK, ""},
      {"/", OpenDir, KFS_OK, ""},
      {"//LEVELS//Level1.MAP", Open, KFS_OK, "level1.map"},
      {"levels/deep/DEEPER/", OpenDir, KFS_OK, "deeper"},
      {"a_name_of_17_chars_or_more/X", Stat, KFS_OK, "x"},
      {"sixteen_letters_", Stat, KFS_OK, "sixteen_letters_"},
      {"sixteen_letters", Stat, KFS_ERR_NOT_FOUND, ""},
      {"levels/none", Stat, KFS_ERR_NOT_FOUND, ""},
      {"levels/.", OpenDir, KFS_ERR_NOT_FOUND, ""},
      {"levels/Deep/..", OpenDir, KFS_ERR_NOT_FOUND, ""},
      {"README.txt/x", Stat, KFS_ERR_NOT_DIR, ""},
      {"levels", Open, KFS_ERR_IS_DIR, ""},
      {"README.txt", OpenDir, KFS_ERR_NOT_DIR, ""},
  };
  ASSERT_EQ(MountImage(drive_, image_, Mount::Memory), KFS_OK);
  for (const Case& c : cases) {
    kfs_stat st{};
    kfs_file f;
    kfs_dir dir;
    int result = c.op == Stat ? kfs_stat_path(&drive_, c.path, &st)
                 : c.op == Open ? kfs_open(&drive_, c.path, &f)
                                : kfs_opendir(&drive_, c.path, &dir);
    EXPECT_EQ(result, c.result) << c.path;
    if (result == KFS_OK) {
      ASSERT_EQ(kfs_stat_path(&drive_, c.path, &st), KFS_OK);
      EXPECT_STREQ(st.name, c.name) << c.path;
    }
  }
}

TEST_F(ReaderTest, StatDecodesDatesAndTheRoot) {
  ASSERT_EQ(MountImage(drive_, image_, Mount::Callback), KFS_OK);
  kfs_stat st;
  ASSERT_EQ(kfs_stat_path(&drive_, "levels/level1.map", &st), KFS_OK);
  EXPECT_EQ(st.size, 70000u);
  EXPECT_EQ(st.is_dir, 0);
  EXPECT_EQ(std::vector<int>({st.year, st.month, st.day, st.weekday, st.hour, st.minute, st.second}),
            std::vector<int>({2006, 3, 15, 3, 14, 5, 9}));
  ASSERT_EQ(kfs_stat_path(&drive_, "/", &st), KFS_OK);
  EXPECT_EQ(std::vector<int>({st.is_dir, static_cast<int>(st.size), st.name[0], st.year, st.month,
                              st.day, st.hour}),
            std::vector<int>({1, 4096, 0, 0, 0, 0, 0}));
}

TEST_F(ReaderTest, RemountsAndFailedMountsInvalidateWhatWasOpen) {
  ASSERT_EQ(MountImage(drive_, image_, Mount::Memory), KFS_OK);
  kfs_file f;
  kfs_dir dir;
  kfs_stat st;
  char byte;
  ASSERT_EQ(kfs_open(&drive_, "README.txt", &f), KFS_OK);
  ASSERT_EQ(kfs_opendir(&drive_, "levels", &dir), KFS_OK);
  ASSERT_EQ(MountImage(drive_, image_, Mount::Memory), KFS_OK);
  EXPECT_EQ(kfs_read(&f, &byte, 1), KFS_ERR_ARG);
  EXPECT_EQ(kfs_readdir(&dir, &st), KFS_ERR_ARG);

  std::string bad = image_;
  bad[0] = 1;
  EXPECT_EQ(MountImage(drive_, bad, Mount::Memory), KFS_ERR_FORMAT);
  EXPECT_EQ(kfs_stat_path(&drive_, "", &st), KFS_ERR_ARG);
  EXPECT_EQ(kfs_open(&drive_, "README.txt", &f), KFS_ERR_ARG);
  EXPECT_EQ(kfs_opendir(&drive_, "", &dir), KFS_ERR_ARG);
  char name[KFS_NAME_MAX + 1] = "x";
  kfs_drive_name(&drive_, name);
  EXPECT_STREQ(name, "");
  auto failing = [](void*, std::uint32_t, void*, std::uint32_t) { return 1; };
  EXPECT_EQ(kfs_mount_callback(&drive_, failing, nullptr, 0, Size32(image_)), KFS_ERR_IO);
  EXPECT_EQ(kfs_mount_callback(&drive_, failing, nullptr, 0xFFFFF000u, Size32(image_)), KFS_ERR_ARG);
}

// Offset of the slot named `name` in the directory region at `region`, from slot `first` on.
std::size_t SlotOf(const std::string& image, std::size_t region, const char* name, int first) {
  for (std::size_t slot = first; slot < 117; ++slot) {
    if (std::strncmp(image.data() + region + 35 * slot, name, 16) == 0) return region + 35 * slot;
  }
  ADD_FAILURE() << "no slot " << name;
  return 0;
}

TEST_F(ReaderTest, DamagedImagesGiveFormatErrors) {
  const std::uint32_t size = Size32(image_), fat = Get32(image_, 28);
  const std::uint32_t root = Get32(image_, 44), data = Get32(image_, 48);
  const std::size_t levels = SlotOf(image_, root, "levels", 0);
  const std::size_t readme = SlotOf(image_, root, "README.txt", 0);
  const std::size_t block = Get32(image_, levels + 20) * 512;
  const std::size_t deep = SlotOf(image_, block, "Deep", 2);
  const std::size_t map = SlotOf(image_, block, "level1.map", 2);
  const std::uint32_t first = Get32(image_, map + 20), last = first + 70000 / 512 + 1;
  auto link = [](std::uint32_t cluster) { return 512 + 4 * cluster; };
  using Edit = std::function<void(std::string&)>;
  auto put = [](std::size_t at, std::uint32_t value) -> Edit {
    return [=](std::string& image) { Put32(image, at, value); };
  };
  const std::pair<const char*, Edit> cases[] = {
      {"version", put(0, 101)},
      {"boot size", put(24, 1024)},
      {"root size", put(32, 8192)},
      {"table start", put(40, 1024)},
      {"drive size", put(20, size + 512)},
      {"table size", put(28, fat + 4)},
      {"root start", put(44, root + 512)},
      {"data start", put(48, data + 512)},
      {"data size", put(36, size - data - 512)},
      {"cut short", [=](std::string& image) { image.resize(size - 512); }},
      {"file past the end", put(map + 20, 0x00FFFFFF)},
      {"file in the header", put(map + 20, 1)},
      {"file longer than its chain", put(map + 16, 80000)},
      {"file of 4 GiB", put(map + 16, 0xFFFFFFFF)},
      {"chain with a gap", put(link(first + 5), first + 7)},
      {"chain ended early", put(link(first + 3), 0xFFFFFFFF)},
      {"chain without an end", put(link(last), last + 1)},
      {"directory looping back", put(deep + 20, Get32(image_, levels + 20))},
      {"directory on the root", put(levels + 20, root / 512)},
      {"directory of 0 bytes", put(levels + 16, 0)},
      {"unknown kind", put(readme + 24, 0xFFFFFFFD)},
  };
  for (const auto& [what, edit] : cases) {
    for (Mount how : {Mount::Memory, Mount::Callback}) {
      std::string bad = image_;
      edit(bad);
      int result = MountImage(drive_, bad, how);
      Listing listing;
      std::size_t budget = 1000;
      if (result == KFS_OK) result = kivo::readertest::Walk(drive_, "", listing, budget);
      EXPECT_EQ(result, KFS_ERR_FORMAT) << what;
    }
  }
}

TEST(ReaderParamsTest, BadBlocksAndMarkers) {
  // A 64-byte ROM: marker at 4, slot 1 = 40..49, slot 2 = 50..63.
  std::string good(64, '\x11');
  good.replace(4, 28, std::string("KivoFSDrive") + std::string(17, '\0'));
  for (auto [at, value] : {std::pair{15, 40}, {19, 49}, {23, 50}, {27, 63}}) Put32(good, at, value);
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    std::uint32_t size;
    int result;
  } cases[] = {
      {"intact", [](std::string&) {}, 64, KFS_OK},
      {"slot 1 empty", [](std::string& r) { Put32(r, 15, 0), Put32(r, 19, 0); }, 64, KFS_ERR_NO_DRIVE},
      {"slot 1 backwards", [](std::string& r) { Put32(r, 19, 39); }, 64, KFS_ERR_FORMAT},
      {"slot 2 backwards", [](std::string& r) { Put32(r, 27, 49); }, 64, KFS_ERR_FORMAT},
      {"slot 2 past the bytes", [](std::string&) {}, 63, KFS_ERR_FORMAT},
      {"no marker", [](std::string& r) { r[4] = 'k'; }, 64, KFS_ERR_NO_DRIVE},
      {"block past the bytes", [](std::string&) {}, 31, KFS_ERR_NO_DRIVE},
      {"an empty block first",
       [](std::string& r) { r = "KivoFSDrive" + std::string(17, '\0') + r; }, 92,
       KFS_ERR_NO_DRIVE},
  };
  for (const Case& c : cases) {
    std::string rom = good;
    c.damage(rom);
    kfs_params p;
    EXPECT_EQ(kfs_find_params(rom.data(), c.size, &p), c.result) << c.what;
  }
}

}  // namespace
