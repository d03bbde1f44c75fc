// Images as the drive tool builds them, with a fixed clock: the builder's bytes are checked
// against hand-computed ones (BuilderTest), so every reader, the verifier and the fault
// tests may start from them.
#pragma once

#include <ctime>
#include <functional>
#include <sstream>
#include <string>

#include "fsimage/Builder.h"
#include "tests/support/Support.h"

namespace kivo::fs::test {

using namespace kivo::test;

// A broken-down time of `year` (in full), `month` from 0 = January, `weekday` from 0 = Sunday.
inline std::tm Time(int weekday, int day, int month, int year, int hour, int minute, int second) {
  std::tm time{};
  time.tm_wday = weekday;
  time.tm_mday = day;
  time.tm_mon = month;
  time.tm_year = year - 1900;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

// Wednesday 15 March 2006, 14:05:09: date bytes 6F 27 D6, then 0E 05 09.
inline std::tm FixedTime() { return Time(3, 15, 2, 2006, 14, 5, 9); }

// The format's worked example: docs holding a.bin (1000 bytes), and readme.txt (100 bytes).
// docs is root slot 0 (offset 1024, clusters 10-17, block at 5120), a.bin slot 2 of its block
// (offset 5190, clusters 18-20, bytes at 9216), readme.txt root slot 1 (offset 1059, clusters
// 21-22, bytes at 10752). The image has 11776 bytes.
inline Tree WorkedExample() {
  return {{"docs/a.bin", Pattern(1000)}, {"readme.txt", std::string(100, 'r')}};
}
inline constexpr std::size_t Docs = 1024, Readme = 1059, DocsBlock = 5120, ABin = 5190;

inline BuilderOptions FixedClock() {
  BuilderOptions options;
  options.clock = FixedTime;
  return options;
}

// One build into out/out.kid, which holds "old image" before; `prepare` may change the source
// tree after it is made. The source path shows as "src" in problems.
struct Build {
  explicit Build(const Tree& tree, BuilderOptions options = FixedClock(),
                 const std::function<void(const stdfs::path& src)>& prepare = {}) {
    MakeTree(dir / "src", tree);
    if (prepare) prepare(dir / "src");
    WriteFile(dir / "out/out.kid", "old image");
    options.sortByName = true;
    std::ostringstream diagnostics;
    DriveBuilder builder(diagnostics, options);
    builder.ScanTree((dir / "src").string());
    BuildResult built = builder.BuildImage((dir / "out/out.kid").string());
    result = built.outcome;
    image = ReadFile(dir / "out/out.kid");
    lines = diagnostics.str();
    records = builder.records();
    for (const Error& problem : built.problems) {
      problems += Relative(problem.message, dir.path()) + "\n";
    }
    leftovers = Snapshot(dir / "out").size() - 1;
  }
  TempDir dir;
  BuildOutcome result = BuildOutcome::Built;
  std::string image, lines, problems;
  std::vector<ScanRecord> records;
  std::size_t leftovers = 0;  // files beside the output: temporary files left behind
};

inline std::string Image(const Tree& tree) { return Build(tree).image; }

// Ways to damage an image's bytes: a 32-bit value at a byte, an allocation table entry, a byte,
// the length, a 16-byte name field, or several of these.
using Damage = std::function<void(std::string&)>;
inline Damage At(std::size_t at, std::uint32_t value) {
  return [=](std::string& i) { Put32(i, at, value); };
}
inline Damage Link(std::size_t cluster, std::uint32_t value) {
  return At(512 + 4 * cluster, value);
}
inline Damage Byte(std::size_t at, char value) { return [=](std::string& i) { i[at] = value; }; }
inline Damage Cut(std::size_t size) { return [=](std::string& i) { i.resize(size); }; }
inline Damage Name(std::size_t at, std::string name) {
  name.resize(16, '\0');
  return [=](std::string& i) { i.replace(at, 16, name); };
}
inline Damage All(std::vector<Damage> steps) {
  return [=](std::string& i) {
    for (const Damage& step : steps) step(i);
  };
}

}  // namespace kivo::fs::test
