// Each subcommand lives in its own file: an options struct, a run function and an
// Add...Command that declares its options and returns how to run it.
#pragma once

#include <functional>
#include <iostream>
#include <string>

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

inline void Warn(const std::string& message) { std::cerr << "kivofs: warning: " << message << '\n'; }

// Shown when a drive name is longer than a stored name may be (two blanks before the line
// break), as the drive tool shows it.
inline constexpr const char* DriveNameWarning =
    "Warning the name will be truncated.  \nThe name may only be 15 letters long.";

}  // namespace kivo::cli
