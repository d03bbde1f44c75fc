#include "dirchooser/HostFileSystem.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <map>
#include <system_error>

#include <mntent.h>

namespace dirchooser {

bool CurrentDirectory(std::string& directory, std::string& errorText) {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  if (error) {
    errorText = error.message();
    return false;
  }
  directory = current.string();
  return true;
}

bool ListSubdirectories(const std::string& path, std::vector<std::string>& names) {
  std::error_code error;
  std::filesystem::directory_iterator it(path, error);
  if (error) return false;
  // A link to a directory is listed like a directory, as a user walking the tree expects.
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (error) break;
    std::error_code statusError;
    if (!it->is_directory(statusError)) continue;
    const std::string name = it->path().filename().string();
    if (name != "." && name != "..") names.push_back(name);
  }
  return true;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  // The root directory is one element however many slashes spell it; a trailing slash gives
  // an empty one.
  for (const std::filesystem::path& part : std::filesystem::path(path)) {
    if (part.has_root_directory()) {
      parts.push_back("/");
    } else if (!part.empty()) {
      parts.push_back(part.string());
    }
  }
  return parts;
}

std::string JoinPath(const std::string& parent, const std::string& child) {
  if (!parent.empty() && parent.back() == '/') return parent + child;
  return parent + "/" + child;
}

namespace {

// Undoes the escapes of a name in /dev/disk/by-label ("My\x20Disk" -> "My Disk").
std::string DecodeLabel(const std::string& escaped) {
  std::string label;
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] == 'x' &&
        std::isxdigit(static_cast<unsigned char>(escaped[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(escaped[i + 3]))) {
      label += static_cast<char>(std::stoi(escaped.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      label += escaped[i];
    }
  }
  return label;
}

// Whether a file system type is a pseudo file system nobody picks as a drive.
bool IsPseudoFileSystem(const std::string& type, const std::string& mountPoint) {
  static const char* const kPseudo[] = {
      "proc",     "sysfs",     "cgroup",  "cgroup2",    "devpts",   "mqueue",      "devtmpfs",
      "debugfs",  "tracefs",   "securityfs", "pstore",  "bpf",      "configfs",    "fusectl",
      "hugetlbfs", "autofs",   "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",     "selinuxfs",
      "ramfs",    "fuse.gvfsd-fuse", "fuse.portal"};
  for (const char* pseudo : kPseudo) {
    if (type == pseudo) return true;
  }
  auto under = [&mountPoint](const std::string& prefix) {
    return mountPoint == prefix || mountPoint.rfind(prefix + "/", 0) == 0;
  };
  // The system's own memory file systems (/dev/shm, /run, /run/lock, ...) are no drives;
  // a tmpfs elsewhere (/tmp) is one a user may pick.
  if (type == "tmpfs" && (under("/dev") || under("/run") || under("/sys"))) return true;
  return under("/proc") || under("/sys");
}

std::map<std::string, std::string> LabelsByDevice() {
  std::map<std::string, std::string> labels;
  std::error_code error;
  std::filesystem::directory_iterator it("/dev/disk/by-label", error);
  if (error) return labels;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (error) break;
    std::error_code resolveError;
    const std::filesystem::path device = std::filesystem::canonical(it->path(), resolveError);
    if (!resolveError) labels[device.string()] = DecodeLabel(it->path().filename().string());
  }
  return labels;
}

// ListDrives from a mount table in the format of /proc/self/mounts.
bool ReadMountTable(const std::string& mountTable, std::vector<DriveEntry>& drives,
                    std::string& errorText) {
  FILE* table = setmntent(mountTable.c_str(), "r");
  if (table == nullptr) {
    errorText = std::generic_category().message(errno);
    return false;
  }
  const std::map<std::string, std::string> labels = LabelsByDevice();
  std::vector<DriveEntry> found;
  while (const mntent* mount = getmntent(table)) {
    const std::string mountPoint = mount->mnt_dir;
    if (IsPseudoFileSystem(mount->mnt_type, mountPoint)) continue;
    std::string label;
    std::error_code resolveError;
    const std::filesystem::path device =
        std::filesystem::canonical(mount->mnt_fsname, resolveError);
    if (!resolveError) {
      auto known = labels.find(device.string());
      if (known != labels.end()) label = known->second;
    }
    // A later mount on the same point hides the earlier one.
    auto same = std::find_if(found.begin(), found.end(),
                             [&](const DriveEntry& e) { return e.path == mountPoint; });
    if (same != found.end()) {
      same->label = label;
    } else {
      found.push_back(DriveEntry{mountPoint, label});
    }
  }
  endmntent(table);
  if (found.empty()) {
    errorText = "no mounted file system found in " + mountTable;
    return false;
  }
  drives.insert(drives.end(), found.begin(), found.end());
  return true;
}

}  // namespace

bool ListDrives(std::vector<DriveEntry>& drives, std::string& errorText) {
  return ReadMountTable("/proc/self/mounts", drives, errorText);
}

int FindDriveOf(const std::vector<DriveEntry>& drives, const std::string& directory) {
  int best = -1;
  size_t bestLength = 0;
  for (size_t i = 0; i < drives.size(); ++i) {
    const std::string& mountPoint = drives[i].path;
    if (mountPoint.empty() || directory.rfind(mountPoint, 0) != 0) continue;
    // "/home" holds "/home/u" but not "/homework".
    const bool wholeComponent = mountPoint.back() == '/' || directory.size() == mountPoint.size() ||
                                directory[mountPoint.size()] == '/';
    if (wholeComponent && (best < 0 || mountPoint.size() > bestLength)) {
      best = static_cast<int>(i);
      bestLength = mountPoint.size();
    }
  }
  return best;
}

}  // namespace dirchooser
