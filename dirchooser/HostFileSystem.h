// What the directory chooser needs from the host's file system, with the host's conventions.
// On POSIX hosts: the root "/" and slashes, and the mount table in place of drive letters;
// nothing there changes the current directory. On Windows: drive designators and
// backslashes, the logical drives with their volume labels, and the system's error texts.
#pragma once

#include <string>
#include <vector>

namespace dirchooser {

// The process's current directory as the system reports it; false with the system's text for
// the error when it cannot be read.
bool CurrentDirectory(std::string& directory, std::string& errorText);

// The names of the subdirectories of `path` in the order the system lists them, hidden ones
// included, "." and ".." left out. False when the directory cannot be listed.
bool ListSubdirectories(const std::string& path, std::vector<std::string>& names);

// The components shown as the tree's path items: the root ("/", or the drive designator such
// as "D:") first, then one per directory name; runs of separators give no empty component.
std::vector<std::string> SplitPath(const std::string& path);

// A child item's path from its parent's path and its own text.
std::string JoinPath(const std::string& parent, const std::string& child);

struct DriveEntry {
  std::string path;   // the mount point, or the drive designator ("D:")
  std::string label;  // empty when unknown
};

// The drives a user would pick from; false with the system's text when none can be listed. On
// POSIX hosts: the mounted file systems of /proc/self/mounts but the pseudo ones, with labels
// from /dev/disk/by-label where known.
bool ListDrives(std::vector<DriveEntry>& drives, std::string& errorText);

// The drive holding `directory`: the longest drive path that is a whole-component prefix of it;
// on Windows the first drive whose letter is the directory's first character, in either case.
// -1 when none.
int FindDriveOf(const std::vector<DriveEntry>& drives, const std::string& directory);

#ifdef _WIN32
// Makes drive `letter`'s own current directory the process's current directory, as
// SetCurrentDirectory("D:") does; false with the system's text when it cannot.
bool EnterDrive(char letter, std::string& errorText);
#endif

}  // namespace dirchooser
