#include "fsimage/Extract.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fsimage/FileIO.h"

namespace kivo::fs {
namespace {

std::string SystemText(int error) { return std::generic_category().message(error); }

struct PlannedItem {
  Located item;
  ByteSpan contents;  // files only
};

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int fd_;
};

std::string ParentOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Extractor {
 public:
  Extractor(const ImageReader& image, std::filesystem::path destination,
            const std::filesystem::path& imageFile)
      : image_(image), destination_(std::move(destination)) {
    if (!imageFile.empty()) imageFd_ = Fd(::open(imageFile.c_str(), O_RDONLY | O_CLOEXEC));
  }

  Result<ExtractStats> Run() {
    if (Status planned = Plan(); !planned) return planned.error();
    if (Status written = Write(); !written) return written.error();
    return stats_;
  }

 private:
  std::string Target(const std::string& path) const {
    return Quoted(destination_ / PrintableName(path));
  }

  Status Plan() {
    std::set<std::pair<std::string, std::string>> names;
    return image_.Walk([&](const Located& item) -> Status {
      const std::string& name = item.entry.name;
      if (auto reason = UnsafeNameReason(name); !reason.empty()) {
        return MakeError(ErrorKind::Format, image_.source() + ": refusing to extract '" +
                                                PrintableName(item.path) + "': " +
                                                std::string(reason));
      }
      if (!names.emplace(ParentOf(item.path), name).second) {
        return MakeError(ErrorKind::Format, image_.source() + ": '" + PrintableName(item.path) +
                                                "' appears twice in its directory");
      }
      PlannedItem planned{item, {}};
      if (item.entry.IsFile()) {
        auto contents = image_.FileContents(item.entry, item.path);
        if (!contents) return contents.error();
        planned.contents = *contents;
      } else if (!item.entry.IsDirectory()) {
        return MakeError(ErrorKind::Format, image_.source() + ": '" + PrintableName(item.path) +
                                                "' has the unknown kind " +
                                                std::to_string(item.entry.kind));
      }
      plan_.push_back(std::move(planned));
      return {};
    });
  }

  Status Write() {
    std::error_code ec;
    std::filesystem::create_directories(destination_, ec);
    if (ec) {
      return MakeError(ErrorKind::Io, "cannot create " + Quoted(destination_) + ": " + ec.message());
    }
    Fd top(::open(destination_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (top.get() < 0) {
      return MakeError(ErrorKind::Io, "cannot open " + Quoted(destination_) + ": " +
                                          SystemText(errno));
    }
    // The open directories along the current path: items come depth-first, so an item's
    // parent is always on this stack. Working relative to these descriptors means no
    // path is ever resolved through a link that could lead outside the destination.
    std::vector<std::pair<std::string, Fd>> open;
    open.emplace_back(std::string(), std::move(top));
    for (const PlannedItem& planned : plan_) {
      std::string parent = ParentOf(planned.item.path);
      while (open.back().first != parent) open.pop_back();
      int parentFd = open.back().second.get();
      std::string name = NameOf(planned.item.path);
      if (planned.item.entry.IsDirectory()) {
        auto fd = MakeDirectory(parentFd, name, planned.item.path);
        if (!fd) return fd.error();
        open.emplace_back(planned.item.path, Fd(*fd));
        ++stats_.directories;
      } else {
        if (Status written = WriteFile(parentFd, name, planned); !written) return written;
        ++stats_.files;
        stats_.bytes += planned.contents.size();
      }
    }
    return {};
  }

  Status RefuseExisting(int parentFd, const std::string& name, const std::string& path,
                        bool wantDirectory, bool& exists) {
    struct stat info {};
    exists = false;
    if (::fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return {};
      return MakeError(ErrorKind::Io, "cannot write " + Target(path) + ": " + SystemText(errno));
    }
    exists = true;
    if (S_ISLNK(info.st_mode)) {
      return MakeError(ErrorKind::Io, "refusing to write through the symbolic link " +
                                          Target(path));
    }
    if (wantDirectory && !S_ISDIR(info.st_mode)) {
      return MakeError(ErrorKind::Io, "cannot write " + Target(path) +
                                          ": it exists and is not a directory");
    }
    if (!wantDirectory && !S_ISREG(info.st_mode)) {
      return MakeError(ErrorKind::Io, "cannot write " + Target(path) +
                                          ": it exists and is not a regular file");
    }
    return {};
  }

  Result<int> MakeDirectory(int parentFd, const std::string& name, const std::string& path) {
    bool exists = false;
    if (Status ok = RefuseExisting(parentFd, name, path, true, exists); !ok) return ok.error();
    if (!exists && ::mkdirat(parentFd, name.c_str(), 0777) != 0 && errno != EEXIST) {
      return MakeError(ErrorKind::Io, "cannot create " + Target(path) + ": " + SystemText(errno));
    }
    // O_NOFOLLOW: a link swapped in after the check is refused, not followed.
    int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      return MakeError(ErrorKind::Io, "cannot open " + Target(path) + ": " + SystemText(errno));
    }
    return fd;
  }

  Status WriteFile(int parentFd, const std::string& name, const PlannedItem& planned) {
    const std::string& path = planned.item.path;
    bool exists = false;
    if (Status ok = RefuseExisting(parentFd, name, path, false, exists); !ok) return ok;
    struct stat replaced {};
    if (exists) {
      // As for every output: a file the user may not write is refused, not replaced behind
      // its back, and a replaced file keeps its permissions.
      if (::faccessat(parentFd, name.c_str(), W_OK, AT_EACCESS) != 0 ||
          ::fstatat(parentFd, name.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) != 0) {
        return MakeError(ErrorKind::Io, "cannot write " + Target(path) + ": " + SystemText(errno));
      }
    }
    std::string temp;
    Fd out;
    for (int attempt = 0; attempt < 16 && out.get() < 0; ++attempt) {
      temp = "." + name + "." + std::to_string(random_() % 1000000000) + ".tmp";
      out = Fd(::openat(parentFd, temp.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      if (out.get() < 0 && errno != EEXIST) break;
    }
    if (out.get() < 0) {
      return MakeError(ErrorKind::Io, "cannot write " + Target(path) + ": " + SystemText(errno));
    }
    auto fail = [&](int error) {
      ::close(out.Release());
      ::unlinkat(parentFd, temp.c_str(), 0);
      return MakeError(ErrorKind::Io, "cannot write " + Target(path) + ": " + SystemText(error));
    };
    std::size_t done = 0;
#if defined(__linux__)
    // The kernel copies straight from the image file, without faulting its pages into
    // this process; the mapped bytes below are the fallback.
    if (imageFd_.get() >= 0) {
      auto offset = static_cast<off64_t>(planned.contents.data() - image_.bytes().data());
      while (done < planned.contents.size()) {
        off64_t from = offset + static_cast<off64_t>(done);
        ssize_t put = ::copy_file_range(imageFd_.get(), &from, out.get(), nullptr,
                                        planned.contents.size() - done, 0);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
      }
    }
#endif
    while (done < planned.contents.size()) {
      ssize_t put = ::write(out.get(), planned.contents.data() + done,
                            planned.contents.size() - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return fail(put < 0 ? errno : ENOSPC);
      done += static_cast<std::size_t>(put);
    }
    if (exists) ::fchmod(out.get(), replaced.st_mode & 07777);
    if (::close(out.Release()) != 0) {
      int error = errno;
      ::unlinkat(parentFd, temp.c_str(), 0);
      return MakeError(ErrorKind::Io, "cannot write " + Target(path) + ": " + SystemText(error));
    }
    // rename replaces a link that appeared meanwhile instead of writing through it.
    if (::renameat(parentFd, temp.c_str(), parentFd, name.c_str()) != 0) {
      int error = errno;
      ::unlinkat(parentFd, temp.c_str(), 0);
      return MakeError(ErrorKind::Io, "cannot write " + Target(path) + ": " + SystemText(error));
    }
    return {};
  }

  const ImageReader& image_;
  std::filesystem::path destination_;
  std::vector<PlannedItem> plan_;
  ExtractStats stats_;
  std::mt19937_64 random_{std::random_device{}()};
  Fd imageFd_;
};

}  // namespace

std::string_view UnsafeNameReason(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name == "." || name == "..") return "the name is '.' or '..'";
  for (char c : name) {
    if (c == '/' || c == '\\') return "the name holds a '/' or '\\'";
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "the name holds a control character";
  }
  return {};
}

Result<ExtractStats> ExtractImage(const ImageReader& image,
                                  const std::filesystem::path& destination,
                                  const std::filesystem::path& imageFile) {
  return Extractor(image, destination, imageFile).Run();
}

}  // namespace kivo::fs
