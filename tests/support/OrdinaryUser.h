// Permission checks do not bind root, and the tests run as root in CI: tests of what an
// ordinary user may not do hand their files to the user "nobody" and run their subject as
// that user.
#pragma once

#include <grp.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace kivo::testfiles {

inline constexpr uid_t OrdinaryUid = 65534;
inline constexpr gid_t OrdinaryGid = 65534;

// Makes `root` and everything below it belong to the ordinary user (when running as root),
// and lets that user pass through `root`'s parent.
inline void GiveToOrdinaryUser(const std::filesystem::path& root) {
  if (::geteuid() != 0) return;
  auto give = [](const std::filesystem::path& path) {
    if (::lchown(path.c_str(), OrdinaryUid, OrdinaryGid) != 0) {
      throw std::system_error(errno, std::generic_category(), "lchown " + path.string());
    }
  };
  std::filesystem::permissions(root.parent_path(), std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  give(root);
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(root))) return;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) give(entry.path());
}

// Drops to the ordinary user's ids (and no supplementary groups) in a forked child before
// it execs; the child must call this before anything else that may fail.
inline bool BecomeOrdinaryUser() {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(OrdinaryGid, OrdinaryGid, OrdinaryGid) == 0 &&
         ::setresuid(OrdinaryUid, OrdinaryUid, OrdinaryUid) == 0;
}

// For subjects that run inside the test process (the core library, a dialog): the effective
// ids are the ordinary user's while the guard lives; the real ids stay root so that the
// destructor can take them back. Does nothing when the tests do not run as root.
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() {
    if (::geteuid() != 0) return;
    int count = ::getgroups(0, nullptr);
    groups_.resize(static_cast<std::size_t>(count > 0 ? count : 0));
    if (count > 0) ::getgroups(count, groups_.data());
    savedGid_ = ::getegid();
    if (::setgroups(0, nullptr) != 0 || ::setegid(OrdinaryGid) != 0 || ::seteuid(OrdinaryUid) != 0) {
      throw std::system_error(errno, std::generic_category(), "dropping to the ordinary user");
    }
    dropped_ = true;
  }
  ~AsOrdinaryUser() {
    if (!dropped_) return;
    if (::seteuid(0) != 0 || ::setegid(savedGid_) != 0 ||
        ::setgroups(groups_.size(), groups_.data()) != 0) {
      std::terminate();  // the remaining tests would run with the wrong rights
    }
  }
  AsOrdinaryUser(const AsOrdinaryUser&) = delete;
  AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

 private:
  bool dropped_ = false;
  gid_t savedGid_ = 0;
  std::vector<gid_t> groups_;
};

}  // namespace kivo::testfiles
