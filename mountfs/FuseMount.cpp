#include "mountfs/FuseMount.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "base/File.h"

namespace kivo::mountfs {
namespace {

const MountFs& Fs() { return *static_cast<const MountFs*>(fuse_get_context()->private_data); }

void* Init(fuse_conn_info*, fuse_config* config) {
  // Nothing in a mount ever changes: the kernel may keep file contents across opens and
  // names and attributes for as long as it likes, and ask again only when it forgets them.
  constexpr double Day = 86400;
  config->kernel_cache = 1;
  config->entry_timeout = config->attr_timeout = config->negative_timeout = Day;
  config->use_ino = 1;
  return fuse_get_context()->private_data;
}

int Getattr(const char* path, struct stat* attributes, fuse_file_info*) {
  return Fs().Getattr(path, *attributes);
}

int Opendir(const char*, fuse_file_info* folder) {
  // A listing never changes: the kernel may keep it.
  folder->cache_readdir = 1;
  folder->keep_cache = 1;
  return 0;
}

int Readdir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t, fuse_file_info*,
            fuse_readdir_flags flags) {
  // With "plus" the attributes go along with the names, sparing a request per item.
  auto fillFlags = (flags & FUSE_READDIR_PLUS) != 0 ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags{};
  return Fs().Readdir(path, [&](const char* name, const struct stat& attributes) {
    return filler(buffer, name, &attributes, 0, fillFlags) == 0;
  });
}

int Open(const char* path, fuse_file_info* file) {
  std::uint64_t handle = 0;
  if (int failed = Fs().Open(path, file->flags, handle); failed != 0) return failed;
  file->fh = handle;
  file->keep_cache = 1;
  return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
  return Fs().Read(file->fh, buffer, size, offset);
}

int Statfs(const char*, struct statvfs* info) { return Fs().Statfs(*info); }

// There are no extended attributes. ENOSYS (rather than ENODATA) makes the kernel remember
// that, so that `ls -l` and the like stop asking after the first time.
int Getxattr(const char*, const char*, char*, size_t) { return -ENOSYS; }
int Listxattr(const char*, char*, size_t) { return -ENOSYS; }

// Each request that would change something, refused whatever its arguments.
template <typename... Args>
int Refuse(Args...) {
  return -EROFS;
}

fuse_operations MakeOperations() {
  fuse_operations ops{};
  ops.init = Init;
  ops.getattr = Getattr;
  ops.opendir = Opendir;
  ops.readdir = Readdir;
  ops.open = Open;
  ops.read = Read;
  ops.statfs = Statfs;
  ops.getxattr = Getxattr;
  ops.listxattr = Listxattr;
  ops.mknod = Refuse<const char*, mode_t, dev_t>;
  ops.mkdir = Refuse<const char*, mode_t>;
  ops.unlink = Refuse<const char*>;
  ops.rmdir = Refuse<const char*>;
  ops.symlink = Refuse<const char*, const char*>;
  ops.rename = Refuse<const char*, const char*, unsigned int>;
  ops.link = Refuse<const char*, const char*>;
  ops.chmod = Refuse<const char*, mode_t, fuse_file_info*>;
  ops.chown = Refuse<const char*, uid_t, gid_t, fuse_file_info*>;
  ops.truncate = Refuse<const char*, off_t, fuse_file_info*>;
  ops.write = Refuse<const char*, const char*, size_t, off_t, fuse_file_info*>;
  ops.setxattr = Refuse<const char*, const char*, const char*, size_t, int>;
  ops.removexattr = Refuse<const char*, const char*>;
  ops.create = Refuse<const char*, mode_t, fuse_file_info*>;
  ops.utimens = Refuse<const char*, const struct timespec*, fuse_file_info*>;
  ops.fallocate = Refuse<const char*, int, off_t, off_t, fuse_file_info*>;
  return ops;
}

Status CheckMountPoint(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    return MakeError(errno == ENOENT ? ErrorKind::NotFound : ErrorKind::CannotOpen,
                     "cannot mount on " + Quoted(path) + ": " + SystemText(errno), path);
  }
  if (!S_ISDIR(status.st_mode)) {
    return MakeError(ErrorKind::Invalid, "cannot mount on " + Quoted(path) + ": not a directory",
                     path);
  }
  return {};
}

struct FuseArgs {
  fuse_args args = FUSE_ARGS_INIT(0, nullptr);
  ~FuseArgs() { fuse_opt_free_args(&args); }
  void Add(const std::string& arg) { fuse_opt_add_arg(&args, arg.c_str()); }
};

struct Destroy {
  void operator()(fuse* f) const { fuse_destroy(f); }
};

}  // namespace

const fuse_operations& Operations() {
  static const fuse_operations ops = MakeOperations();
  return ops;
}

std::string EscapeOption(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == ',' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

Status Serve(MountFs& fs, const MountRequest& request) {
  if (Status usable = CheckMountPoint(request.mountPoint); !usable) return usable;
  FuseArgs args;
  args.Add("kivofs");
  if (request.debug) args.Add("-d");
  for (const std::string& option : request.options) {
    args.Add("-o");
    args.Add(option);
  }
  // Last, so that no option given can make the mount writable.
  args.Add("-o");
  args.Add("ro,default_permissions,subtype=kivofs,fsname=" + EscapeOption(request.fsName));
  std::unique_ptr<fuse, Destroy> session(fuse_new(&args.args, &Operations(), sizeof(fuse_operations), &fs));
  if (!session) {
    return MakeError(ErrorKind::Invalid, "cannot mount " + Quoted(request.fsName) +
                                             ": FUSE refused the options (see above)");
  }
  if (fuse_mount(session.get(), request.mountPoint.c_str()) != 0) {
    return MakeError(ErrorKind::CannotOpen, "cannot mount " + Quoted(request.fsName) + " on " +
                                                Quoted(request.mountPoint) + " (see above)");
  }
  // Debug output goes to standard error, which a background process no longer has.
  if (fuse_daemonize(request.foreground || request.debug ? 1 : 0) != 0) {
    fuse_unmount(session.get());
    return MakeError(ErrorKind::Io, "cannot serve " + Quoted(request.mountPoint) +
                                        " in the background");
  }
  fuse_session* served = fuse_get_session(session.get());
  bool handlers = fuse_set_signal_handlers(served) == 0;
  int loop = fuse_loop(session.get());
  if (handlers) fuse_remove_signal_handlers(served);
  fuse_unmount(session.get());
  if (loop < 0) {
    return MakeError(ErrorKind::Io, "serving " + Quoted(request.mountPoint) + " failed: " +
                                        SystemText(-loop));
  }
  return {};
}

}  // namespace kivo::mountfs
