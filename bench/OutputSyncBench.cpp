// What --sync costs: an output of a given size written and committed with and without syncing
// the file and its folder, in a scratch folder beside the build (a real disk, not tmpfs).
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "base/File.h"

namespace {

void CommitOutput(benchmark::State& state, bool sync) {
  const std::filesystem::path dir = std::filesystem::current_path() / "output-sync-bench";
  std::filesystem::create_directories(dir);
  const std::vector<std::byte> bytes(static_cast<std::size_t>(state.range(0)), std::byte{0x5A});
  kivo::SetSyncOutputs(sync);
  unsigned round = 0;
  for (auto _ : state) {
    // A new name each round: identical bytes would leave the target untouched.
    auto output = kivo::OutputFile::Create(dir / ("out" + std::to_string(round++ % 2) + ".kid"));
    std::vector<std::byte> changed = bytes;
    changed[0] = static_cast<std::byte>(round);
    if (!output || !output->WriteAt(0, changed).ok() || !output->Commit().ok()) {
      state.SkipWithError("cannot write the output");
      break;
    }
  }
  kivo::SetSyncOutputs(false);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
  std::filesystem::remove_all(dir);
}

void BM_Commit(benchmark::State& state) { CommitOutput(state, false); }
void BM_CommitSynced(benchmark::State& state) { CommitOutput(state, true); }

BENCHMARK(BM_Commit)->Arg(64 << 10)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommitSynced)->Arg(64 << 10)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
