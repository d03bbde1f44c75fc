// Each subcommand lives in its own file: an options struct, a run function and an
// Add...Command that declares its options and returns how to run it.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "base/File.h"
#include "base/Result.h"

namespace kivo::cli {

struct Command {
  CLI::App* app;
  std::function<int()> run;
};

// A subcommand of `parent`: `declare(parent, options)` adds it with its arguments, bound to an
// options struct that lives as long as the program, and `run(options)` runs it.
template <typename Options, typename Run>
Command MakeCommand(CLI::App& parent, CLI::App* (*declare)(CLI::App&, Options&), Run run) {
  auto options = std::make_shared<Options>();
  CLI::App* app = declare(parent, *options);
  return {app, [options, run] { return run(*options); }};
}

// Prints "kivofs: error: <message>" on standard error; returns the exit code 1.
inline int Fail(const std::string& message) {
  std::cerr << "kivofs: error: " << message << '\n';
  return 1;
}
inline int Fail(const Error& error) { return Fail(error.message); }
// The exit code of a step: 0, or 1 after printing its error.
inline int ExitCode(const Status& status) { return status ? 0 : Fail(status.error()); }
// A mistake in the command line: the error, then where to read the usage
// ("kivofs <command> --help", or "kivofs --help" without a command); returns the exit code 2.
int UsageError(const std::string& message, const std::string& command = "");

// Prints "kivofs: warning: <message>" on standard error and counts it.
void Warn(const std::string& message);
// The warnings printed so far.
int WarningCount();

// Warns when `name` is longer than a stored drive name may be.
void WarnIfNameTruncated(const std::string& name);

// Why the file at `path` does not look like a drive image: "'p' does not look like a drive
// image (version V, driveSize S for a file of N bytes)<advice>", or the reason it could not be
// read; empty when it does.
std::string WhyNotAnImage(const std::string& path, std::string_view advice);

// How every warning names an attached drive: "slot N ('<drive>', bytes S to E)", or
// "slot N (bytes S to E)" when `drive` is empty. S and E are the first and last byte.
std::string SlotPlace(int slot, const std::string& drive, std::uint64_t start, std::uint64_t end);

// The warning about a slot that a GBA program cannot read whole: "slot N (<drive>, bytes S to
// E) passes ..." or "... lies wholly past ..."; `drive` names the drive file, or is empty.
std::string GbaWindowWarning(int slot, const std::string& drive, std::uint64_t start,
                             std::uint64_t end);

// "1 file", "2 files": a count with the noun that fits it.
std::string Count(std::uint64_t n, const char* one, const char* many);

// The --sync flag of the commands that write, which makes every output durable.
void AddSyncFlag(CLI::App& app);
// The --fail-on-warning flag; set in `fail`.
void AddFailOnWarningFlag(CLI::App& app, bool& fail);
// Both, in that order: the commands that write and may warn take them.
void AddFailOnWarningAndSyncFlags(CLI::App& app, bool& fail);
// With --fail-on-warning, after warnings: exit code 1, after the error "<what>: stopped by the
// warnings above (--fail-on-warning)"; 0 otherwise.
int FailOnWarnings(bool fail, const std::string& what);
// How a failed or stopped run names the output it left as it was.
std::string NothingWrittenTo(const std::string& output);
// With --fail-on-warning (`held` set), commits the held outputs unless warnings stopped the run
// that writes `output`; the exit code. Nothing to do without it.
int CommitHeld(std::optional<HeldCommits>& held, const std::string& output);

}  // namespace kivo::cli
