// Temporaries on POSIX hosts: made already locked, removed when no lock holds them, and
// removed by the handler of the signals that end a program.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/File.h"
#include "base/Temporary.h"

namespace kivo {
namespace temporary {

void RemoveNamed(int directory, const char* name) { ::unlinkat(directory, name, 0); }

namespace {

constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The folder of `path` relative to `directory`, for *at calls.
std::string FolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? std::string(".") : folder;
}

#ifdef O_TMPFILE
// Makes the file unnamed, locks it, and only then gives it its name: no other run can see it
// unlocked. -1 when the host cannot (no O_TMPFILE on this file system, no /proc).
int CreateLockedUnnamed(int directory, const std::string& name, int& error) {
  int fd = ::openat(directory, FolderOf(name).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  ::flock(fd, LOCK_EX | LOCK_NB);
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, self, directory, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
  error = errno;
  ::close(fd);
  return error == EEXIST ? -2 : -1;
}
#endif

}  // namespace

int CreateLocked(int directory, const std::string& name, int& error) {
#ifdef O_TMPFILE
  int unnamed = CreateLockedUnnamed(directory, name, error);
  if (unnamed >= 0 || unnamed == -2) return unnamed >= 0 ? unnamed : -1;
#endif
  int fd = ::openat(directory, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  ::flock(fd, LOCK_EX | LOCK_NB);
  return fd;
}

void RemoveStale(int directory, const std::string& destination) {
  const std::string folder = FolderOf(destination);
  const std::string target = std::filesystem::path(destination).filename().string();
  int listed = ::openat(directory, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listed < 0) return;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(listed), ::closedir);
  if (!listing) {
    ::close(listed);
    return;
  }
  const int folderFd = ::dirfd(listing.get());
  while (const dirent* entry = ::readdir(listing.get())) {
    if (!IsNameFor(entry->d_name, target)) continue;
    Descriptor stale(::openat(folderFd, entry->d_name,
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (stale.get() < 0 || ::flock(stale.get(), LOCK_EX | LOCK_NB) != 0) continue;
    // Still the file that was locked, and a regular one.
    struct stat locked {}, named {};
    if (::fstat(stale.get(), &locked) == 0 && S_ISREG(locked.st_mode) &&
        ::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      ::unlinkat(folderFd, entry->d_name, 0);
    }
  }
}

EndingSignalsHeld::EndingSignalsHeld() {
  sigset_t ending;
  sigemptyset(&ending);
  for (int signal : EndingSignals) sigaddset(&ending, signal);
  ::pthread_sigmask(SIG_BLOCK, &ending, &saved_);
}

// A signal that came meanwhile is delivered here, with the temporary remembered.
EndingSignalsHeld::~EndingSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace temporary

namespace {

extern "C" void RemoveTemporariesAndEnd(int signal) {
  temporary::RemoveRemembered();
  // The handler was reset to the default on entry and the signal is not blocked: raising it
  // again ends the program as the signal would have, and the shell sees 128 + its number.
  ::raise(signal);
}

}  // namespace

void CleanUpOnInterrupt() {
  for (int signal : temporary::EndingSignals) {
    struct sigaction current {};
    // A signal that the caller ignores (nohup, a pipeline) stays ignored.
    if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace kivo
