// The part of the file layer that is the same on every host; File_posix.cpp and
// File_win32.cpp hold the host calls.
#include "base/File.h"
#include "base/FileHost.h"
#include "base/Temporary.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

namespace kivo {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string Quoted(const std::string& path) {
  std::string quoted;
  quoted.reserve(path.size() + 2);
  quoted += '\'';
  quoted += path;
  quoted += '\'';
  return quoted;
}
std::string Quoted(const std::filesystem::path& path) { return Quoted(Utf8(path)); }
std::string Quoted(const char* path) { return Quoted(std::string(path)); }

std::string SystemText(int error) { return std::generic_category().message(error); }

Error Cannot(ErrorKind kind, std::string_view action, const std::filesystem::path& path,
             const std::string& why) {
  return MakeError(kind, "cannot " + std::string(action) + " " + Quoted(path) + ": " + why, path);
}

Error CannotWrite(const std::filesystem::path& shown, ErrorKind kind, const std::string& why) {
  return Cannot(kind, "write", shown, why);
}

Error CannotOpenDirectory(std::string_view action, const std::filesystem::path& shown, int error) {
  return Cannot(ErrorKind::CannotOpen, action, shown, SystemText(error));
}

Error OpenFailed(const std::filesystem::path& path, int error) {
  return Cannot(error == ENOENT ? ErrorKind::NotFound : ErrorKind::CannotOpen, "open", path,
                SystemText(error));
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

Descriptor::~Descriptor() { Close(); }

Error File::Failed(std::string_view action, int error) const {
  return Cannot(ErrorKind::Io, action, path_, SystemText(error));
}

Error File::CopyFailed(const File& source, int error) const {
  // The kernel's copy fails with EIO or EISDIR when it cannot read the source.
  return error == EIO || error == EISDIR ? source.Failed("read", error) : Failed("write", error);
}

namespace {

constexpr std::size_t CopyBufferSize = std::size_t{1} << 20;
// Windows reads and writes take a 32-bit count.
constexpr std::size_t MaxTransfer = std::size_t{1} << 30;

TransferFilter transferFilter;

// How many of `wanted` bytes one host call may ask for: at most MaxTransfer, and what a test's
// filter allows; 0 when the call is to move nothing, -errno when it is to fail.
std::int64_t Allowed(HostTransfer call, std::uint64_t wanted) {
  auto asked = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, MaxTransfer));
  if (!transferFilter) return static_cast<std::int64_t>(asked);
  return std::min(transferFilter(call, asked), static_cast<std::int64_t>(asked));
}

host::Moved Refused(std::int64_t allowed) { return {0, static_cast<int>(-allowed)}; }

host::Moved ReadSome(int fd, std::uint64_t offset, MutableByteSpan into) {
  std::int64_t allowed = Allowed(HostTransfer::Read, into.size());
  if (allowed <= 0) return Refused(allowed);
  return host::ReadSome(fd, offset, into.first(static_cast<std::size_t>(allowed)));
}

host::Moved WriteSome(int fd, std::uint64_t offset, ByteSpan bytes) {
  std::int64_t allowed = Allowed(HostTransfer::Write, bytes.size());
  if (allowed <= 0) return Refused(allowed);
  return host::WriteSome(fd, offset, bytes.first(static_cast<std::size_t>(allowed)));
}

// Errors of a copy by the kernel that only say it cannot copy between these two files; a
// buffer copies them instead.
bool KernelCannotCopy(int error) {
  return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL ||
         error == EBADF;
}

// How far a copy by the kernel got.
struct KernelCopy {
  std::uint64_t copied = 0;
  bool atEnd = false;  // the source ended
  int error = 0;       // a failure to report; 0 when none (or the kernel cannot copy here)
};

// Copies up to `length` bytes by the kernel until the source ends or the kernel cannot copy
// between these files, when the caller's buffer does the rest. A call that stops short
// exactly at `expectedEnd` has met the end of the source: the kernel stops a copy early
// only there, so no call is spent on asking again.
KernelCopy CopyByKernel(int in, std::uint64_t from, int out, std::uint64_t to,
                        std::uint64_t length, std::uint64_t expectedEnd) {
  KernelCopy copy;
  while (copy.copied < length) {
    std::int64_t allowed = Allowed(HostTransfer::Copy, length - copy.copied);
    host::Moved moved = allowed <= 0 ? Refused(allowed)
                                     : host::CopySome(in, from + copy.copied, out, to + copy.copied,
                                                      static_cast<std::size_t>(allowed));
    if (moved.error != 0) {
      if (!KernelCannotCopy(moved.error)) copy.error = moved.error;
      break;
    }
    copy.copied += moved.count;
    if (moved.count == 0 ||
        (copy.copied == expectedEnd && moved.count < static_cast<std::uint64_t>(allowed))) {
      copy.atEnd = true;
      break;
    }
  }
  return copy;
}

std::vector<std::byte> CopyBuffer(std::uint64_t length) {
  return std::vector<std::byte>(
      static_cast<std::size_t>(std::min<std::uint64_t>(CopyBufferSize, length)));
}

}  // namespace

void SetTransferFilter(TransferFilter filter) { transferFilter = std::move(filter); }

Status File::ReadAt(std::uint64_t offset, MutableByteSpan into) const {
  for (std::size_t done = 0; done < into.size();) {
    host::Moved got = kivo::ReadSome(fd_.get(), offset + done, into.subspan(done));
    if (got.error != 0) return Failed("read", got.error);
    if (got.count == 0) {
      return MakeError(ErrorKind::Changed,
                       "cannot read " + Quoted(path_) +
                           ": file shrank while it was read (ends before " +
                           std::to_string(offset + into.size()) + " bytes)",
                       path_);
    }
    done += got.count;
  }
  return {};
}

Status File::WriteAt(std::uint64_t offset, ByteSpan bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    host::Moved put = kivo::WriteSome(fd_.get(), offset + done, bytes.subspan(done));
    if (put.error != 0) return Failed("write", put.error);
    // A write that moves nothing would never end; a full disk is what makes it.
    if (put.count == 0) return Failed("write", ENOSPC);
    done += put.count;
  }
  return {};
}

Status File::CopyFrom(const File& source, std::uint64_t sourceOffset, std::uint64_t length,
                      std::uint64_t offset) {
  KernelCopy kernel = CopyByKernel(source.fd_.get(), sourceOffset, fd_.get(), offset, length,
                                   std::numeric_limits<std::uint64_t>::max());
  if (kernel.error != 0) return CopyFailed(source, kernel.error);
  // The rest, or a source that ended early, which the reads below report.
  std::vector<std::byte> buffer = CopyBuffer(length - kernel.copied);
  for (std::uint64_t copied = kernel.copied; copied < length;) {
    MutableByteSpan chunk(buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                             buffer.size(), length - copied)));
    KIVO_TRY(source.ReadAt(sourceOffset + copied, chunk));
    KIVO_TRY(WriteAt(offset + copied, chunk));
    copied += chunk.size();
  }
  return {};
}

Result<bool> File::CopyWhole(const File& source, std::uint64_t length, std::uint64_t offset) {
  // One byte more than expected is asked for: getting it means the source is longer.
  const std::uint64_t wanted = length + 1;
  KernelCopy kernel = CopyByKernel(source.fd_.get(), 0, fd_.get(), offset, wanted, length);
  if (kernel.error != 0) return CopyFailed(source, kernel.error);
  std::uint64_t copied = kernel.copied;
  if (kernel.atEnd) return copied == length;
  std::vector<std::byte> buffer = CopyBuffer(wanted - copied);
  while (copied < wanted) {
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), wanted - copied));
    host::Moved got = kivo::ReadSome(source.fd_.get(), copied, {buffer.data(), want});
    if (got.error != 0) return source.Failed("read", got.error);
    if (got.count == 0) break;
    KIVO_TRY(WriteAt(offset + copied, {buffer.data(), got.count}));
    copied += got.count;
  }
  return copied == length;
}

namespace {

std::atomic<bool> syncOutputs{false};
SyncObserver syncObserver;

}  // namespace

namespace {

HeldCommits* held = nullptr;

}  // namespace

HeldCommits::HeldCommits() : outer_(std::exchange(held, this)) {}

HeldCommits::~HeldCommits() { held = outer_; }

Status HeldCommits::CommitAll() {
  std::vector<OutputFile> outputs = std::move(outputs_);
  outputs_.clear();
  for (OutputFile& output : outputs) {
    KIVO_TRY(output.CommitNow());
  }
  return {};
}

std::filesystem::path HeldCommits::PathOf(const std::filesystem::path& target) const {
  for (const OutputFile& output : outputs_) {
    if (output.target() != target) continue;
    if (auto path = output.TemporaryPath()) return *path;
  }
  return target;
}

Status OutputFile::Commit() {
  if (held == nullptr || !temp_) return CommitNow();
  held->outputs_.push_back(std::move(*this));
  return {};
}

Status OutputFile::KeepIdenticalTarget(File& same, bool sync) {
  const std::filesystem::path& shown = file_.path();
  const int directory = temp_->directory;
  temp_.reset();
  if (Status closed = file_.Close(); !closed || !sync) return closed;
  if (Status synced = same.Close(true); !synced) {
    return CannotWrite(shown, ErrorKind::Io, synced.error().message);
  }
  detail::ReportSynced(shown, false);
  return host::SyncFolder(directory, destination_, shown);
}

Status OutputFile::RenameOverTarget(bool sync) {
  const std::filesystem::path& shown = file_.path();
  const int directory = temp_->directory;
  // A failure drops the temporary file with temp_. The lock stays until the rename.
  if (Status closed = file_.Close(sync); !closed) {
    temp_.reset();
    return closed;
  }
  if (sync) detail::ReportSynced(shown, false);
  if (int error = host::Rename(directory, temp_->name, destination_); error != 0) {
    temp_.reset();
    return CannotWrite(shown, ErrorKind::Io, SystemText(error));
  }
  // Renamed: there is nothing left to remove.
  temporary::Forget(temp_->slot);
  delete temp_.release();
  return sync ? host::SyncFolder(directory, destination_, shown) : Status{};
}

void SetSyncOutputs(bool sync) { syncOutputs = sync; }
bool SyncOutputs() { return syncOutputs; }

void SetSyncObserver(SyncObserver observer) {
  syncObserver = std::move(observer);
}

void detail::ReportSynced(const std::filesystem::path& output, bool folder) {
  if (syncObserver) syncObserver(output, folder);
}

bool SameBytes(const File& a, const File& b, std::uint64_t length) {
  constexpr std::size_t Chunk = std::size_t{1} << 20;
  std::vector<std::byte> left(static_cast<std::size_t>(std::min<std::uint64_t>(Chunk, length)));
  std::vector<std::byte> right(left.size());
  for (std::uint64_t at = 0; at < length;) {
    auto size = static_cast<std::size_t>(std::min<std::uint64_t>(left.size(), length - at));
    if (!a.ReadAt(at, {left.data(), size}) || !b.ReadAt(at, {right.data(), size})) return false;
    auto end = left.begin() + static_cast<std::ptrdiff_t>(size);
    if (!std::equal(left.begin(), end, right.begin())) return false;
    at += size;
  }
  return true;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return host::EndsInSeparator(dir) ? dir + name : dir + '/' + name;
}

}  // namespace kivo
