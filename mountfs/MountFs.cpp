#include "mountfs/MountFs.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "fsimage/Format.h"

namespace kivo::mountfs {

void MountFs::Attributes(NodeId id, struct stat& attributes) const {
  const MountNode& node = tree_.node(id);
  attributes = {};
  attributes.st_ino = id + 1;
  attributes.st_mode = node.directory ? (S_IFDIR | 0555) : (S_IFREG | 0444);
  attributes.st_nlink = node.directory ? 2 + node.subdirectories : 1;
  attributes.st_uid = owner_;
  attributes.st_gid = group_;
  attributes.st_size = static_cast<off_t>(node.directory ? fs::DirectoryBlockSize : node.contents.size());
  attributes.st_blksize = fs::ClusterSize;
  attributes.st_blocks = (attributes.st_size + 511) / 512;
  attributes.st_atim.tv_sec = attributes.st_mtim.tv_sec = attributes.st_ctim.tv_sec = node.time;
}

int MountFs::Getattr(const char* path, struct stat& attributes) const {
  auto id = tree_.Find(path);
  if (!id) return -ENOENT;
  Attributes(*id, attributes);
  return 0;
}

int MountFs::Readdir(const char* path, const Filler& fill) const {
  auto id = tree_.Find(path);
  if (!id) return -ENOENT;
  const MountNode& folder = tree_.node(*id);
  if (!folder.directory) return -ENOTDIR;
  struct stat attributes;
  Attributes(*id, attributes);
  if (!fill(".", attributes) || !fill("..", attributes)) return 0;
  for (NodeId child : folder.children) {
    Attributes(child, attributes);
    if (!fill(tree_.node(child).name.c_str(), attributes)) break;
  }
  return 0;
}

int MountFs::Open(const char* path, int flags, std::uint64_t& handle) const {
  auto id = tree_.Find(path);
  if (!id) return -ENOENT;
  if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC) != 0) return -EROFS;
  if (tree_.node(*id).directory) return -EISDIR;
  handle = *id;
  return 0;
}

int MountFs::Read(std::uint64_t handle, char* buffer, std::size_t size, off_t offset) const {
  if (handle >= tree_.size() || tree_.node(static_cast<NodeId>(handle)).directory) return -EBADF;
  if (offset < 0) return -EINVAL;
  ByteSpan contents = tree_.node(static_cast<NodeId>(handle)).contents;
  if (static_cast<std::uint64_t>(offset) >= contents.size()) return 0;
  std::size_t count = std::min({size, contents.size() - static_cast<std::size_t>(offset),
                                std::size_t{INT_MAX}});
  std::memcpy(buffer, contents.data() + offset, count);
  return static_cast<int>(count);
}

int MountFs::Statfs(struct statvfs& info) const {
  info = {};
  info.f_bsize = info.f_frsize = fs::ClusterSize;
  info.f_blocks = (tree_.totalBytes() + fs::ClusterSize - 1) / fs::ClusterSize;
  info.f_files = tree_.size();
  info.f_namemax = fs::entry::NameSize;
  info.f_flag = ST_RDONLY | ST_NOSUID | ST_NODEV;
  return 0;
}

}  // namespace kivo::mountfs
