#include "mountfs/MountTree.h"

#include "fsimage/Codec.h"
#include "fsimage/Reader.h"
#include "fsimage/Verify.h"

namespace kivo::mountfs {
namespace {

std::string ChildKey(const std::string& parentKey, std::string_view name) {
  return (parentKey == "/" ? "" : parentKey) + "/" + std::string(name);
}

// The image path of the folder holding `path` ("" for the drive's root).
std::string ParentOf(const std::string& path, std::string_view name) {
  return path.size() == name.size() ? std::string() : path.substr(0, path.size() - name.size() - 1);
}

}  // namespace

std::time_t EntryTime(std::uint32_t packedDate, unsigned hour, unsigned minute, unsigned second) {
  fs::EntryDate date = fs::UnpackDate(packedDate);
  std::tm time{};
  time.tm_year = static_cast<int>(date.year) - 1900;
  time.tm_mon = static_cast<int>(date.month);
  time.tm_mday = static_cast<int>(date.day);
  time.tm_hour = static_cast<int>(hour);
  time.tm_min = static_cast<int>(minute);
  time.tm_sec = static_cast<int>(second);
  time.tm_isdst = -1;  // whatever daylight saving time said on that day
  std::time_t seconds = std::mktime(&time);
  return seconds == static_cast<std::time_t>(-1) ? 0 : seconds;
}

Result<MountTree> MountTree::Build(std::vector<Drive> drives, std::vector<TextFile> texts,
                                   std::time_t hostTime) {
  MountTree tree;
  MountNode root;
  root.directory = true;
  root.time = hostTime;
  tree.nodes_.push_back(std::move(root));
  tree.byPath_.emplace("/", RootNode);
  for (Drive& drive : drives) {
    tree.owned_.push_back(std::move(drive.bytes));
    if (Status added = tree.AddDrive(drive); !added) return added.error();
    if (!drive.folder.empty()) tree.nodes_[tree.byPath_.at("/" + drive.folder)].time = hostTime;
  }
  for (TextFile& text : texts) {
    const auto* begin = reinterpret_cast<const std::byte*>(text.text.data());
    tree.owned_.emplace_back(begin, begin + text.text.size());
    MountNode file;
    file.name = text.name;
    file.time = hostTime;
    file.contents = tree.owned_.back();
    tree.totalBytes_ += file.contents.size();
    tree.Add(RootNode, "/", std::move(file));
  }
  return tree;
}

std::optional<NodeId> MountTree::Find(std::string_view path) const {
  auto found = byPath_.find(path);
  if (found == byPath_.end()) return std::nullopt;
  return found->second;
}

NodeId MountTree::Add(NodeId parent, const std::string& parentKey, MountNode node) {
  auto id = static_cast<NodeId>(nodes_.size());
  // A second item of one name, which the verifier refuses, would be left out.
  if (!byPath_.emplace(ChildKey(parentKey, node.name), id).second) return parent;
  if (node.directory) ++nodes_[parent].subdirectories;
  nodes_[parent].children.push_back(id);
  nodes_.push_back(std::move(node));
  return id;
}

Status MountTree::AddDrive(const Drive& drive) {
  ByteSpan bytes = owned_.back();
  totalBytes_ += bytes.size();
  fs::VerifyReport report = fs::VerifyImage(bytes, drive.source);
  if (!report.ok()) return MakeError(ErrorKind::Format, drive.label + ": " + report.problems.front());
  auto reader = fs::ImageReader::Open(bytes, drive.source);
  if (!reader) return reader.error();

  // Image path of each folder -> its node and its path in the mount.
  std::unordered_map<std::string, std::pair<NodeId, std::string>> folders;
  folders[""] = {RootNode, "/"};
  if (!drive.folder.empty()) {
    MountNode top;
    top.name = drive.folder;
    top.directory = true;
    folders[""] = {Add(RootNode, "/", std::move(top)), "/" + drive.folder};
  }
  return reader->Walk([&](const fs::Located& item) -> Status {
    // The verifier has refused names no host file may have ("", ".", "..", a '/') and
    // names that meet in one folder, so each item has a path of its own.
    const fs::DirEntry& entry = item.entry;
    MountNode node;
    node.name = entry.name;
    node.directory = entry.IsDirectory();
    node.time = EntryTime(entry.date, entry.hour, entry.minute, entry.second);
    if (!node.directory) {
      auto contents = reader->FileContents(entry, item.path);
      if (!contents) return contents.error();
      node.contents = *contents;
    }
    const auto& [parent, parentKey] = folders.at(ParentOf(item.path, entry.name));
    std::string key = ChildKey(parentKey, entry.name);
    NodeId id = Add(parent, parentKey, std::move(node));
    if (nodes_[id].directory) folders[item.path] = {id, key};
    return {};
  });
}

}  // namespace kivo::mountfs
