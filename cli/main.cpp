#include <algorithm>
#include <vector>

#include "base/File.h"

#include "cli/Commands.h"

#if defined(_WIN32)
constexpr const char* MountMissingReason =
    "The subcommand mount is not available on Windows, which has no FUSE.";
#elif !defined(KIVOFS_HAVE_FUSE)
constexpr const char* MountMissingReason =
    "The subcommand mount is not available: this kivofs was built without libfuse3.";
#endif

int main(int argc, char** argv) {
  using namespace kivo::cli;
  CLI::App app{"kivofs: pack directory trees into Kivo drive images and attach them to ROMs",
               "kivofs"};
  app.set_version_flag("--version", std::string("kivofs ") + KIVOFS_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  // CLI11 reads "/x" as an option on Windows; here it is a path, as on every host.
  app.allow_windows_style_options(false);

  std::vector<Command> commands = {
      // subcommands, in the order of `kivofs --help`
      AddBuildCommand(app),
      AddInfoCommand(app),
      AddRenameCommand(app),
      AddLsCommand(app),
      AddExtractCommand(app),
      AddVerifyCommand(app),
      AddAttachCommand(app),
      AddRomInfoCommand(app),
      AddDetachCommand(app),
#ifdef KIVOFS_HAVE_FUSE
      AddMountCommand(app),
#endif
  };
#ifndef KIVOFS_HAVE_FUSE
  app.footer(MountMissingReason);
#endif

  // CLI11 takes the arguments in reverse order.
  std::vector<std::string> arguments = kivo::Utf8Arguments(argc, argv);
  arguments.erase(arguments.begin());
  std::reverse(arguments.begin(), arguments.end());
  try {
    app.parse(arguments);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "kivofs: error: " << e.what() << "\nRun 'kivofs --help' for usage.\n";
    return 2;
  }
  for (const Command& command : commands) {
    if (command.app->parsed()) return command.run();
  }
  return 2;
}
