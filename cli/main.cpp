#include <algorithm>
#include <optional>
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
  std::string message = "unknown command '" + name + "'\nCommands:";
  for (const CLI::App* command : app.get_subcommands({})) message += ' ' + command->get_name();
  int code = kivo::cli::UsageError(message);
#ifndef KIVOFS_HAVE_FUSE
  if (name == "mount") std::cerr << MountMissingReason << '\n';
#endif
  return code;
}

std::vector<kivo::cli::Command> AddCommands(CLI::App& app) {
  using namespace kivo::cli;
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
  return commands;
}

// Parses the arguments (the program's name left out); the exit code when that ends the run.
std::optional<int> Parse(CLI::App& app, std::vector<std::string> arguments) {
  if (!arguments.empty() && !arguments.front().starts_with('-') &&
      !IsCommand(app, arguments.front())) {
    return UnknownCommand(app, arguments.front());
  }
  // CLI11 takes the arguments in reverse order.
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
    return kivo::cli::UsageError(e.what());
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"kivofs: pack directory trees into Kivo drive images and attach them to ROMs",
               "kivofs"};
  app.set_version_flag("--version", std::string("kivofs ") + KIVOFS_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  // CLI11 reads "/x" as an option on Windows; here it is a path, as on every host.
  app.allow_windows_style_options(false);
  const std::vector<kivo::cli::Command> commands = AddCommands(app);

  // An interrupted run leaves no temporary file behind.
  kivo::CleanUpOnInterrupt();

  std::vector<std::string> arguments = kivo::Utf8Arguments(argc, argv);
  arguments.erase(arguments.begin());
  if (std::optional<int> ended = Parse(app, std::move(arguments))) return *ended;
  for (const kivo::cli::Command& command : commands) {
    if (command.app->parsed()) return command.run();
  }
  return 2;
}
