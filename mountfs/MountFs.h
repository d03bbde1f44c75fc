// The mounted file system's answers, apart from FUSE itself so that tests can call them
// without mounting: each returns 0 or a negative error number, as FUSE callbacks do.
// Nothing here ever changes: every request that would write is refused with EROFS.
#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>

#include "mountfs/MountTree.h"

namespace kivo::mountfs {

class MountFs {
 public:
  // Files and folders belong to `owner` and `group`: the user who mounted.
  MountFs(MountTree tree, uid_t owner, gid_t group)
      : tree_(std::move(tree)), owner_(owner), group_(group) {}

  const MountTree& tree() const { return tree_; }

  int Getattr(const char* path, struct stat& attributes) const;
  // Calls `fill` for ".", ".." and each item in slot order, until it returns false (the
  // listing's buffer is full).
  using Filler = std::function<bool(const char* name, const struct stat& attributes)>;
  int Readdir(const char* path, const Filler& fill) const;
  // Opens a file for reading; its handle is what Read takes. Opening to write, or to
  // truncate, is refused.
  int Open(const char* path, int flags, std::uint64_t& handle) const;
  // Up to `size` bytes from `offset`: the number copied, 0 at the end.
  int Read(std::uint64_t handle, char* buffer, std::size_t size, off_t offset) const;
  int Statfs(struct statvfs& info) const;

 private:
  void Attributes(NodeId id, struct stat& attributes) const;

  MountTree tree_;
  uid_t owner_;
  gid_t group_;
};

}  // namespace kivo::mountfs
