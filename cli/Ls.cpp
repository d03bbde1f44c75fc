// kivofs ls: lists a directory of an image.
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "base/File.h"
#include "fsimage/Reader.h"

namespace kivo::cli {
namespace {

struct LsOptions {
  std::string image;
  std::string path;
  bool longFormat = false;
  bool recursive = false;
};

std::string Line(const fs::DirEntry& e, const std::string& shownPath, bool longFormat) {
  std::string name = fs::PrintableName(shownPath) + (e.IsDirectory() ? "/" : "");
  if (!longFormat) return name;
  fs::EntryDate date = e.Date();
  char kind = e.IsDirectory() ? 'd' : e.IsFile() ? '-' : '?';
  char text[96];
  std::snprintf(text, sizeof text, "%c %10u %04u-%02u-%02u %s %02u:%02u:%02u %10u  ", kind, e.size,
                date.year, date.month + 1, date.day, std::string(fs::WeekdayName(date.weekday)).c_str(),
                unsigned{e.hour}, unsigned{e.minute}, unsigned{e.second}, e.firstCluster);
  return text + name;
}

std::string RelativeTo(const std::string& base, const std::string& path) {
  return base.empty() ? path : path.substr(base.size() + 1);
}

int RunLs(const LsOptions& options) {
  auto mapped = MappedFile::Open(PathFromUtf8(options.image));
  if (!mapped) return Fail(mapped.error());
  auto reader = fs::ImageReader::Open(mapped->bytes(), Quoted(options.image));
  if (!reader) return Fail(reader.error());
  auto where = reader->Resolve(options.path);
  if (!where) return Fail(where.error());

  if (!where->isRoot && !where->entry.IsDirectory()) {
    std::cout << Line(where->entry, where->path, options.longFormat) << '\n';
    return 0;
  }
  if (options.recursive) {
    Status walked = reader->WalkFrom(*where, [&](const fs::Located& item) -> Status {
      std::cout << Line(item.entry, RelativeTo(where->path, item.path), options.longFormat) << '\n';
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

}  // namespace

Command AddLsCommand(CLI::App& parent) {
  auto options = std::make_shared<LsOptions>();
  CLI::App* app = parent.add_subcommand("ls", "List a directory of a drive image");
  app->add_option("IMAGE", options->image, "Drive image (.kid)")->required();
  app->add_option("PATH", options->path,
                  "Directory or file inside the image (letter case does not matter)");
  app->add_flag("-l,--long", options->longFormat,
                "Show kind, size, date and time, and first cluster");
  app->add_flag("-R,--recursive", options->recursive, "List everything below, depth first");
  return {app, [options] { return RunLs(*options); }};
}

}  // namespace kivo::cli
