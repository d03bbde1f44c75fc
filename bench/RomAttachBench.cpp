// Marker search speed on a large ROM, and attach of a 64 MiB host with two 32 MiB drives
// against `cat` of the same files in the same run.
//
// Run: build/bench/RomAttachBench   (KIVOFS_BIN overrides where the kivofs binary is found;
// KIVOFS_BENCH_DIR where the scratch files go, default the system's temporary directory).
// Targets: search >= 1 GB/s; attach within 1.2x of cat. bench/run.sh measures the attach of a
// host whose marker lies near its end, where the whole host is searched, with the peak RSS.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "romattach/AttachDrives.h"
#include "romattach/Marker.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::byte> RandomBytes(std::size_t size, unsigned seed) {
  std::vector<std::byte> bytes(size);
  std::mt19937_64 random(seed);
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    std::uint64_t value = random();
    for (int k = 0; k < 8; ++k) bytes[i + k] = static_cast<std::byte>(value >> (8 * k));
  }
  return bytes;
}

void PutMarker(std::vector<std::byte>& bytes, std::size_t offset) {
  for (std::size_t i = 0; i < kivo::rom::MarkerSize; ++i) {
    bytes[offset + i] = static_cast<std::byte>(kivo::rom::MarkerText[i]);
  }
}

void BM_FindParamBlock512MiB(benchmark::State& state) {
  const std::size_t size = std::size_t{512} << 20;
  static std::vector<std::byte> rom = [&] {
    auto bytes = RandomBytes(size, 1);
    PutMarker(bytes, size - 4096);
    return bytes;
  }();
  for (auto _ : state) {
    auto found = kivo::rom::FindParamBlock(rom);
    benchmark::DoNotOptimize(found);
    if (found != size - 4096 + kivo::rom::MarkerSize) state.SkipWithError("wrong offset");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
}
BENCHMARK(BM_FindParamBlock512MiB)->Unit(benchmark::kMillisecond);

void WriteFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path KivofsBinary() {
  if (const char* path = std::getenv("KIVOFS_BIN")) return path;
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return self.parent_path().parent_path() / "cli" / "kivofs";
}

struct AttachFiles {
  std::filesystem::path dir;
  AttachFiles() {
    const char* base = std::getenv("KIVOFS_BENCH_DIR");
    dir = (base ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) /
          "kivofs-attach-bench";
    std::filesystem::create_directories(dir);
    auto host = RandomBytes(std::size_t{64} << 20, 2);
    PutMarker(host, 0x200);  // where a real ROM keeps it: early, in the program's data
    std::fill_n(host.begin() + 0x200 + 11, 17, std::byte{0});
    WriteFile(dir / "host.nds", host);
    WriteFile(dir / "d0.kid", RandomBytes(std::size_t{32} << 20, 3));
    WriteFile(dir / "d1.kid", RandomBytes(std::size_t{32} << 20, 4));
  }
  ~AttachFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

std::string Q(const std::filesystem::path& path) {
  std::string quoted = "'";
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

std::string Join(std::initializer_list<std::string> words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    line += word;
  }
  return line;
}

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// Each iteration runs cat, the kivofs binary and the in-process attach once, so all three see
// the same page cache and disk state; the counters are their mean times and the ratios.
void BM_AttachVsCat(benchmark::State& state) {
  static AttachFiles files;
  const auto& d = files.dir;
  const std::string cat = Join({"cat", Q(d / "host.nds"), Q(d / "d0.kid"), Q(d / "d1.kid"), ">",
                                 Q(d / "cat.nds")});
  // The attach makes its output durable before renaming it over the target; this is what cat
  // costs when it is held to the same.
  const std::string catSync = Join({cat, "&& sync", Q(d / "cat.nds")});
  const std::filesystem::path kivofs = KivofsBinary();
  const bool haveBinary = std::filesystem::exists(kivofs);
  const std::string binary =
      Join({Q(kivofs), "attach", Q(d / "host.nds"), "-o", Q(d / "bin.nds"), "--drive0",
            Q(d / "d0.kid"), "--drive1", Q(d / "d1.kid"), "--saveflash > /dev/null"});
  kivo::rom::AttachRequest request{d / "host.nds", d / "d0.kid", d / "d1.kid", d / "lib.nds",
                                   true, false, false};
  double catTime = 0, catSyncTime = 0, binaryTime = 0, libraryTime = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    if (std::system(cat.c_str()) != 0) state.SkipWithError("cat failed");
    catTime += Seconds(start);
    start = Clock::now();
    if (std::system(catSync.c_str()) != 0) state.SkipWithError("cat && sync failed");
    catSyncTime += Seconds(start);
    if (haveBinary) {
      start = Clock::now();
      if (std::system(binary.c_str()) != 0) state.SkipWithError("kivofs attach failed");
      binaryTime += Seconds(start);
    }
    start = Clock::now();
    auto result = kivo::rom::AttachDrives(request);
    libraryTime += Seconds(start);
    if (!result) state.SkipWithError(result.error().message.c_str());
  }
  auto n = static_cast<double>(state.iterations());
  state.counters["cat_ms"] = 1000 * catTime / n;
  state.counters["lib_ms"] = 1000 * libraryTime / n;
  state.counters["catsync_ms"] = 1000 * catSyncTime / n;
  state.counters["lib_vs_cat"] = libraryTime / catTime;
  state.counters["lib_vs_catsync"] = libraryTime / catSyncTime;
  if (haveBinary) {
    state.counters["kivofs_ms"] = 1000 * binaryTime / n;
    state.counters["kivofs_vs_cat"] = binaryTime / catTime;
    state.counters["kivofs_vs_catsync"] = binaryTime / catSyncTime;
  }
}
BENCHMARK(BM_AttachVsCat)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
