// The kivofs program end to end: for each command line its exit code, standard output and
// standard error, and what it leaves on disk. Each test runs its rows in order in one
// scratch directory, so that later rows read what earlier ones wrote.
#include <functional>

#include <gtest/gtest.h>

#include "tests/fsimage/Fixture.h"

namespace kivo::test {
namespace {

// Whether `text` is `pattern`, each '*' in it standing for any text.
bool Matches(std::string_view pattern, std::string_view text) {
  std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == text;
  if (text.substr(0, star) != pattern.substr(0, star)) return false;
  for (std::size_t at = star; at <= text.size(); ++at) {
    if (Matches(pattern.substr(star + 1), text.substr(at))) return true;
  }
  return false;
}

struct Row {
  std::vector<std::string> args;  // leading NAME=value ones set the environment
  int exitCode;
  std::string out, err;
  std::function<void()> check = {};
};

const std::string& Statistics = fs::test::WorkedExampleStatistics;
const std::string Usage = "kivofs: error: *\nRun 'kivofs --help' for usage.\n";
const std::string Layout =
    "Layout\n  header block         : offset 0, 512 bytes\n"
    "  allocation table     : offset 512, 512 bytes (128 entries)\n  root directory       : offset 1024, 4096 bytes\n"
    "  data area            : offset 5120, 6656 bytes\n  drive size (header)  : 11776 bytes\n";
const std::string GbaWindow =
    "passes the 32 MiB that a GBA program can see (0x08000000 to 0x09FFFFFF): its bytes from 33554432 on cannot be read\n";
const std::string PastGbaWindow =
    "lies wholly past the 32 MiB that a GBA program can see (0x08000000 to 0x09FFFFFF): none of it can be read\n";
const std::string NotAnImage = "kivofs: warning: 'odd.kid' does not look like a drive image (version 840119317, "
                               "driveSize 507453441 for a file of 1000 bytes); its bytes are attached as they are\n";

// A time long before any test ran, in whole seconds, which every host's file times hold.
const stdfs::file_time_type Past =
    std::chrono::floor<std::chrono::seconds>(stdfs::file_time_type::clock::now() - std::chrono::hours(24 * 365));

// A file's modification time in whole seconds since 1970.
long long SecondsOf(const stdfs::path& path) {
  auto time = std::chrono::file_clock::to_sys(stdfs::last_write_time(path));
  return std::chrono::floor<std::chrono::seconds>(time).time_since_epoch().count();
}

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeTree(dir / "src", fs::test::WorkedExample());
    MakeTree(dir / "clash", {{"gfx/Title-Screen-01.png", "1"}, {"gfx/TITLE-SCREEN-01.bmp", "2"}});
    MakeTree(dir / "empty", {});
    image = fs::test::Image(fs::test::WorkedExample());
    std::string bad = image, control = image;
    Put32(bad, 0, 99);
    Put32(bad, 512 + 4 * 16, 0);  // a link in the chain of docs
    control.replace(fs::test::Readme, 4, std::string("a\x01" "b", 4));
    const std::pair<const char*, std::string> files[] = {
        {"a.kid", image}, {"x.bin", std::string(64, 'x')}, {"tiny", "0123456789"}, {"grown.kid", image + '\0'}, {"bad.kid", bad},
        {"control.kid", control}, {"host.nds", HostRom(4096, 100)}, {"plain.nds", Filler(4096)},
        {"odd.kid", Filler(1000, 5)}, {"b.kid", fs::test::Image({{"save.dat", Filler(300)}})}};
    for (const auto& [name, bytes] : files) WriteFile(dir / name, bytes);
    std::string host = HostRom(4096, 100);
    Put32(host, 0x80, 4096);  // the header's used ROM size names the host's end
    WriteFile(dir / "host.nds", host);
    std::string ds = NdsHost(4096, 0x200);
    Put32(ds, 0x80, 4096);
    WriteFile(dir / "ds.nds", ds);
  }

  void Run(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      RunOptions options;
      options.cwd = dir.path();
      options.env = {"SOURCE_DATE_EPOCH=1142431509"};  // Wednesday 15 March 2006, 14:05:09 UTC
      auto arg = row.args.begin();
      for (; arg != row.args.end() && arg->find('=') != std::string::npos; ++arg) options.env.push_back(*arg);
      Outcome run = Kivofs({arg, row.args.end()}, options);
      std::string command;
      for (const std::string& part : row.args) command += part + " ";
      SCOPED_TRACE(command);
      EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
      EXPECT_TRUE(Matches(row.out, run.out)) << "expected:\n" << row.out << "\nprinted:\n" << run.out;
      EXPECT_TRUE(Matches(row.err, run.err)) << "expected:\n" << row.err << "\nprinted:\n" << run.err;
      if (row.check) row.check();
    }
  }
  std::string File(const std::string& name) const { return ReadFile(dir / name); }
  std::string Name(const std::string& file) const { return File(file).substr(4, 16); }

  TempDir dir;
  std::string image;
};

TEST_F(Commands, BuildAndReadADrive) {
  const std::string same = " have the same stored name ignoring case (a name is stored as its first 16 bytes)\n";
  const std::string docs = "d       4096 2006-03-15 Wed 14:05:09         10  docs/\n";
  const std::string readme = "-        100 2006-03-15 Wed 14:05:09         21  readme.txt\n";
  const std::string json =
      "{\n  \"fsVersion\": \"1.00\",\n  \"rootEntries\": 2,\n  \"sizeBytes\": 11776,\n  \"sizeKilobytes\": \"11.5\",\n"
      "  \"driveName\": \"Q\\\"B\\\\\\u0001\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\",\n  \"layout\": {\n"
      "    \"version\": 100,\n    \"driveSize\": 11776,\n    \"bootSize\": 512,\n    \"fatStart\": 512,\n"
      "    \"fatSize\": 512,\n    \"fatEntries\": 128,\n    \"rootStart\": 1024,\n    \"rootSize\": 4096,\n"
      "    \"dataStart\": 5120,\n    \"dataSize\": 6656\n  }\n}\n";
  const std::string warning =
      "kivofs: warning: the drive name 'A Very Long Drive Name' is longer than 15 characters; it is stored as "
      "'A Very Long Dri'\n";
  const std::string stopped = " above (--fail-on-warning)\n";
  Run({
      // The image is the one the builder makes with the same clock, whatever the time zone
      // and however the source is written.
      {{"build", "src", "-o", "a.kid", "--trace"}, 0, Statistics + "root dir\nfile\nroot file\nee\n", "",
       [&] { EXPECT_EQ(Mismatch(File("a.kid"), image), -1); }},
      {{"TZ=Asia/Tokyo", "build", "src/", "-o", "b.kid"}, 0, Statistics + "ee\n", "",
       [&] { EXPECT_EQ(Mismatch(File("b.kid"), image), -1); }},
      {{"build", "src", "-o", "c.kid", "-q"}, 0, "", "", [&] {
         EXPECT_EQ(Mismatch(File("c.kid"), image), -1);
         stdfs::last_write_time(dir / "c.kid", Past);
       }},
      // The same bytes again leave the output as it was, its time too, so make reruns nothing.
      {{"build", "src", "-o", "c.kid", "-q"}, 0, "", "",
       [&] { EXPECT_EQ(stdfs::last_write_time(dir / "c.kid"), Past); }},
      {{"build", "src", "-o", "d.kid", "--dry-run", "--depfile", "d.d"}, 0, Statistics, "",
       [&] { EXPECT_FALSE(stdfs::exists(dir / "d.kid") || stdfs::exists(dir / "d.d")); }},
      // What the build read, for make: every directory and file, each also a rule of its own.
      {{"build", "src", "-o", "e.kid", "--depfile", "e.d", "--exclude", "*.bin", "-q"}, 0, "", "",
       [&] { EXPECT_EQ(File("e.d"), "e.kid: \\\n src \\\n src/docs \\\n src/readme.txt\nsrc:\nsrc/docs:\nsrc/readme.txt:\n"); }},
      // A rule for a stamp that CMake's build runs instead of the image itself.
      {{"build", "src", "-o", "e.kid", "--depfile", "e.d", "--depfile-target", "e.stamp", "--depfile-links", "l", "-q"}, 0, "", "",
       [&] { EXPECT_EQ(File("e.d").substr(0, 17), "e.stamp: \\\n src \\"); }},
      {{"build", "src", "-o", "f.kid", "--name", "A Very Long Drive Name", "-q"}, 0, "", warning,
       [&] { EXPECT_EQ(Name("f.kid"), std::string("A Very Long Dri\0", 16)); }},
      {{"build", "src", "-o", "f.kid", "--name", "A Very Long Drive Name", "-q", "--depfile", "f.d", "--fail-on-warning"},
       1, "", warning + "kivofs: error: nothing was written to 'f.kid': stopped by the warning" + stopped,
       [&] { EXPECT_FALSE(stdfs::exists(dir / "f.d")); }},
      // The output inside its own source is left out of the scan, named once; its temporary,
      // a dot-file, never counts.
      {{"build", "src", "-o", "src/self.kid", "-q"}, 0, "",
       "kivofs: warning: 'src/self.kid' lies inside the source 'src'; it is left out of the image\n",
       [&] { EXPECT_EQ(Mismatch(File("src/self.kid"), image), -1); }},
      {{"build", "src/", "-o", "./src/docs/../self.kid", "-q"}, 0, "", "*left out of the image\n",
       [&] {
         EXPECT_EQ(Mismatch(File("src/self.kid"), image), -1);
         stdfs::remove(dir / "src/self.kid");
       }},
      {{"build", "empty", "-o", "empty.kid", "--allow-empty", "-q"}, 0, "", "",
       [&] { EXPECT_EQ(File("empty.kid").size(), 5120u); }},
      {{"verify", "empty.kid"}, 0, "empty.kid: ok (0 directories, 0 files, 10 clusters, 5120 bytes)\n", ""},
      {{"ls", "-R", "empty.kid"}, 0, "", ""},
      {{"build", "nowhere", "-o", "g2.kid", "--allow-empty"}, 1, "",
       "kivofs: error: 'nowhere': directory empty or not found (No such file or directory)\n"},
      {{"build", "clash", "-o", "a.kid", "--depfile", "a.d"}, 1, "",
       "kivofs: error: 'TITLE-SCREEN-01.bmp' and 'Title-Screen-01.png' in 'clash/gfx'" + same,
       [&] { EXPECT_TRUE(Mismatch(File("a.kid"), image) == -1 && !stdfs::exists(dir / "a.d")); }},
      {{"build", "empty", "-o", "g.kid"}, 1, "", "kivofs: error: 'empty': directory empty or not found\n"},
      {{"SOURCE_DATE_EPOCH=yesterday", "build", "src", "-o", "g.kid"}, 1, "",
       "kivofs: error: SOURCE_DATE_EPOCH is not a number of seconds: 'yesterday'\n"},
      {{"build", "src", "-o", "no/g.kid"}, 1, Statistics + "ee\nerror\n",
       "kivofs: error: cannot write 'no/g.kid': No such file or directory\n",
       [&] { EXPECT_FALSE(stdfs::exists(dir / "g.kid")); }},

      {{"info", "a.kid"}, 0,
       "File system version    : 1.00\nNumber of root entries : 2\nDrive size             : 11776 bytes (11.5 Kbytes)\n"
       "Drive name             : Kivo Rom Drive\n" + Layout, ""},
      {{"ls", "a.kid"}, 0, "docs/\nreadme.txt\n", ""}, {{"ls", "a.kid", "DOCS"}, 0, "a.bin\n", ""},
      {{"ls", "-R", "a.kid"}, 0, "docs/\ndocs/a.bin\nreadme.txt\n", ""}, {{"ls", "a.kid", "/docs", "-R"}, 0, "a.bin\n", ""},
      {{"ls", "-l", "a.kid"}, 0, docs + readme, ""},
      {{"ls", "a.kid", "Docs/A.BIN", "-l"}, 0, "-       1000 2006-03-15 Wed 14:05:09         18  docs/a.bin\n", ""},
      {{"ls", "control.kid"}, 0, "docs/\na\\x01b\n", ""}, {{"ls", "a.kid", "\\DOCS\\.\\"}, 0, "a.bin\n", ""},
      {{"ls", "a.kid", "docs/nothing"}, 1, "", "kivofs: error: 'a.kid': no 'nothing' in 'docs'\n"},
      {{"ls", "a.kid", "docs/.."}, 1, "", "kivofs: error: 'a.kid': no '..' in 'docs'\n"},
      {{"ls", "a.kid", "readme.txt/x"}, 1, "", "kivofs: error: 'a.kid': 'readme.txt' is not a directory\n"},
      {{"verify", "a.kid"}, 0, "a.kid: ok (1 directory, 2 files, 23 clusters, 11776 bytes)\n", ""},
      {{"verify", "bad.kid"}, 1,
       "bad.kid: header: version is 99, expected 100\nbad.kid: 'docs': cluster 16 of its chain is marked free\n",
       "kivofs: error: 'bad.kid': 2 problems found\n"},
      {{"verify", "tiny"}, 1, "tiny: 'tiny' is too short to be a drive image (10 bytes)\n",
       "kivofs: error: 'tiny': 1 problem found\n"},
      // Extracting gives the tree back; again, into what is there, it replaces the files.
      {{"extract", "a.kid", "out"}, 0, "extracted 2 files (1100 bytes) and 1 directory to 'out'\n", "",
       [&] {
         EXPECT_EQ(Snapshot(dir / "out"), Snapshot(dir / "src"));
         WriteFile(dir / "out/docs/a.bin", "stale");
       }},
      {{"extract", "a.kid", "out"}, 0, "extracted 2 files (1100 bytes) and 1 directory to 'out'\n", "",
       [&] { EXPECT_EQ(Snapshot(dir / "out"), Snapshot(dir / "src")); }},
      // Each file gets the time its entry holds, read as local time; --no-times leaves the
      // time of writing.
      {{"TZ=UTC0", "extract", "a.kid", "utc"}, 0, "*", "",
       [&] { EXPECT_EQ(SecondsOf(dir / "utc/docs/a.bin"), 1142431509); }},
      {{"TZ=JST-9", "extract", "a.kid", "tokyo"}, 0, "*", "",
       [&] { EXPECT_EQ(SecondsOf(dir / "tokyo/readme.txt"), 1142431509 - 9 * 3600); }},
      {{"extract", "a.kid", "now", "--no-times"}, 0, "*", "",
       [&] { EXPECT_GT(stdfs::last_write_time(dir / "now/readme.txt"), Past); }},

      // A name is stored in bytes 4 to 19 and nothing else changes; JSON escapes what it
      // must and writes bytes that are no UTF-8 one by one.
      {{"rename", "a.kid", "Q\"B\\\x01\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"}, 0, "", "",
       [&] { EXPECT_EQ(Mismatch(File("a.kid").replace(4, 16, Name("b.kid")), image), -1); }},
      {{"info", "--json", "a.kid"}, 0, json, ""},
#ifndef _WIN32  // a Windows command line holds no bytes that are not UTF-8
      {{"rename", "a.kid", "\xC3\xA9\xE2\x82"}, 0, "", ""},
      {{"info", "--json", "a.kid"}, 0, "*\"driveName\": \"\\u00c3\\u00a9\\u00e2\\u0082\",*", ""},
      {{"info", "a.kid"}, 0, "*Drive name             : \xC3\xA9\xE2\x82\n*", ""},
#endif
      {{"rename", "a.kid", "Level Pack 2 of 9"}, 0, "",
       "kivofs: warning: the drive name 'Level Pack 2 of 9' is longer than 15 characters; it is stored as "
       "'Level Pack 2 of'\n",
       [&] { EXPECT_EQ(Name("a.kid"), std::string("Level Pack 2 of\0", 16)); }},
      {{"rename", "x.bin", "y"}, 1, "",
       "kivofs: error: 'x.bin' does not look like a drive image (version 2021161080, driveSize 2021161080 for a "
       "file of 64 bytes); use --force to store the name anyway\n"},
      {{"rename", "grown.kid", "y"}, 1, "",
       "kivofs: error: 'grown.kid' does not look like a drive image (version 100, driveSize 11776 for a file of "
       "11777 bytes); use --force to store the name anyway\n"},
      {{"rename", "--force", "x.bin", "y"}, 0, "", "",
       [&] { EXPECT_EQ(File("x.bin"), "xxxxy" + std::string(15, '\0') + std::string(44, 'x')); }},
      {{"rename", "--force", "tiny", "y"}, 1, "",
       "kivofs: error: 'tiny' is too short to hold a drive name (10 bytes, the name ends at byte 20)\n"},

      {{"bogus", "a.kid"}, 2, "",
       "kivofs: error: unknown command 'bogus'\nCommands: build info rename ls extract verify attach rominfo detach*\n"
       "Run 'kivofs --help' for usage.\n"},
      {{}, 2, "", Usage}, {{"ls"}, 2, "", Usage}, {{"extract", "a.kid"}, 2, "", Usage},
      {{"verify", "a.kid", "b.kid"}, 2, "", Usage}, {{"build", "src"}, 2, "", Usage},
      {{"build", "src", "-o", "x.kid", "--no-such-option"}, 2, "", Usage}, {{"rename", "a.kid"}, 2, "", Usage},
  });
}

TEST_F(Commands, AttachInspectAndDetach) {
  const std::string rominfo =
      "'game.nds': 16872 bytes\nmarker:       100\nblock:        111\nslot 1 start: 4096\nslot 1 end:   15871\n"
      "slot 2 start: 15872\nslot 2 end:   16871\nsaveflash:    1\nslot 1: 4096 to 15871 (11776 bytes): drive image\n"
      "  version:      1.00\n  root entries: 2\n  size:         11776 bytes\n  name:         Kivo Rom Drive\n"
      "slot 2: 15872 to 16871 (1000 bytes): not a drive image\nNDS used size: 4096\n";
  const std::string marker = "marker at 100, parameter block at 111\n";
  auto gba = [&](const char* name, std::uint32_t last) {
    std::string host = HostRom(4096, 100);
    Put32(host, 111, last - 1000), Put32(host, 115, last);
    WriteFile(dir / name, host);
    stdfs::resize_file(dir / name, last + 1);  // sparse: only the host's bytes are written
  };
  gba("fits.gba", (32u << 20) - 1);
  gba("past.gba", 32u << 20);
  WriteFile(dir / "big.gba", HostRom(4096, 100));
  stdfs::resize_file(dir / "big.gba", (32u << 20) + 1 - image.size());
  WriteFile(dir / "far.gba", HostRom(4096, 100));
  stdfs::resize_file(dir / "far.gba", (32u << 20) + 100);
  Run({
      {{"attach", "host.nds", "-o", "game.nds", "--drive0", "a.kid", "--drive1", "odd.kid", "--saveflash"}, 0,
       "wrote 'game.nds': 16872 bytes\n" + marker + "slot 1: 4096 to 15871 (11776 bytes)\n"
       "slot 2: 15872 to 16871 (1000 bytes)\nsaveflash: 1\n",
       NotAnImage +
       // A DS program's card reads begin at 0x8000, and a trimmer cuts at the used size.
       "kivofs: warning: slot 1 ('a.kid', bytes 4096 to 15871) starts below 0x8000 (32768): a DS program cannot "
       "read it through the card bus (attach with --nds-header, which pads the host to 0x8000)\n"
       "kivofs: warning: slot 2 ('odd.kid', bytes 15872 to 16871) starts below 0x8000 (32768): a DS program "
       "cannot read it through the card bus (attach with --nds-header, which pads the host to 0x8000)\n"
       "kivofs: warning: the NDS header's total used ROM size (offset 0x80) is 4096 bytes, but the drives end at "
       "16872: a ROM trimmer would cut them off (attach with --nds-header)\n",
       [&] {
         std::string expected = File("host.nds").replace(111, 17, Hex("00100000 FF3D0000 003E0000 E7410000 01"));
         EXPECT_EQ(Mismatch(File("game.nds"), expected + image + File("odd.kid")), -1);
       }},
      {{"rominfo", "game.nds"}, 0, rominfo,
       "kivofs: warning: slot 1 (bytes 4096 to 15871) starts below 0x8000 (32768): a DS program cannot read it through "
       "the card bus (attach with --nds-header, which pads the host to 0x8000)\n"
       "kivofs: warning: slot 2 (bytes 15872 to 16871) starts below 0x8000 (32768): a DS program cannot read it through "
       "the card bus (attach with --nds-header, which pads the host to 0x8000)\n"
       "kivofs: warning: the NDS header's total used ROM size (offset 0x80) is 4096 bytes, but the drives end at "
       "16872: a ROM trimmer would cut them off (attach with --nds-header)\n"},
      {{"detach", "game.nds", "-o", "drives", "--rom", "again.nds"}, 0,
       "wrote 'drives/drive0.kid'\nwrote 'drives/drive1.kid'\nwrote 'again.nds'\n",
       "kivofs: warning: slot 2 of 'game.nds' does not hold a drive image; its bytes were written as they are\n",
       [&] {
         EXPECT_EQ(Mismatch(File("drives/drive0.kid") + File("drives/drive1.kid"), image + File("odd.kid")), -1);
         EXPECT_EQ(Mismatch(File("again.nds"), File("host.nds")), -1);
       }},
      {{"attach", "game.nds", "-o", "two.nds", "--drive0", "b.kid"}, 0,
       "wrote 'two.nds': 23016 bytes\n" + marker + "slot 1: 16872 to 23015 (6144 bytes)\nsaveflash: 0\n",
       "*kivofs: warning: the parameter block of 'game.nds' is already filled (slot 1 starts at 4096): the output "
       "carries the old drives too; --replace drops them\n"},
      {{"attach", "game.nds", "-o", "game.nds", "--drive1", "b.kid", "--replace", "--pad-pow2"}, 0,
       "dropped the old drives from offset 4096 of 'game.nds'\nwrote 'game.nds': 16384 bytes (6144 of them 0xFF "
       "padding)\n" + marker + "slot 1: 4096 to 10239 (6144 bytes)\nsaveflash: 0\n", "*a ROM trimmer would cut them off (attach with --nds-header)\n",
       [&] { EXPECT_EQ(Mismatch(File("game.nds").substr(4096), File("b.kid") + std::string(6144, '\xFF')), -1); }},
      // --nds-header pads a DS host to 0x8000, where card reads begin; the used size reaches the
      // drives' end, the capacity holds it and the header CRC is made again (computed apart from
      // this code), so that a DS reads the drives and a ROM trimmer keeps them.
      {{"attach", "ds.nds", "-o", "kept.nds", "--drive0", "a.kid", "--nds-header", "--depfile", "kept.d"}, 0,
       "padded the host with 28672 zero bytes to offset 32768 (0x8000), where a DS program's card reads begin\n"
       "wrote 'kept.nds': 44544 bytes\nmarker at 512, parameter block at 523\nslot 1: 32768 to 44543 (11776 bytes)\n"
       "saveflash: 0\nNDS header: used size 44544, device capacity 131072 (0x14 = 0), CRC 0x8C92\n", "",
       [&] {
         const std::string kept = File("kept.nds");
         EXPECT_EQ(kept.substr(0x80, 4) + kept.substr(0x15E, 2) + kept.substr(0x14, 1), Hex("00AE0000 928C 00"));
         EXPECT_EQ(Mismatch(kept.substr(4096, 32768 - 4096) + kept.substr(32768), std::string(28672, '\0') + image), -1);
         EXPECT_EQ(File("kept.d"), "kept.nds: \\\n ds.nds \\\n a.kid\nds.nds:\na.kid:\n");
         stdfs::last_write_time(dir / "kept.nds", Past);
       }},
      {{"attach", "ds.nds", "-o", "kept.nds", "--drive0", "a.kid", "--nds-header"}, 0, "*", "",
       [&] { EXPECT_EQ(stdfs::last_write_time(dir / "kept.nds"), Past); }},
      {{"rominfo", "kept.nds"}, 0,
       "*slot 1 end:   44543\nslot 2 start: 0\nslot 2 end:   0\n*slot 2: empty\nNDS used size: 44544\n"
       "NDS capacity:  131072 (0x14 = 0)\n", "",
       [&] {
         std::string over = File("kept.nds");
         Put32(over, 0x80, 200000);
         WriteFile(dir / "over.nds", over);
       }},
      {{"rominfo", "over.nds"}, 0, "*NDS used size: 200000\nNDS capacity:  131072 (0x14 = 0)\n",
       "kivofs: warning: the NDS header's total used ROM size (200000 bytes) exceeds its device capacity (offset "
       "0x14: 131072 bytes): a DS emulator reports the header as invalid (attach with --nds-header)\n"},
      // Detaching gives the host its own used size back.
      {{"detach", "kept.nds", "-o", "kept-drives", "--rom", "ds-again.nds"}, 0,
       "wrote 'kept-drives/drive0.kid'\nwrote 'ds-again.nds'\nNDS header of 'ds-again.nds': used size restored to "
       "32768, device capacity 131072 (0x14 = 0), CRC 0x1F37\n", "",
       [&] {
         EXPECT_EQ(File("ds-again.nds").substr(0x80, 4) + File("ds-again.nds").substr(0x15E, 2), Hex("00800000 371F"));
       }},
      {{"attach", "ds.nds", "-o", "ds.gba", "--drive0", "a.kid", "--nds-header"}, 1, "",
       "kivofs: error: cannot update the NDS header of 'ds.nds': the output 'ds.gba' is a GBA ROM, whose cartridge "
       "logo and header lie where the NDS header's fields are\n"},
      {{"attach", "host.nds", "-o", "out.nds", "--drive0", "a.kid", "--nds-header"}, 1, "",
       "kivofs: error: cannot update the NDS header of 'host.nds': it does not start with a DS cartridge header (a "
       "unit code up to 3 at 0x12, the ARM9 and ARM7 binaries behind the header and loaded into the DS's RAM, at "
       "0x20 to 0x3F)\n"},
      // A GBA program sees the first 32 MiB of its ROM.
      {{"rominfo", "fits.gba"}, 0, "*", ""},
      {{"rominfo", "past.gba"}, 0, "*", "kivofs: warning: slot 1 (bytes 33553432 to 33554432) " + GbaWindow},
      {{"rominfo", "past.gba", "--fail-on-warning"}, 1, "*",
       "kivofs: warning: slot 1 (bytes 33553432 to 33554432) " + GbaWindow +
           "kivofs: error: 'past.gba': stopped by the warning above (--fail-on-warning)\n"},
      {{"attach", "big.gba", "-o", "big-out.gba", "--drive0", "a.kid"}, 0, "*",
       "kivofs: warning: slot 1 ('a.kid', bytes 33542657 to 33554432) " + GbaWindow},
      // Slots are numbered as rominfo numbers them, whichever option gave the drive.
      {{"attach", "big.gba", "-o", "big-out.gba", "--drive1", "a.kid", "--drive0", "b.kid"}, 0, "*",
       "kivofs: warning: slot 2 ('a.kid', bytes 33548801 to 33560576) " + GbaWindow},
      {{"attach", "far.gba", "-o", "far-out.gba", "--drive1", "a.kid"}, 0, "*",
       "kivofs: warning: slot 1 ('a.kid', bytes 33554532 to 33566307) " + PastGbaWindow},
      // Warnings stop the run before anything replaces its target.
      {{"attach", "host.nds", "-o", "kept.nds", "--drive0", "odd.kid", "--depfile", "kept.d", "--fail-on-warning"}, 1, "",
       NotAnImage + "*kivofs: error: nothing was written to 'kept.nds': stopped by the warnings above (--fail-on-warning)\n",
       [&] { EXPECT_EQ(stdfs::last_write_time(dir / "kept.nds"), Past); }},

      {{"attach", "host.nds", "-o", "out.nds"}, 2, "",
       "kivofs: error: give --drive0, --drive1 or both\nRun 'kivofs attach --help' for usage.\n"},
      {{"attach", "host.nds", "--drive0", "a.kid"}, 2, "", Usage},
      {{"attach", "nope.nds", "-o", "out.nds", "--drive0", "a.kid"}, 1, "", "kivofs: error: 'nope.nds': No such file or directory\n"},
      {{"attach", "plain.nds", "-o", "out.nds", "--drive0", "a.kid"}, 1, "",
       "kivofs: error: no usable KivoFSDrive marker in 'plain.nds': none found\n"},
      {{"attach", "host.nds", "-o", "out.nds", "--drive0", "k=v.kid", "--depfile", "d"}, 1, "",
       "kivofs: error: cannot write the dependency file 'd': make cannot read the name 'k=v.kid' back (it holds '=')\n",
       [&] { EXPECT_FALSE(stdfs::exists(dir / "out.nds") || stdfs::exists(dir / "d")); }},
      {{"rominfo", "plain.nds"}, 1, "", "kivofs: error: no usable KivoFSDrive marker in 'plain.nds': none found\n"},
      {{"rominfo", "nope.nds"}, 1, "", "kivofs: error: cannot open 'nope.nds': No such file or directory\n"},
      {{"rominfo"}, 2, "", Usage},
      {{"detach", "host.nds", "-o", "drives2"}, 1, "", "kivofs: error: no drive attached in 'host.nds'\n"},
      {{"detach", "game.nds"}, 2, "", Usage},
  });
}

// A prepared host ROM of 4096 bytes followed by `drives`, its block (at 111) pointing at them.
std::string RomWith(const std::vector<std::string>& drives) {
  std::string rom = HostRom(4096, 100);
  for (std::size_t i = 0; i < drives.size(); ++i) {
    Put32(rom, 111 + 8 * i, static_cast<std::uint32_t>(rom.size()));
    Put32(rom, 115 + 8 * i, static_cast<std::uint32_t>(rom.size() + drives[i].size() - 1));
    rom += drives[i];
  }
  return rom;
}

TEST_F(Commands, ReadTheDrivesOfARom) {
  std::string damaged = image;
  Put32(damaged, 512 + 4 * 16, 0);  // a link in the chain of docs
  WriteFile(dir / "two.nds", RomWith({image, File("b.kid")}));
  WriteFile(dir / "one.gba", RomWith({image}));
  WriteFile(dir / "bad.nds", RomWith({image, damaged}));
  const std::string ok1 = "ok (1 directory, 2 files, 23 clusters, 11776 bytes)\n";
  const std::string info1 = "File system version    : 1.00\nNumber of root entries : 2\n"
                            "Drive size             : 11776 bytes (11.5 Kbytes)\nDrive name             : Kivo Rom Drive\n" + Layout;
  Run({
      {{"ls", "two.nds"}, 0, "drive1/\ndrive2/\n", ""},
      {{"ls", "two.nds", "drive1"}, 0, "docs/\nreadme.txt\n", ""},
      {{"ls", "two.nds", "/Drive1/DOCS"}, 0, "a.bin\n", ""},
      {{"ls", "-R", "two.nds"}, 0, "drive1/\ndrive1/docs/\ndrive1/docs/a.bin\ndrive1/readme.txt\ndrive2/\ndrive2/save.dat\n", ""},
      {{"ls", "-l", "one.gba"}, 0, "d      11776                                     drive1/\n", ""},
      {{"ls", "two.nds", "--drive", "2"}, 0, "save.dat\n", ""},
      {{"ls", "two.nds", "--drive", "1", "docs", "-R"}, 0, "a.bin\n", ""},
      {{"ls", "two.nds", "drive3"}, 1, "",
       "kivofs: error: 'two.nds': no 'drive3' at the top of the ROM (its drives are drive1/ and drive2/)\n"},
      {{"ls", "two.nds", "drive1/nothing"}, 1, "", "kivofs: error: drive1 of 'two.nds': no 'nothing' in the root directory\n"},
      {{"ls", "one.gba", "--drive", "2"}, 1, "", "kivofs: error: 'one.gba' has no drive 2 attached (slot 2 is empty)\n"},
      {{"ls", "two.nds", "--drive", "3"}, 2, "", Usage},
      {{"ls", "a.kid", "--drive", "1"}, 1, "",
       "kivofs: error: --drive 1: 'a.kid' is a drive image, not a ROM with drives attached\n"},
      {{"ls", "host.nds"}, 1, "", "kivofs: error: 'host.nds' has no drive attached (both slots are empty)\n"},
      {{"ls", "plain.nds"}, 1, "",
       "kivofs: error: 'plain.nds' is neither a drive image nor a ROM with drives attached: no usable KivoFSDrive "
       "marker in 'plain.nds': none found\n"},

      {{"extract", "two.nds", "out"}, 0, "extracted 3 files (1400 bytes) and 1 directory to 'out'\n", "",
       [&] {
         EXPECT_EQ(File("out/drive1/docs/a.bin"), Pattern(1000));
         EXPECT_EQ(File("out/drive2/save.dat"), Filler(300));
         EXPECT_EQ(Snapshot(dir / "out").size(), 6u);
       }},
      {{"extract", "--drive", "2", "two.nds", "only"}, 0, "extracted 1 file (300 bytes) and 0 directories to 'only'\n", "",
       [&] { EXPECT_EQ(Snapshot(dir / "only"), (std::map<std::string, std::string>{{"save.dat", Filler(300)}})); }},
      {{"extract", "host.nds", "none"}, 1, "", "kivofs: error: 'host.nds' has no drive attached (both slots are empty)\n",
       [&] { EXPECT_FALSE(stdfs::exists(dir / "none")); }},

      {{"verify", "two.nds"}, 0, "two.nds drive1: " + ok1 + "two.nds drive2: ok (0 directories, 1 file, *)\n", ""},
      {{"verify", "bad.nds"}, 1, "bad.nds drive1: " + ok1 + "bad.nds drive2: 'docs': cluster 16 of its chain is marked free\n",
       "kivofs: error: drive2 of 'bad.nds': 1 problem found\n"},
      {{"verify", "bad.nds", "--drive", "1"}, 0, "bad.nds drive1: " + ok1, ""},
      {{"verify", "plain.nds"}, 1, "", "kivofs: error: 'plain.nds' is neither a drive image nor a ROM *\n"},

      {{"info", "one.gba"}, 0, "drive1 (slot 1, offset 4096)\n" + info1, ""},
      {{"info", "two.nds", "--drive", "1"}, 0, info1, ""},
      {{"info", "two.nds"}, 0, "drive1 (slot 1, offset 4096)\n" + info1 + "\ndrive2 (slot 2, offset 15872)\n*", ""},
      {{"info", "two.nds", "--json"}, 0,
       "{\n  \"drive1\": {\n    \"fsVersion\": \"1.00\",\n*      \"dataSize\": 6656\n    }\n  },\n  \"drive2\": {\n*    }\n  }\n}\n", ""},
      {{"info", "host.nds"}, 1, "", "kivofs: error: 'host.nds' has no drive attached (both slots are empty)\n"},
  });
}

}  // namespace
}  // namespace kivo::test
