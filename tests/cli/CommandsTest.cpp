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

using Check = std::function<void()>;
struct Row {
  std::vector<std::string> args;  // leading NAME=value ones set the environment
  int exitCode;
  std::string out, err;
  Check check = {};
};

// Rows by outcome: a run that prints `out` and no warning, one that stops with the error
// `message`, and a command line that is no use.
Row Ok(std::vector<std::string> args, std::string out, Check check = {}) {
  return {std::move(args), 0, std::move(out), "", std::move(check)};
}
Row Fails(std::vector<std::string> args, const std::string& message, Check check = {}) {
  return {std::move(args), 1, "", "kivofs: error: " + message + "\n", std::move(check)};
}
Row Misuse(std::vector<std::string> args) {
  return {std::move(args), 2, "", "kivofs: error: *\nRun 'kivofs --help' for usage.\n"};
}

// The statistics lines of the worked example's build.
const std::string Statistics =
    "num of files = 2\nnum of dir's = 1\nactual total space taken by files = 1100\n"
    "disk data space (files) = 2560\ndisk data space (dir) = 4096\nboot size = 512\n"
    "fat size = 512\nroot size = 4096\ndata size = 6656\nrom drive size = 11776\n"
    "fat start = 512\nroot start = 1024\ndata start = 5120\n";
const std::string Info =
    "File system version    : 1.00\nNumber of root entries : 2\n"
    "Drive size             : 11776 bytes (11.5 Kbytes)\nDrive name             : Kivo Rom Drive\n"
    "Layout\n  header block         : offset 0, 512 bytes\n"
    "  allocation table     : offset 512, 512 bytes (128 entries)\n"
    "  root directory       : offset 1024, 4096 bytes\n"
    "  data area            : offset 5120, 6656 bytes\n  drive size (header)  : 11776 bytes\n";
const std::string GbaWindow =
    "passes the 32 MiB that a GBA program can see (0x08000000 to 0x09FFFFFF): its bytes from "
    "33554432 on cannot be read\n";
const std::string NotAnImage =
    "kivofs: warning: 'odd.kid' does not look like a drive image (version 840119317, driveSize "
    "507453441 for a file of 1000 bytes); its bytes are attached as they are\n";
const std::string BelowCardBus =
    " starts below 0x8000 (32768): a DS program cannot read it through the card bus (attach with "
    "--nds-header, which pads the host to 0x8000)\n";
const std::string Trimmed =
    "kivofs: warning: the NDS header's total used ROM size (offset 0x80) is 4096 bytes, but the "
    "drives end at 16872: a ROM trimmer would cut them off (attach with --nds-header)\n";

// A time long before any test ran, in whole seconds, which every host's file times hold.
const stdfs::file_time_type Past = std::chrono::floor<std::chrono::seconds>(
    stdfs::file_time_type::clock::now() - std::chrono::hours(24 * 365));

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
    std::string host = HostRom(4096, 100), ds = NdsHost(4096, 0x200);
    Put32(host, 0x80, 4096);  // the header's used ROM size names the host's end
    Put32(ds, 0x80, 4096);
    const std::pair<const char*, std::string> files[] = {
        {"a.kid", image}, {"x.bin", std::string(64, 'x')}, {"tiny", "0123456789"},
        {"bad.kid", bad}, {"control.kid", control}, {"ds.nds", ds},
        {"host.nds", host}, {"plain.nds", Filler(4096)}, {"odd.kid", Filler(1000, 5)},
        {"b.kid", fs::test::Image({{"save.dat", Filler(300)}})}};
    for (const auto& [name, bytes] : files) WriteFile(dir / name, bytes);
  }

  void Run(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      RunOptions options;
      options.cwd = dir.path();
      options.env = {"SOURCE_DATE_EPOCH=1142431509"};  // Wednesday 15 March 2006, 14:05:09 UTC
      auto arg = row.args.begin();
      for (; arg != row.args.end() && arg->find('=') != std::string::npos; ++arg) {
        options.env.push_back(*arg);
      }
      Outcome run = Kivofs({arg, row.args.end()}, options);
      SCOPED_TRACE(::testing::PrintToString(row.args));
      EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
      EXPECT_PRED2(Matches, row.out, run.out);
      EXPECT_PRED2(Matches, row.err, run.err);
      if (row.check) row.check();
    }
  }
  std::string File(const std::string& name) const { return ReadFile(dir / name); }
  std::string Name(const std::string& file) const { return File(file).substr(4, 16); }
  // The check that `file` holds the image the builder makes of src.
  Check Same(const std::string& file) {
    return [this, file] { EXPECT_EQ(Mismatch(File(file), image), -1); };
  }
  Check Missing(std::vector<std::string> files) {
    return [this, files] {
      for (const std::string& file : files) EXPECT_FALSE(stdfs::exists(dir / file)) << file;
    };
  }

  TempDir dir;
  std::string image;
};

TEST_F(Commands, BuildAndReadADrive) {
  const std::string json =
      "{\n  \"fsVersion\": \"1.00\",\n  \"rootEntries\": 2,\n  \"sizeBytes\": 11776,\n"
      "  \"sizeKilobytes\": \"11.5\",\n"
      "  \"driveName\": \"Q\\\"B\\\\\\u0001\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\",\n"
      "  \"layout\": {\n    \"version\": 100,\n    \"driveSize\": 11776,\n    \"bootSize\": 512,\n"
      "    \"fatStart\": 512,\n    \"fatSize\": 512,\n    \"fatEntries\": 128,\n"
      "    \"rootStart\": 1024,\n    \"rootSize\": 4096,\n    \"dataStart\": 5120,\n"
      "    \"dataSize\": 6656\n  }\n}\n";
  const std::string longName = "kivofs: warning: the drive name 'A Very Long Drive Name' is longer "
                               "than 15 characters; it is stored as 'A Very Long Dri'\n";
  const std::string extracted = "extracted 2 files (1100 bytes) and 1 directory to 'out'\n";
  Run({
      // The image is the one the builder makes with the same clock, whatever the time zone
      // and however the source is written.
      Ok({"build", "src", "-o", "a.kid", "--trace"}, Statistics + "root dir\nfile\nroot file\nee\n",
         Same("a.kid")),
      Ok({"TZ=Asia/Tokyo", "build", "src/", "-o", "b.kid"}, Statistics + "ee\n", Same("b.kid")),
      Ok({"build", "src", "-o", "d.kid", "--dry-run", "--depfile", "d.d"}, Statistics,
         Missing({"d.kid", "d.d"})),
      // What the build read, for make: every directory and file, each also a rule of its own.
      Ok({"build", "src", "-o", "e.kid", "--depfile", "e.d", "--exclude", "*.bin", "-q"}, "",
         [&] {
           EXPECT_EQ(File("e.d"), "e.kid: \\\n src \\\n src/docs \\\n src/readme.txt\nsrc:\n"
                                  "src/docs:\nsrc/readme.txt:\n");
         }),
      // Each --exclude takes one glob: the source may follow it.
      Ok({"build", "--exclude", "*.bin", "src", "-o", "h.kid", "-q"}, "",
         [&] { EXPECT_EQ(Mismatch(File("h.kid"), File("e.kid")), -1); }),
      // A rule for a stamp that CMake's build runs instead of the image itself.
      Ok({"build", "src", "-o", "e.kid", "--depfile", "e.d", "--depfile-target", "e.stamp",
          "--depfile-links", "l", "-q"},
         "", [&] { EXPECT_EQ(File("e.d").substr(0, 17), "e.stamp: \\\n src \\"); }),
      {{"build", "src", "-o", "f.kid", "--name", "A Very Long Drive Name", "-q"}, 0, "", longName,
       [&] { EXPECT_EQ(Name("f.kid"), std::string("A Very Long Dri\0", 16)); }},
      {{"build", "src", "-o", "f.kid", "--name", "A Very Long Drive Name", "-q", "--depfile", "f.d",
        "--fail-on-warning"},
       1, "",
       longName + "kivofs: error: nothing was written to 'f.kid': stopped by the warning above "
                  "(--fail-on-warning)\n",
       Missing({"f.d"})},
      // The output inside its own source is left out of the scan, named once, also where it is
      // there from before and named another way; its temporary, a dot-file, never counts.
      {{"build", "src", "-o", "src/self.kid", "-q"}, 0, "",
       "kivofs: warning: 'src/self.kid' lies inside the source 'src'; it is left out of the "
       "image\n",
       Same("src/self.kid")},
      {{"build", "src/", "-o", "./src/docs/../self.kid", "-q"}, 0, "", "*left out of the image\n",
       [&] {
         Same("src/self.kid")();
         stdfs::remove(dir / "src/self.kid");
       }},
      Ok({"build", "empty", "-o", "empty.kid", "--allow-empty", "-q"}, ""),
      Ok({"verify", "empty.kid"},
         "empty.kid: ok (0 directories, 0 files, 10 clusters, 5120 bytes)\n"),
      // A build that fails leaves the old output and writes no dependency file.
      Fails({"build", "clash", "-o", "a.kid", "--depfile", "a.d"},
            "'TITLE-SCREEN-01.bmp' and 'Title-Screen-01.png' in 'clash/gfx' have the same stored "
            "name ignoring case (a name is stored as its first 16 bytes)",
            Missing({"a.d"})),
#ifndef _WIN32  // Windows gives its own reason
      // An output name longer than the host allows, even inside the source, is only refused.
      Fails({"build", "src", "-o", "src/" + std::string(300, 'n'), "-q"},
            "cannot write 'src/" + std::string(300, 'n') + "': File name too long"),
#endif
      Fails({"SOURCE_DATE_EPOCH=yesterday", "build", "src", "-o", "g.kid"},
            "SOURCE_DATE_EPOCH is not a number of seconds: 'yesterday'"),

      Ok({"info", "a.kid"}, Info),
      Ok({"ls", "a.kid"}, "docs/\nreadme.txt\n"), Ok({"ls", "a.kid", "DOCS"}, "a.bin\n"),
      Ok({"ls", "-R", "a.kid"}, "docs/\ndocs/a.bin\nreadme.txt\n"),
      Ok({"ls", "a.kid", "/docs", "-R"}, "a.bin\n"), Ok({"ls", "a.kid", "\\DOCS\\.\\"}, "a.bin\n"),
      Ok({"ls", "-l", "a.kid"}, "d       4096 2006-03-15 Wed 14:05:09         10  docs/\n"
                                "-        100 2006-03-15 Wed 14:05:09         21  readme.txt\n"),
      Ok({"ls", "a.kid", "Docs/A.BIN", "-l"},
         "-       1000 2006-03-15 Wed 14:05:09         18  docs/a.bin\n"),
      Ok({"ls", "control.kid"}, "docs/\na\\x01b\n"),
      Fails({"ls", "a.kid", "docs/nothing"}, "'a.kid': no 'nothing' in 'docs'"),
      Fails({"ls", "a.kid", "docs/.."}, "'a.kid': no '..' in 'docs'"),
      Fails({"ls", "a.kid", "readme.txt/x"}, "'a.kid': 'readme.txt' is not a directory"),
      Ok({"verify", "a.kid"}, "a.kid: ok (1 directory, 2 files, 23 clusters, 11776 bytes)\n"),
      {{"verify", "bad.kid"}, 1,
       "bad.kid: header: version is 99, expected 100\n"
       "bad.kid: 'docs': cluster 16 of its chain is marked free\n",
       "kivofs: error: 'bad.kid': 2 problems found\n"},
      // Extracting gives the tree back, also into what is there, whose files it replaces.
      Ok({"extract", "a.kid", "out"}, extracted, [&] { WriteFile(dir / "out/docs/a.bin", "x"); }),
      Ok({"extract", "a.kid", "out"}, extracted,
         [&] { EXPECT_EQ(Snapshot(dir / "out"), Snapshot(dir / "src")); }),
      // Each file gets the time its entry holds, read as local time; --no-times leaves the
      // time of writing.
      Ok({"TZ=UTC0", "extract", "a.kid", "utc"}, "*",
         [&] { EXPECT_EQ(SecondsOf(dir / "utc/docs/a.bin"), 1142431509); }),
      Ok({"TZ=JST-9", "extract", "a.kid", "tokyo"}, "*",
         [&] { EXPECT_EQ(SecondsOf(dir / "tokyo/readme.txt"), 1142431509 - 9 * 3600); }),
      Ok({"extract", "a.kid", "now", "--no-times"}, "*",
         [&] { EXPECT_GT(stdfs::last_write_time(dir / "now/readme.txt"), Past); }),

      // A name is stored in bytes 4 to 19 and nothing else changes; JSON escapes what it must.
      Ok({"rename", "a.kid", "Q\"B\\\x01\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"}, "",
         [&] { EXPECT_EQ(Mismatch(File("a.kid").replace(4, 16, Name("b.kid")), image), -1); }),
      Ok({"info", "--json", "a.kid"}, json),
#ifndef _WIN32  // a Windows command line holds no bytes that are not UTF-8
      Ok({"rename", "a.kid", "\xC3\xA9\xE2\x82"}, ""),
      Ok({"info", "a.kid"}, "*Drive name             : \xC3\xA9\xE2\x82\n*"),
#endif
      {{"rename", "a.kid", "Level Pack 2 of 9"}, 0, "",
       "kivofs: warning: the drive name 'Level Pack 2 of 9' is longer than 15 characters; it is "
       "stored as 'Level Pack 2 of'\n"},
      Fails({"rename", "x.bin", "y"},
            "'x.bin' does not look like a drive image (version 2021161080, driveSize 2021161080 "
            "for a file of 64 bytes); use --force to store the name anyway"),
      Ok({"rename", "--force", "x.bin", "y"}, "",
         [&] { EXPECT_EQ(File("x.bin"), "xxxxy" + std::string(15, '\0') + std::string(44, 'x')); }),
      Fails({"rename", "--force", "tiny", "y"},
            "'tiny' is too short to hold a drive name (10 bytes, the name ends at byte 20)"),

      {{"bogus", "a.kid"}, 2, "",
       "kivofs: error: unknown command 'bogus'\n"
       "Commands: build info rename ls extract verify attach rominfo detach*\n"
       "Run 'kivofs --help' for usage.\n"},
      Misuse({}), Misuse({"ls"}), Misuse({"extract", "a.kid"}), Misuse({"rename", "a.kid"}),
      Misuse({"build", "src"}), Misuse({"build", "src", "-o", "x.kid", "--no-such-option"}),
      Misuse({"verify", "a.kid", "b.kid"}),
  });
}

// What `info --json` makes of drive names that are no UTF-8: such a name is written byte by
// byte as the code points U+0080 to U+00FF, so that the output stays valid JSON.
TEST_F(Commands, InfoWritesNamesThatAreNotUtf8ByteByByte) {
  // The stored name's bytes, and as `info --json` writes them.
  const std::pair<std::string, std::string> cases[] = {
      {"\x80" "a", "\\u0080a"},  // a continuation byte first
      {"a\xFF", "a\\u00ff"},     // a byte that starts no sequence
      {"\xF8\x88\x80\x80\x80", "\\u00f8\\u0088\\u0080\\u0080\\u0080"},
      {"\xC3\xA9\xE2\x82", "\\u00c3\\u00a9\\u00e2\\u0082"},  // cut short
      {"\xC3" "A", "\\u00c3A"},  // no continuation byte
      {"\xF0\x9F\x98" "A", "\\u00f0\\u009f\\u0098A"},
      {"\xC0\x80", "\\u00c0\\u0080"},                    // overlong
      {"\xED\xA0\x80", "\\u00ed\\u00a0\\u0080"},          // a surrogate
      {"\xF4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"},  // past U+10FFFF
      {"\xDF\xBF \xF4\x8F\xBF\xBF", "\xDF\xBF \xF4\x8F\xBF\xBF"},  // the limits
  };
  for (const auto& [name, json] : cases) {
    SCOPED_TRACE(::testing::PrintToString(name));
    std::string named = image;
    named.replace(4, 16, name + std::string(16 - name.size(), '\0'));
    WriteFile(dir / "named.kid", named);
    Run({Ok({"info", "--json", "named.kid"}, "*\n  \"driveName\": \"" + json + "\",\n*")});
  }
}

TEST_F(Commands, AttachInspectAndDetach) {
  const std::string rominfo =
      "'game.nds': 16872 bytes\nmarker:       100\nblock:        111\nslot 1 start: 4096\n"
      "slot 1 end:   15871\nslot 2 start: 15872\nslot 2 end:   16871\nsaveflash:    1\n"
      "slot 1: 4096 to 15871 (11776 bytes): drive image\n  version:      1.00\n"
      "  root entries: 2\n  size:         11776 bytes\n  name:         Kivo Rom Drive\n"
      "slot 2: 15872 to 16871 (1000 bytes): not a drive image\nNDS used size: 4096\n";
  const std::string marker = "marker at 100, parameter block at 111\n";
  const std::string stopped = "kivofs: error: nothing was written to 'kept.nds': stopped by the "
                              "warnings above (--fail-on-warning)\n";
  WriteFile(dir / "big.gba", HostRom(4096, 100));
  stdfs::resize_file(dir / "big.gba", (32u << 20) + 1 - image.size());  // sparse
  WriteFile(dir / "far.gba", HostRom(4096, 100));
  stdfs::resize_file(dir / "far.gba", (32u << 20) + 100);
  Run({
      {{"attach", "host.nds", "-o", "game.nds", "--drive0", "a.kid", "--drive1", "odd.kid",
        "--saveflash"},
       0,
       "wrote 'game.nds': 16872 bytes\n" + marker +
           "slot 1: 4096 to 15871 (11776 bytes)\nslot 2: 15872 to 16871 (1000 bytes)\n"
           "saveflash: 1\n",
       // A DS program's card reads begin at 0x8000, and a trimmer cuts at the used size.
       NotAnImage + "kivofs: warning: slot 1 ('a.kid', bytes 4096 to 15871)" + BelowCardBus +
           "kivofs: warning: slot 2 ('odd.kid', bytes 15872 to 16871)" + BelowCardBus + Trimmed},
      {{"rominfo", "game.nds"}, 0, rominfo,
       "kivofs: warning: slot 1 (bytes 4096 to 15871)" + BelowCardBus +
           "kivofs: warning: slot 2 (bytes 15872 to 16871)" + BelowCardBus + Trimmed},
      {{"detach", "game.nds", "-o", "drives", "--rom", "again.nds"}, 0,
       "wrote 'drives/drive0.kid'\nwrote 'drives/drive1.kid'\nwrote 'again.nds'\n",
       "kivofs: warning: slot 2 of 'game.nds' does not hold a drive image; its bytes were written "
       "as they are\n"},
      {{"attach", "game.nds", "-o", "two.nds", "--drive0", "b.kid"}, 0,
       "wrote 'two.nds': 23016 bytes\n" + marker + "slot 1: 16872 to 23015 (6144 bytes)\n"
       "saveflash: 0\n",
       "*kivofs: warning: the parameter block of 'game.nds' is already filled (slot 1 starts at "
       "4096): the output carries the old drives too; --replace drops them\n"},
      {{"attach", "game.nds", "-o", "game.nds", "--drive1", "b.kid", "--replace", "--pad-pow2"}, 0,
       "dropped the old drives from offset 4096 of 'game.nds'\n"
       "wrote 'game.nds': 16384 bytes (6144 of them 0xFF padding)\n" + marker +
           "slot 1: 4096 to 10239 (6144 bytes)\nsaveflash: 0\n",
       "*a ROM trimmer would cut them off (attach with --nds-header)\n"},
      // --nds-header pads a DS host to 0x8000, where card reads begin, and sets the header's used
      // size, capacity and CRC.
      Ok({"attach", "ds.nds", "-o", "kept.nds", "--drive0", "a.kid", "--nds-header", "--depfile",
          "kept.d"},
         "padded the host with 28672 zero bytes to offset 32768 (0x8000), where a DS program's "
         "card reads begin\nwrote 'kept.nds': 44544 bytes\nmarker at 512, parameter block at 523\n"
         "slot 1: 32768 to 44543 (11776 bytes)\nsaveflash: 0\n"
         "NDS header: used size 44544, device capacity 131072 (0x14 = 0), CRC 0x8C92\n",
         [&] {
           EXPECT_EQ(File("kept.d"), "kept.nds: \\\n ds.nds \\\n a.kid\nds.nds:\na.kid:\n");
           stdfs::last_write_time(dir / "kept.nds", Past);
         }),
      Ok({"rominfo", "kept.nds"},
         "*slot 1 end:   44543\nslot 2 start: 0\nslot 2 end:   0\n*slot 2: empty\n"
         "NDS used size: 44544\nNDS capacity:  131072 (0x14 = 0)\n",
         [&] {
           std::string over = File("kept.nds");
           Put32(over, 0x80, 200000);
           WriteFile(dir / "over.nds", over);
         }),
      {{"rominfo", "over.nds"}, 0, "*NDS used size: 200000\nNDS capacity:  131072 (0x14 = 0)\n",
       "kivofs: warning: the NDS header's total used ROM size (200000 bytes) exceeds its device "
       "capacity (offset 0x14: 131072 bytes): a DS emulator reports the header as invalid (attach "
       "with --nds-header)\n"},
      // Detaching gives the host its own used size back.
      Ok({"detach", "kept.nds", "-o", "kept-drives", "--rom", "ds-again.nds"},
         "wrote 'kept-drives/drive0.kid'\nwrote 'ds-again.nds'\nNDS header of 'ds-again.nds': "
         "used size restored to 32768, device capacity 131072 (0x14 = 0), CRC 0x1F37\n"),
      // A GBA program sees the first 32 MiB of its ROM: this drive ends one byte past them.
      {{"attach", "big.gba", "-o", "big-out.gba", "--drive0", "a.kid"}, 0, "*",
       "kivofs: warning: slot 1 ('a.kid', bytes 33542657 to 33554432) " + GbaWindow},
      {{"rominfo", "big-out.gba"}, 0, "*",
       "kivofs: warning: slot 1 (bytes 33542657 to 33554432) " + GbaWindow},
      {{"rominfo", "big-out.gba", "--fail-on-warning"}, 1, "*",
       "kivofs: warning: slot 1 (bytes 33542657 to 33554432) " + GbaWindow +
           "kivofs: error: 'big-out.gba': stopped by the warning above (--fail-on-warning)\n"},
      // Slots are numbered as rominfo numbers them, whichever option gave the drive.
      {{"attach", "big.gba", "-o", "big-out.gba", "--drive1", "a.kid", "--drive0", "b.kid"}, 0, "*",
       "kivofs: warning: slot 2 ('a.kid', bytes 33548801 to 33560576) " + GbaWindow},
      {{"attach", "far.gba", "-o", "far-out.gba", "--drive1", "a.kid"}, 0, "*",
       "kivofs: warning: slot 1 ('a.kid', bytes 33554532 to 33566307) lies wholly past the 32 MiB "
       "that a GBA program can see (0x08000000 to 0x09FFFFFF): none of it can be read\n"},
      // Warnings stop the run before anything replaces its target.
      {{"attach", "host.nds", "-o", "kept.nds", "--drive0", "odd.kid", "--depfile", "kept.d",
        "--fail-on-warning"},
       1, "", NotAnImage + "*" + stopped,
       [&] { EXPECT_EQ(stdfs::last_write_time(dir / "kept.nds"), Past); }},

      {{"attach", "host.nds", "-o", "out.nds"}, 2, "",
       "kivofs: error: give --drive0, --drive1 or both\n"
       "Run 'kivofs attach --help' for usage.\n"},
      Misuse({"attach", "host.nds", "--drive0", "a.kid"}),
      // The dependency file is checked before anything is written.
      Fails({"attach", "host.nds", "-o", "out.nds", "--drive0", "k=v.kid", "--depfile", "d"},
            "cannot write the dependency file 'd': make cannot read the name 'k=v.kid' back (it "
            "holds '=')",
            Missing({"out.nds", "d"})),
      Fails({"rominfo", "nope.nds"}, "cannot open 'nope.nds': No such file or directory"),
      Misuse({"rominfo"}),
      Misuse({"detach", "game.nds"}),
  });
}

// The drives of ROMs that attach made (at 4096 of host.nds).
TEST_F(Commands, ReadTheDrivesOfARom) {
  std::string damaged = image;
  Put32(damaged, 512 + 4 * 16, 0);  // a link in the chain of docs
  WriteFile(dir / "damaged.kid", damaged);
  const std::string ok1 = "ok (1 directory, 2 files, 23 clusters, 11776 bytes)\n";
  const std::string empty = "'host.nds' has no drive attached (both slots are empty)";
  Run({
      {{"attach", "host.nds", "-o", "two.nds", "--drive0", "a.kid", "--drive1", "b.kid"}, 0, "*",
       "*"},
      {{"attach", "host.nds", "-o", "one.gba", "--drive0", "a.kid"}, 0, "*", "*"},
      {{"attach", "host.nds", "-o", "bad.nds", "--drive0", "a.kid", "--drive1", "damaged.kid"}, 0,
       "*", "*"},
      Ok({"ls", "two.nds"}, "drive1/\ndrive2/\n"),
      Ok({"ls", "two.nds", "/Drive1/DOCS"}, "a.bin\n"),
      Ok({"ls", "-R", "two.nds"},
         "drive1/\ndrive1/docs/\ndrive1/docs/a.bin\ndrive1/readme.txt\ndrive2/\ndrive2/save.dat\n"),
      Ok({"ls", "-l", "one.gba"}, "d      11776                                     drive1/\n"),
      Ok({"ls", "two.nds", "--drive", "2"}, "save.dat\n"),
      Fails({"ls", "two.nds", "drive3"},
            "'two.nds': no 'drive3' at the top of the ROM (its drives are drive1/ and drive2/)"),
      Fails({"ls", "two.nds", "drive1/nothing"},
            "drive1 of 'two.nds': no 'nothing' in the root directory"),
      Fails({"ls", "one.gba", "--drive", "2"},
            "'one.gba' has no drive 2 attached (slot 2 is empty)"),
      Misuse({"ls", "two.nds", "--drive", "3"}),
      Fails({"ls", "a.kid", "--drive", "1"},
            "--drive 1: 'a.kid' is a drive image, not a ROM with drives attached"),
      Fails({"ls", "host.nds"}, empty),
      Fails({"ls", "plain.nds"},
            "'plain.nds' is neither a drive image nor a ROM with drives attached: no usable "
            "KivoFSDrive marker in 'plain.nds': none found"),

      Ok({"extract", "two.nds", "out"}, "extracted 3 files (1400 bytes) and 1 directory to 'out'\n",
         [&] {
           EXPECT_EQ(File("out/drive1/docs/a.bin"), Pattern(1000));
           EXPECT_EQ(File("out/drive2/save.dat"), Filler(300));
           EXPECT_EQ(Snapshot(dir / "out").size(), 6u);
         }),
      Ok({"extract", "--drive", "2", "two.nds", "only"},
         "extracted 1 file (300 bytes) and 0 directories to 'only'\n",
         [&] {
           const std::map<std::string, std::string> saved{{"save.dat", Filler(300)}};
           EXPECT_EQ(Snapshot(dir / "only"), saved);
         }),
      Fails({"extract", "host.nds", "none"}, empty, Missing({"none"})),

      Ok({"verify", "two.nds"},
         "two.nds drive1: " + ok1 + "two.nds drive2: ok (0 directories, 1 file, *)\n"),
      {{"verify", "bad.nds"}, 1,
       "bad.nds drive1: " + ok1 +
           "bad.nds drive2: 'docs': cluster 16 of its chain is marked free\n",
       "kivofs: error: drive2 of 'bad.nds': 1 problem found\n"},
      Ok({"verify", "bad.nds", "--drive", "1"}, "bad.nds drive1: " + ok1),

      Ok({"info", "two.nds", "--drive", "1"}, Info),
      Ok({"info", "two.nds"},
         "drive1 (slot 1, offset 4096)\n" + Info + "\ndrive2 (slot 2, offset 15872)\n*"),
      Ok({"info", "two.nds", "--json"},
         "{\n  \"drive1\": {\n    \"fsVersion\": \"1.00\",\n*      \"dataSize\": 6656\n    }\n"
         "  },\n  \"drive2\": {\n*    }\n  }\n}\n"),
      Fails({"info", "host.nds"}, empty),
  });
}

}  // namespace
}  // namespace kivo::test
