#pragma once

#include "cli/Command.h"

namespace kivo::cli {

// One line per subcommand, in the order of `kivofs --help`.
Command AddBuildCommand(CLI::App& parent);
}  // namespace kivo::cli
