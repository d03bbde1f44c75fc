// The source scan: a depth-first walk in which every directory's record directly precedes
// the records of everything inside it, which placement relies on.
#include <algorithm>
#include <system_error>

#include "base/Glob.h"
#include "fsimage/Builder.h"

namespace kivo::fs {

namespace stdfs = std::filesystem;

std::string FileExtension(const std::string& name) {
  auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

namespace {

bool Excluded(const std::vector<std::string>& globs, const std::string& name) {
  return std::any_of(globs.begin(), globs.end(), [&](const std::string& glob) {
    return MatchesGlob(glob, name);
  });
}

std::string ParentPath(const std::vector<std::string>& components) {
  std::string path = "\\";
  for (const std::string& component : components) path += component + "\\";
  return path;
}

const char* KindOf(stdfs::file_type type) {
  switch (type) {
    case stdfs::file_type::fifo: return "a named pipe";
    case stdfs::file_type::socket: return "a socket";
    case stdfs::file_type::block: return "a block device";
    case stdfs::file_type::character: return "a character device";
    default: return "not a regular file or directory";
  }
}

// Whether the file `name` at `path` is one of `outputs`: only a file of an output's name is
// looked up, so that the scan of a large tree costs nothing more.
bool IsOwnOutput(const std::vector<stdfs::path>& outputs, const std::string& name,
                 const std::string& path) {
  return std::any_of(outputs.begin(), outputs.end(), [&](const stdfs::path& output) {
    std::error_code ignored;
    return Utf8(output.filename()) == name &&
           stdfs::equivalent(PathFromUtf8(path), output, ignored);
  });
}

}  // namespace

void DriveBuilder::Refuse(ErrorKind kind, const std::string& path, std::string message) {
  scanProblems_.push_back(MakeError(kind, std::move(message), PathFromUtf8(path)));
}

void DriveBuilder::ScanSource(const std::string& dir, const std::string& filter) {
  if (scannedRoot_.empty()) scannedRoot_ = dir;
  std::vector<std::string> components;
  std::vector<std::string> ancestors{dir};
  ScanDirectory(dir, filter, components, ancestors);
}

void DriveBuilder::ScanDirectory(const std::string& dir, const std::string& filter,
                                 std::vector<std::string>& components,
                                 std::vector<std::string>& ancestors) {
  Result<std::vector<ListedEntry>> listing = ListDirectory(PathFromUtf8(dir));
  if (!listing) {
    // The source root that cannot be listed counts as nothing found; a subdirectory that
    // cannot be listed would silently lose its contents, so it refuses the build.
    const std::string& why = listing.error().message;
    if (components.empty()) {
      topLevelError_ = why;
    } else {
      Refuse(ErrorKind::CannotOpen, dir, "cannot list " + Quoted(dir) + ": " + why);
    }
    return;
  }
  std::vector<ListedEntry>& items = *listing;
  if (options_.sortByName) {
    std::sort(items.begin(), items.end(),
              [](const ListedEntry& a, const ListedEntry& b) { return a.name < b.name; });
  }

  const std::string parentPath = ParentPath(components);
  for (const ListedEntry& item : items) {
    const std::string& name = item.name;
    if (name.empty() || name[0] == '.') continue;
    if (Excluded(options_.excludes, name)) continue;
    const std::string path = JoinPath(dir, name);

    // The listing already knows the type of most items, which saves a look-up per item on
    // large trees; a link is looked up through.
    std::error_code statusError;
    stdfs::file_type type = item.type;
    if (type == stdfs::file_type::none) {
      type = stdfs::symlink_status(PathFromUtf8(path), statusError).type();
    }
    const bool isLink = !statusError && type == stdfs::file_type::symlink;
    if (isLink) type = stdfs::status(PathFromUtf8(path), statusError).type();
    if (isLink && (statusError || type == stdfs::file_type::not_found)) {
      Refuse(ErrorKind::NotFound, path, Quoted(path) + " is a dangling symbolic link");
      continue;
    }
    if (statusError) {
      Refuse(ErrorKind::Io, path, "cannot read " + Quoted(path) + ": " + statusError.message());
      continue;
    }

    if (type == stdfs::file_type::directory) {
      if (isLink) {
        auto loop = std::find_if(ancestors.begin(), ancestors.end(), [&](const std::string& a) {
          std::error_code ignored;
          return stdfs::equivalent(PathFromUtf8(path), PathFromUtf8(a), ignored);
        });
        if (loop != ancestors.end()) {
          Refuse(ErrorKind::Invalid, path,
                 Quoted(path) + " is a symbolic link cycle: it leads back to " + Quoted(*loop));
          continue;
        }
      }
      scanTable_.push_back({name, parentPath, path, true, 0});
      totals_.dirSpace += DirectoryBlockSize;
      totals_.dirCount += 1;
      components.push_back(name);
      ancestors.push_back(path);
      ScanDirectory(path, filter, components, ancestors);
      ancestors.pop_back();
      components.pop_back();
    } else if (type == stdfs::file_type::regular) {
      if (filter != "*" && FileExtension(name) != filter) continue;
      if (IsOwnOutput(options_.ownOutputs, name, path)) continue;
      Result<std::uint64_t> size = FileSize(PathFromUtf8(path));
      if (!size) {
        Refuse(ErrorKind::Io, path, "cannot read " + size.error().message);
        continue;
      }
      if (*size > MaxImageSize) {
        scanTooLarge_ = true;
        Refuse(ErrorKind::Capacity, path,
               Quoted(path) + " is too large (" + std::to_string(*size) +
                   " bytes); a file must be smaller than 2 GiB");
        continue;
      }
      scanTable_.push_back({name, parentPath, path, false, *size});
      totals_.fileCount += 1;
      totals_.byteCount += static_cast<std::int64_t>(*size);
      totals_.fileSpace += static_cast<std::int64_t>(FileSpace(*size));
    } else {
      std::string warning = "skipping " + Quoted(path) + ": " + KindOf(type);
      if (options_.warn) {
        options_.warn(warning);
      } else {
        out_ << "warning: " << warning << '\n';
      }
    }
  }
}

}  // namespace kivo::fs
