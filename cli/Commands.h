#pragma once

#include "cli/Command.h"

namespace kivo::cli {

// One line per subcommand, in the order of `kivofs --help`.
Command AddBuildCommand(CLI::App& parent);
Command AddInfoCommand(CLI::App& parent);
Command AddRenameCommand(CLI::App& parent);
Command AddLsCommand(CLI::App& parent);
Command AddExtractCommand(CLI::App& parent);
Command AddVerifyCommand(CLI::App& parent);
Command AddAttachCommand(CLI::App& parent);
Command AddRomInfoCommand(CLI::App& parent);
Command AddDetachCommand(CLI::App& parent);
#ifdef KIVOFS_HAVE_FUSE
Command AddMountCommand(CLI::App& parent);
#endif
}  // namespace kivo::cli
