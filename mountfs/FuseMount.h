// Serving a MountFs through libfuse3: the callback table and the mount's life, from mounting
// to unmounting.
#pragma once

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <string>
#include <vector>

#include "base/Result.h"
#include "mountfs/MountFs.h"

namespace kivo::mountfs {

struct MountRequest {
  std::string mountPoint;           // an existing folder; never created
  std::string fsName;               // what the mount table shows as the source
  bool foreground = false;          // serve in this process instead of one in the background
  bool debug = false;               // FUSE's debug output on standard error (stays in front)
  std::vector<std::string> options; // passed to FUSE as -o, after which "ro" is added
};

// The callbacks. Those that read take the MountFs from the FUSE context; every one that would
// change something answers EROFS; extended attributes answer ENOSYS, which the kernel keeps,
// so that it never asks again.
const fuse_operations& Operations();

// Mounts and serves until unmounted (fusermount3 -u, umount, or a signal). Without
// `foreground`, once the mount is ready the calling process exits with 0 and a child serves
// in the background: only the child returns from here, after the unmount. Errors: the mount
// point missing or no folder, options FUSE refuses (FUSE has said which), a failed mount.
Status Serve(MountFs& fs, const MountRequest& request);

// An option value for -o: ',' and '\' escaped as FUSE reads them.
std::string EscapeOption(const std::string& value);

}  // namespace kivo::mountfs
