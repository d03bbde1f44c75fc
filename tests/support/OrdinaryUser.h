// Permission checks do not bind root, and the tests run as root in CI: tests of what an
// ordinary user may not do hand their files to the user "nobody" and run their subject as
// that user.
#pragma once

#ifdef _WIN32
#include <filesystem>

namespace kivo::testfiles {

// Windows has no user above the read-only attribute, and nothing here makes a file unreadable
// to the tests' own user: handing over and dropping rights do nothing.
inline void GiveToOrdinaryUser(const std::filesystem::path&) {}
struct AsOrdinaryUser {
  AsOrdinaryUser() {}  // user-provided: a guard that nothing reads is no unused variable
};

}  // namespace kivo::testfiles
#else
#include <grp.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <system_error>

namespace kivo::testfiles {

inline constexpr uid_t OrdinaryUid = 65534;
inline constexpr gid_t OrdinaryGid = 65534;

// Makes `root` and everything below it belong to the ordinary user (when running as root),
// and lets that user pass through `root`'s parent.
inline void GiveToOrdinaryUser(const std::filesystem::path& root) {
  namespace stdfs = std::filesystem;
  if (::geteuid() != 0) return;
  stdfs::permissions(root.parent_path(), stdfs::perms::others_exec, stdfs::perm_options::add);
  auto give = [](const stdfs::path& path) {
    if (::lchown(path.c_str(), OrdinaryUid, OrdinaryGid) != 0) {
      throw std::system_error(errno, std::generic_category(), path);
    }
  };
  give(root);
  for (const auto& entry : stdfs::recursive_directory_iterator(root)) give(entry.path());
}

// For subjects that run inside the test process (the core library, a dialog): the effective
// ids are the ordinary user's, with no supplementary groups, while the guard lives; the real
// ids stay root so that the destructor can take them back (root needs no groups back: no
// permission binds it). Does nothing when the tests do not run as root.
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : dropped_(::geteuid() == 0), gid_(::getegid()) {
    if (dropped_ && (::setgroups(0, nullptr) != 0 || ::setegid(OrdinaryGid) != 0 ||
                     ::seteuid(OrdinaryUid) != 0)) {
      throw std::system_error(errno, std::generic_category(), "dropping to the ordinary user");
    }
  }
  ~AsOrdinaryUser() {
    // The remaining tests would run with the wrong rights.
    if (dropped_ && (::seteuid(0) != 0 || ::setegid(gid_) != 0)) std::terminate();
  }
  AsOrdinaryUser(const AsOrdinaryUser&) = delete;
  AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

 private:
  bool dropped_;
  gid_t gid_;
};

}  // namespace kivo::testfiles
#endif
