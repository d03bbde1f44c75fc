// The one layer between the core and the host's files: an open file with exact reads and
// writes at offsets and copies between files, whole files mapped into memory, outputs that
// replace their target only when complete, and directories written into without following
// links. Every error names the file (Error::path, and 'path' in the message) and the reason.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Bytes.h"
#include "base/Result.h"

namespace kivo {

// Paths travel through the core as UTF-8 text and become std::filesystem paths only here:
// on Windows a path made straight from a narrow string would read it in the ANSI code page,
// and path::string() would write it back in that page.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8(const std::filesystem::path& path);

// Quotes a path for messages: 'dir/file.kid'. Text is quoted as it is.
std::string Quoted(const std::filesystem::path& path);
std::string Quoted(const std::string& path);
std::string Quoted(const char* path);
// The system's text for an error number.
std::string SystemText(int error);
// "cannot open 'p': <reason>": NotFound when the path is missing, else CannotOpen.
Error OpenFailed(const std::filesystem::path& path, int error);

// Size of a file from its status, without opening it. NotFound when there is no file to
// measure: nothing there, a path that cannot be followed, or a directory.
Result<std::uint64_t> FileSize(const std::filesystem::path& path);

// One entry of a directory listing. `type` is what the listing itself tells, so that most
// entries need no look-up of their own: symlink for a link, none when the host does not say.
struct ListedEntry {
  std::string name;
  std::filesystem::file_type type = std::filesystem::file_type::none;
};

// The entries of `dir` but "." and "..", in the host's order, named in UTF-8. The error is
// the system's reason why it could not be listed.
Result<std::vector<ListedEntry>> ListDirectory(const std::filesystem::path& dir);

// `name` inside `dir`, joined with '/' (which Windows takes as well), for names without a
// separator.
std::string JoinPath(const std::string& dir, const std::string& name);

enum class Access { Read, Write, ReadWrite };

// The one owner of a host descriptor: closed when dropped, handed over when moved.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  ~Descriptor();

  int get() const { return fd_; }
  // Closes now: 0, or the system's error number (a delayed write that failed).
  int Close();

 private:
  int fd_ = -1;
};

// An open regular file.
class File {
 public:
  // Opens an existing file without ever waiting: a named pipe is refused at once instead of
  // waiting for its other end. NotFound or CannotOpen "cannot open 'p': <reason>" when it
  // cannot be opened; NotRegular "cannot <action> 'p': not a regular file" (or "Is a
  // directory") for anything but a regular file.
  static Result<File> Open(const std::filesystem::path& path, Access access,
                           std::string_view action);
  // Opens an existing file for reading without taking its status, for a copy of a file
  // whose length is known: size() is 0 and nothing says it is a regular file, which
  // CopyWhole finds out. Errors as Open's.
  static Result<File> OpenForCopy(const std::filesystem::path& path);

  // The path that messages name.
  const std::filesystem::path& path() const { return path_; }
  // The size when the file was opened.
  std::uint64_t size() const { return size_; }

  // Exactly into.size() bytes from `offset`: Io "cannot read 'p': <reason>", or Changed when
  // the file ends before them.
  Status ReadAt(std::uint64_t offset, MutableByteSpan into) const;
  // Io "cannot write 'p': <reason>" (a full disk as well).
  Status WriteAt(std::uint64_t offset, ByteSpan bytes);
  // Copies exactly `length` bytes of `source` from `sourceOffset` to `offset`, by the kernel
  // where it can. A failure names the side it concerns: the source (it could not be read, or
  // ended early) or this file.
  Status CopyFrom(const File& source, std::uint64_t sourceOffset, std::uint64_t length,
                  std::uint64_t offset);
  // Copies all of `source`, which should hold exactly `length` bytes, to `offset`: true when
  // it did, false when it ended earlier or went on (then one byte past offset + length may
  // have been written). Failures as CopyFrom's.
  Result<bool> CopyWhole(const File& source, std::uint64_t length, std::uint64_t offset);
  // Sets the length; new bytes read as zero.
  Status Resize(std::uint64_t size);
  // Closes the file; with `sync` its bytes reach the disk first. Reports the errors of
  // delayed writes, which surface only here.
  Status Close(bool sync = false);

 private:
  friend class MappedFile;
  friend class OutputFile;
  friend class Directory;
  File(std::filesystem::path path, int fd, std::uint64_t size)
      : path_(std::move(path)), fd_(fd), size_(size) {}
  Error Failed(std::string_view action, int error) const;
  Error CopyFailed(const File& source, int error) const;

  std::filesystem::path path_;
  Descriptor fd_;
  std::uint64_t size_ = 0;
};

// Whether the first `length` bytes of `a` and `b` are equal; false when either cannot be
// read that far.
bool SameBytes(const File& a, const File& b, std::uint64_t length);

// A whole regular file mapped read-only: large files are paged in as they are read instead
// of being copied into memory. Errors as File::Open's with the action "read".
class MappedFile {
 public:
  static Result<MappedFile> Open(const std::filesystem::path& path);

  ByteSpan bytes() const { return {data_.get(), static_cast<std::size_t>(file_.size())}; }
  const std::filesystem::path& path() const { return file_.path(); }
  // The open file behind the mapping, for copies by the kernel.
  const File& file() const { return file_; }

 private:
  struct Unmap {
    std::size_t size;
    void operator()(const std::byte* data) const;
  };
  MappedFile(File file, const std::byte* data)
      : file_(std::move(file)), data_(data, Unmap{static_cast<std::size_t>(file_.size())}) {}

  File file_;
  std::unique_ptr<const std::byte, Unmap> data_;
};

// An output written to a temporary file beside its target and renamed over the target by
// Commit(), so a failure never leaves a truncated or half-written file. Dropping it without
// Commit() removes the temporary file, and so does an interrupted program (CleanUpOnInterrupt).
// The temporary is locked while it is written; one that no program holds (left by a run that
// was killed) is removed by the next output to the same target.
//
// Replacing follows what writing in place would allow: an existing target that the user
// may not open for writing, or that is not a regular file, is refused before anything is
// written; a target reached through symbolic links is replaced at the end of the links,
// which stay; the replaced file keeps its mode, and its owner where the user may keep it.
// A hard link is broken by the rename: the other names keep the old bytes (when they differ).
// Errors say "cannot write 'target': <reason>": CannotOpen or NotRegular when the output
// could not be made at all, Io when writing it failed.
class OutputFile {
 public:
  static Result<OutputFile> Create(const std::filesystem::path& target);

  const std::filesystem::path& target() const { return file_.path(); }

  Status Resize(std::uint64_t size) { return file_.Resize(size); }
  Status WriteAt(std::uint64_t offset, ByteSpan bytes) { return file_.WriteAt(offset, bytes); }
  Status CopyFrom(const File& source, std::uint64_t sourceOffset, std::uint64_t length,
                  std::uint64_t offset) {
    return file_.CopyFrom(source, sourceOffset, length, offset);
  }
  Result<bool> CopyWhole(const File& source, std::uint64_t length, std::uint64_t offset) {
    return file_.CopyWhole(source, length, offset);
  }
  // Gives the output this modification time (seconds since 1970) when it is committed.
  void SetModified(std::time_t seconds) { modified_ = seconds; }
  // Closes and renames over the target; with SyncOutputs() on, the bytes and then the
  // rename reach the disk before it returns. A target that already holds exactly these bytes is
  // left untouched (its time too), so that nothing made from it is made again; only its
  // size and then its bytes are compared.
  // While a HeldCommits lives, only hands the output over to it.
  Status Commit();

 private:
  friend class Directory;
  friend class HeldCommits;
  Status CommitNow();
  // For a target that already holds what was written: drops the temporary and leaves the
  // target as it was, made durable when `sync` asks.
  Status KeepIdenticalTarget(File& same, bool sync);
  // Closes the temporary, durable when `sync` asks, and renames it over the target.
  Status RenameOverTarget(bool sync);
  // The temporary's path as a path of its own; nothing for an output inside a Directory.
  std::optional<std::filesystem::path> TemporaryPath() const;
  // The temporary file, removed when dropped before the rename. Its name and the
  // destination's are relative to `directory` (the current directory's descriptor or a
  // Directory's, which outlives the output); on Windows both are whole UTF-8 paths and
  // `directory` is unused.
  struct Temporary {
    int directory;
    std::string name;
    // Holds the lock on the temporary after the file itself is closed, until it is renamed
    // (POSIX); the slot in the list that an interrupted program removes.
    Descriptor lock;
    int slot = -1;
  };
  struct Remove {
    void operator()(Temporary* temporary) const;
  };
  OutputFile(File file, std::string destination, Temporary temporary)
      : file_(std::move(file)),
        destination_(std::move(destination)),
        temp_(new Temporary(std::move(temporary))) {}
  // The regular target of `targetSize` bytes, open for reading, when it holds what was
  // written.
  std::optional<File> IdenticalTarget(std::uint64_t targetSize) const;
  static Result<OutputFile> CreateIn(int directory, const std::filesystem::path& shown,
                                     const std::string& destination, bool followLinks);

  File file_;
  std::string destination_;  // the file the rename replaces
  std::unique_ptr<Temporary, Remove> temp_;
  std::optional<std::time_t> modified_;
};

// While one lives, OutputFile::Commit holds finished outputs back instead of renaming them
// over their targets, so that a command can still decide at its end that none of them
// replaces its target. Dropped without CommitAll(), it removes their temporaries.
class HeldCommits {
 public:
  HeldCommits();
  ~HeldCommits();
  HeldCommits(const HeldCommits&) = delete;
  HeldCommits& operator=(const HeldCommits&) = delete;

  // Commits the held outputs in the order they came; a failure drops the ones after it.
  Status CommitAll();
  // Where the bytes for `target` are until they are committed: the temporary of the held
  // output for it, or `target` itself when none is held.
  std::filesystem::path PathOf(const std::filesystem::path& target) const;

 private:
  friend class OutputFile;
  std::vector<OutputFile> outputs_;
  HeldCommits* outer_;
};

// Whether OutputFile::Commit makes every output durable (the file, then its folder's entry,
// synced to the disk), so that it survives a power cut. Off by default: an output is then
// old or whole after the program crashes, and only after a power cut may it be empty.
void SetSyncOutputs(bool sync);
bool SyncOutputs();
// Called after each sync that SyncOutputs() asks for, with the output's path and whether the
// folder (not the file) was synced; for tests that check when outputs become durable.
using SyncObserver = std::function<void(const std::filesystem::path& output, bool folder)>;
void SetSyncObserver(SyncObserver observer);

// The host calls that move a file's bytes, for tests of what the loops around them do when
// they fall short or fail.
enum class HostTransfer { Read, Write, Copy };
// Called before each such call with the bytes it would ask for: returns how many it may ask
// for (fewer make a short transfer; 0 a call that moves nothing, which is then not made), or a
// negative error number for it to fail with instead. Unset, every call is made as asked.
using TransferFilter = std::function<std::int64_t(HostTransfer call, std::size_t asked)>;
void SetTransferFilter(TransferFilter filter);

namespace detail {
// Tells the sync observer, if any.
void ReportSynced(const std::filesystem::path& output, bool folder);
}  // namespace detail

// Ends the program on SIGINT, SIGTERM, SIGHUP and SIGPIPE (on Windows, the console's Ctrl-C,
// Ctrl-Break and close events) only after removing the temporaries of the outputs being
// written, as the signal would have ended it; a signal ignored by the caller stays ignored.
void CleanUpOnInterrupt();

// An open directory that is written into by name only: nothing below it is ever reached
// through a symbolic link, so whatever its entries are made to point at, no write can leave
// it. Messages name the path given for each entry. On Windows, which has no descriptors for
// directories, it keeps its path and refuses every symbolic link or junction it meets.
class Directory {
 public:
  // Opens `path`, creating it and its parents when missing.
  static Result<Directory> Create(const std::filesystem::path& path);

  enum class EntryType { None, Link, Directory, Regular, Other };
  Result<EntryType> TypeOf(const std::string& name, const std::filesystem::path& shown) const;
  // Opens the subdirectory `name`, making it when missing; a link there is refused.
  Result<Directory> Subdirectory(const std::string& name, const std::filesystem::path& shown);
  // An output that replaces the regular file `name` (or makes it), as OutputFile::Create
  // does, but never through a link.
  Result<OutputFile> Output(const std::string& name, const std::filesystem::path& shown);

 private:
#ifdef _WIN32
  explicit Directory(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
#else
  explicit Directory(int fd) : fd_(fd) {}
  Descriptor fd_;
#endif
};

}  // namespace kivo
