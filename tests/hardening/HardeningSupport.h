// Shared by the fault tests: a scratch directory, running the real kivofs with a file-size
// limit and a time limit, byte snapshots of directories, and private tmpfs mounts for
// read-only and full file systems where the process has the right to make them.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/OrdinaryUser.h"

namespace kivo::hardening {

namespace stdfs = std::filesystem;

inline std::string Slurp(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void Spill(const stdfs::path& path, const std::string& bytes) {
  stdfs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string FromBytes(const std::vector<std::byte>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Every entry below `root` with its bytes ("/" for a directory, "->target" for a link):
// comparing two snapshots shows any file changed, added or left behind.
inline std::map<std::string, std::string> Snapshot(const stdfs::path& root) {
  std::map<std::string, std::string> result;
  std::error_code ec;
  if (!stdfs::exists(stdfs::symlink_status(root, ec))) return result;
  for (auto it = stdfs::recursive_directory_iterator(root, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    std::string relative = stdfs::relative(it->path(), root).string();
    auto status = it->symlink_status();
    if (stdfs::is_symlink(status)) {
      result[relative] = "->" + stdfs::read_symlink(it->path()).string();
    } else if (stdfs::is_directory(status)) {
      result[relative] = "/";
    } else {
      result[relative] = Slurp(it->path());
    }
  }
  return result;
}

class Scratch {
 public:
  Scratch() {
    std::string pattern = (stdfs::temp_directory_path() / "kivofs-hardening-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  ~Scratch() {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
    std::error_code ignored;
    for (auto& entry : stdfs::recursive_directory_iterator(root_, ignored)) {
      stdfs::permissions(entry.path(), stdfs::perms::owner_all, stdfs::perm_options::add, ignored);
    }
    stdfs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const stdfs::path& root() const { return root_; }
  stdfs::path operator/(const std::string& name) const { return root_ / name; }

  // A tmpfs of `bytes` on `dir`; false when this process may not mount. The mount lives
  // in the test process's own mount namespace, so nothing outside it ever sees it.
  bool MountTmpfs(const stdfs::path& dir, std::uint64_t bytes) {
    if (!PrivateMountNamespace()) return false;
    stdfs::create_directories(dir);
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    mounts_.push_back(dir);
    return true;
  }
  static bool RemountReadOnly(const stdfs::path& dir) {
    return ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  static bool PrivateMountNamespace() {
    static const bool made = [] {
      if (::unshare(CLONE_NEWNS) != 0) return false;
      return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return made;
  }

  stdfs::path root_;
  std::vector<stdfs::path> mounts_;
};

struct Outcome {
  int exitCode = -1;  // -1: killed by a signal or by the time limit
  bool timedOut = false;
  std::string out;
  std::string err;
};

struct RunLimits {
  std::optional<std::uint64_t> fileSize;  // RLIMIT_FSIZE, with SIGXFSZ ignored
  int seconds = 60;
  bool ordinaryUser = false;  // run as "nobody" when the tests run as root
};

// Runs `program` with `args`, its output captured through files in `scratch`.
inline Outcome Run(const std::string& program, const std::vector<std::string>& args,
                   const stdfs::path& scratch, RunLimits limits = {}) {
  const stdfs::path outPath = scratch / ".run-stdout";
  const stdfs::path errPath = scratch / ".run-stderr";
  pid_t child = ::fork();
  if (child == 0) {
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (limits.fileSize) {
      // An ignored signal stays ignored across exec: writes past the limit fail with EFBIG.
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{*limits.fileSize, *limits.fileSize};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    if (limits.ordinaryUser && ::geteuid() == 0 && !testfiles::BecomeOrdinaryUser()) ::_exit(125);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  Outcome outcome;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      outcome.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!outcome.timedOut && WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  outcome.out = Slurp(outPath);
  outcome.err = Slurp(errPath);
  stdfs::remove(outPath);
  stdfs::remove(errPath);
  return outcome;
}

inline Outcome Kivofs(const std::vector<std::string>& args, const stdfs::path& scratch,
                      RunLimits limits = {}) {
  return Run(KIVOFS_BIN, args, scratch, limits);
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace kivo::hardening
