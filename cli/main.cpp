#include <algorithm>
#include <vector>

#include "base/File.h"
#include "base/Host.h"

#include "cli/Commands.h"

#if defined(_WIN32)
constexpr const char* MountMissingReason =
    "The subcommand mount is not available on Windows, which has no FUSE.";
#elif !defined(KIVOFS_HAVE_FUSE)
constexpr const char* MountMissingReason =
    "The subcommand mount is not available: this kivofs was built without libfuse3.";
#endif

namespace {

bool IsCommand(const CLI::App& app, const std::string& name) {
  auto commands = app.get_subcommands({});
  return std::any_of(commands.begin(), commands.end(),
                     [&](const CLI::App* command) { return command->check_name(name); });
}

// "unknown command 'x'" with the commands there are, as CLI11 would only ask for one.
int UnknownCommand(const CLI::App& app, const std::string& name) {
  std::cerr << "kivofs: error: unknown command '" << name << "'\nCommands:";
  for (const CLI::App* command : app.get_subcommands({})) std::cerr << ' ' << command->get_name();
  std::cerr << "\nRun 'kivofs --help' for usage.\n";
  return 2;
}

}  // namespace

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

  // An interrupted run leaves no temporary file behind.
  kivo::CleanUpOnInterrupt();

  // CLI11 takes the arguments in reverse order.
  std::vector<std::string> arguments = kivo::Utf8Arguments(argc, argv);
  arguments.erase(arguments.begin());
  if (!arguments.empty() && !arguments.front().starts_with('-') &&
      !IsCommand(app, arguments.front())) {
    int code = UnknownCommand(app, arguments.front());
#ifndef KIVOFS_HAVE_FUSE
    if (arguments.front() == "mount") std::cerr << MountMissingReason << '\n';
#endif
    return code;
  }
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
