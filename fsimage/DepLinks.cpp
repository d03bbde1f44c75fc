// Dependency files that every build tool reads back: names it would misread are reached
// through symbolic links with plain names.
#include <algorithm>
#include <cstdint>
#include <set>
#include <system_error>

#include "fsimage/DepFile.h"

namespace kivo {
namespace {

namespace stdfs = std::filesystem;

constexpr std::string_view LinkPrefix = "kivofs-";

bool PlainCharacter(unsigned char c) {
  if (c >= 0x80) return true;  // a byte of a UTF-8 character
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("/._-+,@ ").find(static_cast<char>(c)) != std::string_view::npos;
}

// FNV-1a over the path's bytes: stable across runs and hosts, so the same path keeps its link.
std::string HashName(std::string_view path) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char c : path) {
    hash = (hash ^ c) * 0x100000001b3u;
  }
  static constexpr char Digits[] = "0123456789abcdef";
  std::string name(LinkPrefix);
  for (int shift = 60; shift >= 0; shift -= 4) name += Digits[(hash >> shift) & 0xFu];
  return name;
}

// The nearest folder above `path` whose name is plain, or nothing.
std::string PlainFolderAbove(const stdfs::path& absolute) {
  for (stdfs::path folder = absolute.parent_path(); !folder.empty();
       folder = folder.parent_path()) {
    std::string text = Utf8(folder);
    if (PlainForBuildTools(text)) return text;
    if (folder == folder.root_path()) break;
  }
  return {};
}

// Makes `link` lead to `target`, keeping a link that already does.
bool PlaceLink(const stdfs::path& link, const stdfs::path& target) {
  std::error_code ec;
  if (stdfs::is_symlink(stdfs::symlink_status(link, ec)) && stdfs::read_symlink(link, ec) == target) {
    return true;
  }
  stdfs::remove(link, ec);
  if (stdfs::is_directory(target, ec)) {
    stdfs::create_directory_symlink(target, link, ec);
  } else {
    stdfs::create_symlink(target, link, ec);
  }
  return !ec;
}

// Removes the links of earlier runs that `kept` no longer names.
void RemoveStaleLinks(const stdfs::path& linkDir, const std::set<std::string>& kept) {
  auto entries = ListDirectory(linkDir);
  if (!entries) return;
  for (const ListedEntry& entry : *entries) {
    if (!entry.name.starts_with(LinkPrefix) || kept.count(entry.name) != 0) continue;
    std::error_code ec;
    const stdfs::path path = linkDir / PathFromUtf8(entry.name);
    if (stdfs::is_symlink(stdfs::symlink_status(path, ec))) stdfs::remove(path, ec);
  }
}

}  // namespace

bool PlainForBuildTools(std::string_view path) {
#ifdef _WIN32
  // A drive letter's colon and the backslash separator are how every Windows path is
  // written; build tools there read them (names never hold a backslash).
  const char drive = path.empty() ? '\0' : static_cast<char>(path[0] | 0x20);
  if (path.size() >= 2 && path[1] == ':' && drive >= 'a' && drive <= 'z') {
    path.remove_prefix(2);
  }
  std::string separated(path);
  std::replace(separated.begin(), separated.end(), '\\', '/');
  path = separated;
#endif
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!PlainCharacter(static_cast<unsigned char>(path[i]))) return false;
    // A space that ends a name is lost by CMake's Makefile generators.
    if (path[i] == ' ' && (i + 1 == path.size() || path[i + 1] == '/')) return false;
  }
  return true;
}

std::string LinkPathFor(std::string_view path, const stdfs::path& linkDir) {
  return Utf8(linkDir / HashName(path));
}

Result<std::vector<std::string>> LinkUnplainPaths(const std::vector<std::string>& paths,
                                                  const stdfs::path& linkDir) {
  std::error_code ec;
  stdfs::create_directories(linkDir, ec);
  if (ec) {
    return MakeError(ErrorKind::CannotOpen,
                     "cannot make the folder " + Quoted(linkDir) + ": " + ec.message());
  }
  std::vector<std::string> named;
  std::set<std::string> kept;
  for (const std::string& path : paths) {
    if (PlainForBuildTools(path)) {
      named.push_back(path);
      continue;
    }
    const stdfs::path absolute = stdfs::absolute(PathFromUtf8(path), ec);
    const std::string link = LinkPathFor(path, linkDir);
    if (!ec && PlaceLink(PathFromUtf8(link), absolute)) {
      named.push_back(link);
      kept.insert(HashName(path));
    } else if (std::string folder = PlainFolderAbove(absolute); !folder.empty()) {
      named.push_back(folder);
    }
  }
  RemoveStaleLinks(linkDir, kept);
  return named;
}

}  // namespace kivo
