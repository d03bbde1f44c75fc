// The source scan: a depth-first walk in which every directory's record directly precedes
// the records of everything inside it, which placement relies on.
#include "fsimage/Scan.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "base/File.h"
#include "base/Glob.h"
#include "fsimage/Format.h"

namespace kivo::fs {

namespace stdfs = std::filesystem;

std::string FileExtension(const std::string& name) {
  auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

namespace {

bool Excluded(const std::vector<std::string>& globs, const std::string& name) {
  return std::any_of(globs.begin(), globs.end(),
                     [&](const std::string& glob) { return MatchesGlob(glob, name); });
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

struct FoundItem {
  const std::string& name;
  std::string path;
  stdfs::file_type type;
  bool isLink;
};

class SourceWalker {
 public:
  SourceWalker(const ScanOptions& options, SourceScan& scan) : options_(options), scan_(scan) {}

  void Walk(const std::string& dir) {
    if (std::optional<std::vector<ListedEntry>> items = List(dir)) {
      const std::string parentPath = ParentPath(components_);
      for (const ListedEntry& item : *items) Visit(dir, parentPath, item);
    }
  }

 private:
  std::optional<std::vector<ListedEntry>> List(const std::string& dir);
  void Visit(const std::string& dir, const std::string& parentPath, const ListedEntry& item);
  bool Classify(FoundItem& item, stdfs::file_type listed);
  void EnterDirectory(const FoundItem& item, const std::string& parentPath);
  void RecordFile(const FoundItem& item, const std::string& parentPath);
  void Refuse(ErrorKind kind, const std::string& path, std::string message) {
    scan_.problems.push_back(MakeError(kind, std::move(message), PathFromUtf8(path)));
  }

  const ScanOptions& options_;
  SourceScan& scan_;
  std::vector<std::string> components_;
  std::vector<std::string> ancestors_{scan_.root};
};

std::optional<std::vector<ListedEntry>> SourceWalker::List(const std::string& dir) {
  Result<std::vector<ListedEntry>> listing = ListDirectory(PathFromUtf8(dir));
  if (!listing) {
    // The source root that cannot be listed counts as nothing found; a subdirectory that
    // cannot be listed would silently lose its contents, so it refuses the build.
    const std::string& why = listing.error().message;
    if (components_.empty()) {
      scan_.rootError = why;
    } else {
      Refuse(ErrorKind::CannotOpen, dir, "cannot list " + Quoted(dir) + ": " + why);
    }
    return std::nullopt;
  }
  std::vector<ListedEntry>& items = *listing;
  if (options_.sortByName) {
    std::sort(items.begin(), items.end(),
              [](const ListedEntry& a, const ListedEntry& b) { return a.name < b.name; });
  }
  return std::move(items);
}

void SourceWalker::Visit(const std::string& dir, const std::string& parentPath,
                         const ListedEntry& item) {
  const std::string& name = item.name;
  if (name.empty() || name[0] == '.' || Excluded(options_.excludes, name)) return;
  FoundItem found{name, JoinPath(dir, name), stdfs::file_type::none, false};
  if (!Classify(found, item.type)) return;
  if (found.type == stdfs::file_type::directory) {
    EnterDirectory(found, parentPath);
  } else if (found.type == stdfs::file_type::regular) {
    RecordFile(found, parentPath);
  } else {
    std::string warning = "skipping " + Quoted(found.path) + ": " + KindOf(found.type);
    if (options_.warn) options_.warn(warning);
  }
}

// The listing already knows the type of most items, which saves a look-up per item on large
// trees; a link is looked up through. False when the item refuses the build.
bool SourceWalker::Classify(FoundItem& item, stdfs::file_type listed) {
  const stdfs::path path = PathFromUtf8(item.path);
  std::error_code statusError;
  item.type = listed;
  if (item.type == stdfs::file_type::none)
    item.type = stdfs::symlink_status(path, statusError).type();
  item.isLink = item.type == stdfs::file_type::symlink;  // a failed look-up is never a link
  if (item.isLink) item.type = stdfs::status(path, statusError).type();
  if (item.isLink && (statusError || item.type == stdfs::file_type::not_found)) {
    Refuse(ErrorKind::NotFound, item.path, Quoted(item.path) + " is a dangling symbolic link");
    return false;
  }
  if (statusError) {
    Refuse(ErrorKind::Io, item.path,
           "cannot read " + Quoted(item.path) + ": " + statusError.message());
    return false;
  }
  return true;
}

void SourceWalker::EnterDirectory(const FoundItem& item, const std::string& parentPath) {
  if (item.isLink) {
    auto loop = std::find_if(ancestors_.begin(), ancestors_.end(), [&](const std::string& a) {
      std::error_code ignored;
      return stdfs::equivalent(PathFromUtf8(item.path), PathFromUtf8(a), ignored);
    });
    if (loop != ancestors_.end()) {
      Refuse(ErrorKind::Invalid, item.path,
             Quoted(item.path) + " is a symbolic link cycle: it leads back to " + Quoted(*loop));
      return;
    }
  }
  scan_.records.push_back({item.name, parentPath, item.path, true, 0});
  scan_.totals.dirSpace += DirectoryBlockSize;
  scan_.totals.dirCount += 1;
  components_.push_back(item.name);
  ancestors_.push_back(item.path);
  Walk(item.path);
  ancestors_.pop_back();
  components_.pop_back();
}

void SourceWalker::RecordFile(const FoundItem& item, const std::string& parentPath) {
  if (options_.filter != "*" && FileExtension(item.name) != options_.filter) return;
  if (IsOwnOutput(options_.ownOutputs, item.name, item.path)) return;
  Result<std::uint64_t> size = FileSize(PathFromUtf8(item.path));
  if (!size) {
    Refuse(ErrorKind::Io, item.path, "cannot read " + size.error().message);
    return;
  }
  if (*size > MaxImageSize) {
    scan_.fileTooLarge = true;
    Refuse(ErrorKind::Capacity, item.path,
           Quoted(item.path) + " is too large (" + std::to_string(*size) +
               " bytes); a file must be smaller than 2 GiB");
    return;
  }
  scan_.records.push_back({item.name, parentPath, item.path, false, *size});
  scan_.totals.fileCount += 1;
  scan_.totals.byteCount += static_cast<std::int64_t>(*size);
  scan_.totals.fileSpace += static_cast<std::int64_t>(FileSpace(*size));
}

}  // namespace

SourceScan ScanSource(const std::string& root, const ScanOptions& options) {
  SourceScan scan;
  scan.root = root;
  SourceWalker(options, scan).Walk(root);
  return scan;
}

}  // namespace kivo::fs
