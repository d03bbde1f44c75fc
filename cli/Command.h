// Each subcommand lives in its own file: an options struct, a run function and an
// Add...Command that declares its options and returns how to run it.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "base/Result.h"

namespace kivo::cli {

struct Command {
  CLI::App* app;
  std::function<int()> run;
};

// Prints "kivofs: error: <message>" on standard error; returns the exit code 1.
inline int Fail(const std::string& message) {
  std::cerr << "kivofs: error: " << message << '\n';
  return 1;
}
inline int Fail(const Error& error) { return Fail(error.message); }

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

// The --sync flag of the commands that write, which makes every output durable.
void AddSyncFlag(CLI::App& app);
// The --fail-on-warning flag; set in `fail`.
void AddFailOnWarningFlag(CLI::App& app, bool& fail);
// With --fail-on-warning, after warnings: exit code 1, after the error "<what>: stopped by the
// warnings above (--fail-on-warning)"; 0 otherwise.
int FailOnWarnings(bool fail, const std::string& what);

}  // namespace kivo::cli
