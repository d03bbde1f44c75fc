#pragma once

#include "cli/Command.h"

namespace kivo::cli {

// One line per subcommand, in the order of `kivofs --help`.
}  // namespace kivo::cli
