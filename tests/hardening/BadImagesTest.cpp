// Broken and hostile drive images through every command that reads one: each must finish,
// never crash, refuse with an error naming the image and the problem where it cannot go
// on, print no raw control bytes, and never write anything outside an extraction's
// destination (nor anything at all when it refuses).
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fsimage/Format.h"
#include "tests/fsimage/ImageComposer.h"
#include "tests/hardening/HardeningSupport.h"

namespace kivo::hardening {
namespace {

using Image = std::vector<std::byte>;
using fs::testing::Compose;
using fs::testing::Dir;
using fs::testing::File;
using fs::testing::Put32;

// docs (clusters 10 to 17) holding a.bin (1000 bytes, clusters 18 to 20), then readme.txt
// (100 bytes, clusters 21 and 22). Table at 512, root directory at 1024, data at 5120.
constexpr std::size_t RootSlot0 = 1024;
constexpr std::size_t RootSlot1 = RootSlot0 + fs::DirEntrySize;
constexpr std::size_t DocsBlock = 10 * fs::ClusterSize;
constexpr std::size_t DocsSlot2 = DocsBlock + 2 * fs::DirEntrySize;
constexpr std::size_t DocsSlot3 = DocsBlock + 3 * fs::DirEntrySize;

Image Base() {
  std::string a(1000, '\0');
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>('a' + i % 26);
  return Compose({Dir("docs", {File("a.bin", a)}), File("readme.txt", std::string(100, 'r'))});
}

void Name(Image& image, std::size_t slot, const std::string& bytes) {
  for (std::size_t i = 0; i < fs::entry::NameSize; ++i) {
    image[slot + i] = i < bytes.size() ? static_cast<std::byte>(bytes[i]) : std::byte{0};
  }
}

Image Cut(std::size_t length) {
  Image image = Base();
  image.resize(length);
  return image;
}

void TableEntry(Image& image, std::uint32_t cluster, std::uint32_t value) {
  Put32(image, fs::FatStart + 4 * cluster, value);
}

// Which commands must refuse the image, and a part of what each says. Commands not listed
// may succeed, but must still finish without a crash.
using Expectations = std::map<std::string, std::string>;

struct BadImage {
  const char* label;
  std::function<Image()> make;
  Expectations refusals;
};

const std::vector<BadImage>& Cases() {
  static const std::vector<BadImage> cases = {
      {"Empty", [] { return Image(); },
       {{"info", "too short"}, {"ls", "too short"}, {"verify", "too short"}, {"extract", "too short"}}},
      {"NineteenBytes", [] { return Cut(19); },
       {{"info", "too short"}, {"ls", "too short"}, {"verify", "too short"}, {"extract", "too short"}}},
      {"FortySevenBytes", [] { return Cut(47); },
       {{"info", "too short"}, {"ls", "too short"}, {"verify", "too short"}, {"extract", "too short"}}},
      {"CutInsideTheDataArea", [] { return Cut(7000); },
       {{"ls", "outside"}, {"verify", "driveSize"}, {"extract", "outside"}}},
      {"RegionsPastTheEnd",
       [] {
         Image image = Base();
         Put32(image, fs::header::DriveSize, 0x10000000);
         Put32(image, fs::header::DataSize, 0x10000000 - 5120);
         Put32(image, fs::header::RootStart, 0x01000000);
         return image;
       },
       {{"info", "root directory"}, {"ls", "outside"}, {"verify", "rootStart"}, {"extract", "outside"}}},
      {"NegativeOffsets",
       [] {
         Image image = Base();
         Put32(image, fs::header::RootStart, 0xFFFFFC00);
         Put32(image, fs::header::RootSize, 0x80000000);
         return image;
       },
       {{"info", "root directory"}, {"ls", "outside"}, {"verify", "rootStart"}, {"extract", "outside"}}},
      {"HugeFirstCluster",
       [] {
         Image image = Base();
         Put32(image, RootSlot1 + fs::entry::FirstCluster, 0x7FFFFFFF);
         return image;
       },
       {{"verify", "readme.txt"}, {"extract", "outside the image"}}},
      {"HugeFileSize",
       [] {
         Image image = Base();
         Put32(image, RootSlot1 + fs::entry::Size, 0xFFFFFFF0);
         return image;
       },
       {{"verify", "readme.txt"}, {"extract", "outside the image"}}},
      {"DirectoryBeyondTheEnd",
       [] {
         Image image = Base();
         Put32(image, RootSlot0 + fs::entry::FirstCluster, 0xFFFFFFF0);
         return image;
       },
       {{"ls", "outside"}, {"verify", "docs"}, {"extract", "outside"}}},
      {"ChainLoops",
       [] {
         Image image = Base();
         TableEntry(image, 19, 18);
         return image;
       },
       {{"verify", "cluster 19"}}},
      {"ChainRunsOffTheTable",
       [] {
         Image image = Base();
         TableEntry(image, 21, 0x00100000);
         return image;
       },
       {{"verify", "cluster 21"}}},
      {"DirectoryContainsItself",
       [] {
         Image image = Base();
         Name(image, DocsSlot3, "self");
         Put32(image, DocsSlot3 + fs::entry::Size, fs::RootSize);
         Put32(image, DocsSlot3 + fs::entry::FirstCluster, 10);
         Put32(image, DocsSlot3 + fs::entry::Kind, static_cast<std::uint32_t>(fs::KindDirectory));
         return image;
       },
       {{"ls", "loops"}, {"verify", "self"}, {"extract", "loops"}}},
      {"DirectoryIsTheRoot",
       [] {
         Image image = Base();
         Put32(image, RootSlot0 + fs::entry::FirstCluster, 1024 / fs::ClusterSize);
         return image;
       },
       {{"ls", "loops"}, {"verify", "docs"}, {"extract", "loops"}}},
      {"NameDotDot",
       [] {
         Image image = Base();
         Name(image, DocsSlot2, "..");
         return image;
       },
       {{"verify", "'.' or '..'"}, {"extract", "'.' or '..'"}}},
      {"NameAbsolutePath",
       [] {
         Image image = Base();
         Name(image, RootSlot1, "/etc");
         return image;
       },
       {{"verify", "'/'"}, {"extract", "'/'"}}},
      {"NameWithBackslashes",
       [] {
         Image image = Base();
         Name(image, RootSlot1, "..\\..\\evil");
         return image;
       },
       {{"verify", "'\\'"}, {"extract", "'\\'"}}},
      {"NameWithControlBytes",
       [] {
         Image image = Base();
         Name(image, RootSlot1, "a\x1b[2J\rb\x7f");
         return image;
       },
       {{"verify", "control character"}, {"extract", "control character"}}},
      {"NameOfSixteenBytesWithoutTerminator",
       [] {
         Image image = Base();
         Name(image, RootSlot1, "sixteen_letters!");
         return image;
       },
       {}},
  };
  return cases;
}

bool HasRawControlBytes(const std::string& text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F) return true;
  }
  return false;
}

class BadImages : public ::testing::TestWithParam<BadImage> {};

TEST_P(BadImages, EveryReaderFinishesAndRefusesClearly) {
  Scratch scratch;
  const stdfs::path image = scratch / "bad.kid";
  const std::string bytes = FromBytes(GetParam().make());
  Spill(image, bytes);
  const stdfs::path outer = scratch / "x";
  const stdfs::path destination = outer / "y" / "dest";
  stdfs::create_directories(destination.parent_path());

  const std::map<std::string, std::vector<std::string>> commands = {
      {"info", {"info", image.string()}},
      {"ls", {"ls", "-R", "-l", image.string()}},
      {"verify", {"verify", image.string()}},
      {"extract", {"extract", image.string(), destination.string()}},
  };
  for (const auto& [name, args] : commands) {
    SCOPED_TRACE(name);
    Outcome run = Kivofs(args, scratch.root(), {.fileSize = std::nullopt, .seconds = 30});
    SCOPED_TRACE(run.err);
    ASSERT_FALSE(run.timedOut);
    ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 1) << "crashed: " << run.exitCode;
    EXPECT_FALSE(HasRawControlBytes(run.out)) << run.out;
    EXPECT_FALSE(HasRawControlBytes(run.err));
    auto refusal = GetParam().refusals.find(name);
    if (refusal != GetParam().refusals.end()) {
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_EQ(run.err.rfind("kivofs: error: ", 0), 0u);
      EXPECT_TRUE(Contains(run.err, image.string())) << "the error does not name the image";
      EXPECT_TRUE(Contains(run.err + run.out, refusal->second))
          << "the message does not say: " << refusal->second << "\n" << run.out;
    } else {
      EXPECT_EQ(run.exitCode, 0) << run.out;
    }
  }
  EXPECT_EQ(Slurp(image), bytes) << "a reader changed the image";
  // Nothing beside or above the destination, whatever the names said.
  auto written = Snapshot(outer);
  for (const auto& [path, contents] : written) {
    EXPECT_TRUE(path == "y" || path.rfind("y/dest", 0) == 0) << "written outside: " << path;
    EXPECT_NE(contents.rfind("->", 0), 0u) << "extraction made a link: " << path;
  }
  if (GetParam().refusals.count("extract")) {
    EXPECT_EQ(Snapshot(destination), (std::map<std::string, std::string>{}))
        << "a refused extraction wrote something";
  }
}

INSTANTIATE_TEST_SUITE_P(Table, BadImages, ::testing::ValuesIn(Cases()),
                         [](const auto& test) { return std::string(test.param.label); });

// A stored name of exactly 16 bytes has no terminator: it is the whole name, and the bytes
// of the size field behind it are not part of it.
TEST(BadImagesEdge, SixteenByteNameExtractsAsExactlySixteenBytes) {
  Scratch scratch;
  Image bytes = Base();
  Name(bytes, RootSlot1, "sixteen_letters!");
  const stdfs::path image = scratch / "long.kid";
  Spill(image, FromBytes(bytes));
  Outcome run = Kivofs({"extract", image.string(), (scratch / "out").string()}, scratch.root());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Slurp(scratch / "out" / "sixteen_letters!"), std::string(100, 'r'));
  Outcome listed = Kivofs({"ls", image.string()}, scratch.root());
  EXPECT_EQ(listed.out, "docs/\nsixteen_letters!\n");
}

}  // namespace
}  // namespace kivo::hardening
