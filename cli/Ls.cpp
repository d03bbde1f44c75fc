// kivofs ls: lists a directory of an image.
#include <cstdio>
#include <iomanip>

#include "cli/Commands.h"
#include "cli/ImageOrRom.h"
#include "base/File.h"
#include "fsimage/Reader.h"

namespace kivo::cli {
namespace {

struct LsOptions {
  std::string image;
  std::string path;
  bool longFormat = false;
  bool recursive = false;
  int drive = 0;
};

std::string Line(const fs::DirEntry& e, const std::string& shownPath, bool longFormat) {
  std::string name = fs::PrintableName(shownPath) + (e.IsDirectory() ? "/" : "");
  if (!longFormat) return name;
  fs::EntryDate date = e.Date();
  char kind = e.IsDirectory() ? 'd' : e.IsFile() ? '-' : '?';
  char text[96];
  std::snprintf(text, sizeof text, "%c %10u %04u-%02u-%02u %s %02u:%02u:%02u %10u  ", kind, e.size,
                date.year, date.month + 1, date.day,
                std::string(fs::WeekdayName(date.weekday)).c_str(), unsigned{e.hour},
                unsigned{e.minute}, unsigned{e.second}, e.firstCluster);
  return text + name;
}

std::string RelativeTo(const std::string& base, const std::string& path) {
  return base.empty() ? path : path.substr(base.size() + 1);
}

// Lists `path` of one drive; `prefix` ("drive1/" for a ROM's drive) leads the paths that
// a recursive listing shows.
int ListDrive(const LsOptions& options, const InputDrive& drive, const std::string& path,
              const std::string& prefix) {
  auto reader = fs::ImageReader::Open(drive.bytes, drive.source);
  if (!reader) return Fail(reader.error());
  auto where = reader->Resolve(path);
  if (!where) return Fail(where.error());

  if (!where->isRoot && !where->entry.IsDirectory()) {
    std::cout << Line(where->entry, prefix + where->path, options.longFormat) << '\n';
    return 0;
  }
  if (options.recursive) {
    Status walked = reader->WalkFrom(*where, [&](const fs::Located& item) -> Status {
      std::cout << Line(item.entry, prefix + RelativeTo(where->path, item.path), options.longFormat)
                << '\n';
      return {};
    });
    if (!walked) return Fail(walked.error());
    return 0;
  }
  auto items = reader->List(*where);
  if (!items) return Fail(items.error());
  for (const fs::Slot& slot : *items) {
    std::cout << Line(slot.entry, slot.entry.name, options.longFormat) << '\n';
  }
  return 0;
}

// A ROM's top level holds its drives as folders; a long line gives the drive's size.
void PrintDriveFolder(const InputDrive& drive, bool longFormat) {
  // Blank where a drive has no date, time or cluster.
  if (longFormat) std::cout << "d " << std::setw(10) << drive.bytes.size() << std::string(37, ' ');
  std::cout << drive.folder << "/\n";
}

int RunLs(const LsOptions& options) {
  auto input = OpenImageOrRom(options.image, options.drive);
  if (!input) return Fail(input.error());
  if (!input->rom || options.drive != 0) {
    return ListDrive(options, input->drives.front(), options.path, "");
  }
  // Without --drive the path starts with a drive's folder.
  std::string path = options.path;
  std::size_t start = path.find_first_not_of("/\\");
  path = start == std::string::npos ? "" : path.substr(start);
  std::size_t cut = path.find_first_of("/\\");
  std::string folder = path.substr(0, cut), rest = cut == std::string::npos ? "" : path.substr(cut);
  for (const InputDrive& drive : input->drives) {
    // Letter case does not matter here either.
    if (!folder.empty() && folder != "." && !fs::SameStoredName(folder, drive.folder)) continue;
    if (!folder.empty() && folder != ".") {
      return ListDrive(options, drive, rest, drive.folder + "/");
    }
    PrintDriveFolder(drive, options.longFormat);
    if (!options.recursive) continue;
    if (int failed = ListDrive(options, drive, "", drive.folder + "/"); failed != 0) return failed;
  }
  if (folder.empty() || folder == ".") return 0;
  return Fail(Quoted(options.image) + ": no '" + fs::PrintableName(folder) +
              "' at the top of the ROM (its drives are " + DriveFolders(*input) + ")");
}

CLI::App* DeclareLs(CLI::App& parent, LsOptions& options) {
  CLI::App* app = parent.add_subcommand("ls", "List a directory of a drive image");
  AddImageArgument(*app, options.image);
  app->add_option("PATH", options.path,
                  "Directory or file inside the image (letter case does not matter); in a ROM, "
                  "below drive1/ or drive2/");
  app->add_flag("-l,--long", options.longFormat,
                "Show kind, size, date and time, and first cluster");
  app->add_flag("-R,--recursive", options.recursive, "List everything below, depth first");
  AddDriveOption(*app, options.drive);
  return app;
}

}  // namespace

Command AddLsCommand(CLI::App& parent) { return MakeCommand(parent, DeclareLs, RunLs); }

}  // namespace kivo::cli
