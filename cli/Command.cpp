// The helpers that the subcommands share.
#include "cli/Command.h"

#include "base/File.h"
#include "fsimage/Codec.h"
#include "romattach/RomAttach.h"

namespace kivo::cli {
namespace {

int warnings = 0;

}  // namespace

void Warn(const std::string& message) {
  ++warnings;
  std::cerr << "kivofs: warning: " << message << '\n';
}

int WarningCount() { return warnings; }

int UsageError(const std::string& message, const std::string& command) {
  Fail(message);
  std::cerr << "Run 'kivofs " << (command.empty() ? "" : command + " ") << "--help' for usage.\n";
  return 2;
}

std::string Count(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void WarnIfNameTruncated(const std::string& name) {
  if (!fs::DriveNameTooLong(name)) return;
  Warn("the drive name " + Quoted(name) + " is longer than 15 characters; it is stored as " +
       Quoted(fs::StoredDriveName(name)));
}

std::string WhyNotAnImage(const std::string& path, std::string_view advice) {
  auto mapped = MappedFile::Open(PathFromUtf8(path));
  if (!mapped) return mapped.error().message;
  auto header = fs::DecodeHeader(mapped->bytes(), Quoted(path));
  if (!header) return header.error().message;
  if (header->version != fs::FormatVersion || header->driveSize != mapped->bytes().size()) {
    return Quoted(path) + " does not look like a drive image (version " +
           std::to_string(header->version) + ", driveSize " + std::to_string(header->driveSize) +
           " for a file of " + std::to_string(mapped->bytes().size()) + " bytes)" +
           std::string(advice);
  }
  return {};
}

std::string SlotPlace(int slot, const std::string& drive, std::uint64_t start, std::uint64_t end) {
  return "slot " + std::to_string(slot) + " (" + (drive.empty() ? "" : Quoted(drive) + ", ") +
         "bytes " + std::to_string(start) + " to " + std::to_string(end) + ")";
}

std::string GbaWindowWarning(int slot, const std::string& drive, std::uint64_t start,
                             std::uint64_t end) {
  const std::string window =
      " the 32 MiB that a GBA program can see (0x08000000 to 0x09FFFFFF): ";
  std::string where = SlotPlace(slot, drive, start, end);
  if (start >= rom::GbaWindowSize) {
    return where + " lies wholly past" + window + "none of it can be read";
  }
  return where + " passes" + window + "its bytes from " + std::to_string(rom::GbaWindowSize) +
         " on cannot be read";
}

void AddSyncFlag(CLI::App& app) {
  app.add_flag_callback(
      "--sync", [] { SetSyncOutputs(true); },
      "Sync each output file and its folder to the disk before finishing, so that it survives "
      "a power cut (slower)");
}

void AddFailOnWarningFlag(CLI::App& app, bool& fail) {
  app.add_flag("--fail-on-warning", fail,
               "Treat every warning as an error: exit 1 and leave the outputs as they were");
}

void AddFailOnWarningAndSyncFlags(CLI::App& app, bool& fail) {
  AddFailOnWarningFlag(app, fail);
  AddSyncFlag(app);
}

int FailOnWarnings(bool fail, const std::string& what) {
  if (!fail || WarningCount() == 0) return 0;
  return Fail(what + ": stopped by the " + (WarningCount() == 1 ? "warning" : "warnings") +
              " above (--fail-on-warning)");
}

std::string NothingWrittenTo(const std::string& output) {
  return "nothing was written to " + Quoted(output);
}

int CommitHeld(std::optional<HeldCommits>& held, const std::string& output) {
  if (!held) return 0;
  if (int failed = FailOnWarnings(true, NothingWrittenTo(output)); failed != 0) return failed;
  return ExitCode(held->CommitAll());
}

}  // namespace kivo::cli
