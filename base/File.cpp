// The part of the file layer that is the same on every host; File_posix.cpp and
// File_win32.cpp hold the host calls.
#include "base/File.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

namespace kivo {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string Quoted(const std::string& path) {
  std::string quoted;
  quoted.reserve(path.size() + 2);
  quoted += '\'';
  quoted += path;
  quoted += '\'';
  return quoted;
}
std::string Quoted(const std::filesystem::path& path) { return Quoted(Utf8(path)); }
std::string Quoted(const char* path) { return Quoted(std::string(path)); }

std::string SystemText(int error) { return std::generic_category().message(error); }

Error OpenFailed(const std::filesystem::path& path, int error) {
  return MakeError(error == ENOENT ? ErrorKind::NotFound : ErrorKind::CannotOpen,
                   "cannot open " + Quoted(path) + ": " + SystemText(error), path);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

Descriptor::~Descriptor() { Close(); }

Error File::Failed(std::string_view action, int error) const {
  return MakeError(ErrorKind::Io,
                   "cannot " + std::string(action) + " " + Quoted(path_) + ": " + SystemText(error),
                   path_);
}

namespace {

std::atomic<bool> syncOutputs{false};
SyncObserver syncObserver;

}  // namespace

namespace {

HeldCommits* held = nullptr;

}  // namespace

HeldCommits::HeldCommits() : outer_(std::exchange(held, this)) {}

HeldCommits::~HeldCommits() { held = outer_; }

Status HeldCommits::CommitAll() {
  std::vector<OutputFile> outputs = std::move(outputs_);
  outputs_.clear();
  for (OutputFile& output : outputs) {
    if (Status committed = output.CommitNow(); !committed) return committed;
  }
  return {};
}

std::filesystem::path HeldCommits::PathOf(const std::filesystem::path& target) const {
  for (const OutputFile& output : outputs_) {
    if (output.target() != target) continue;
    if (auto path = output.TemporaryPath()) return *path;
  }
  return target;
}

Status OutputFile::Commit() {
  if (held == nullptr || !temp_) return CommitNow();
  held->outputs_.push_back(std::move(*this));
  return {};
}

void SetSyncOutputs(bool sync) { syncOutputs = sync; }
bool SyncOutputs() { return syncOutputs; }

void SetSyncObserver(SyncObserver observer) {
  syncObserver = std::move(observer);
}

void detail::ReportSynced(const std::filesystem::path& output, bool folder) {
  if (syncObserver) syncObserver(output, folder);
}

std::optional<std::time_t> SecondsOfLocalTime(std::tm local) {
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > 31 ||
      local.tm_hour < 0 || local.tm_hour > 23 || local.tm_min < 0 || local.tm_min > 59 ||
      local.tm_sec < 0 || local.tm_sec > 60 || local.tm_year < 70) {
    return std::nullopt;
  }
  local.tm_isdst = -1;  // as the host's rules have it on that day
  std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return seconds;
}

bool SameBytes(const File& a, const File& b, std::uint64_t length) {
  constexpr std::size_t Chunk = std::size_t{1} << 20;
  std::vector<std::byte> left(static_cast<std::size_t>(std::min<std::uint64_t>(Chunk, length)));
  std::vector<std::byte> right(left.size());
  for (std::uint64_t at = 0; at < length;) {
    auto size = static_cast<std::size_t>(std::min<std::uint64_t>(left.size(), length - at));
    if (!a.ReadAt(at, {left.data(), size}) || !b.ReadAt(at, {right.data(), size})) return false;
    auto end = left.begin() + static_cast<std::ptrdiff_t>(size);
    if (!std::equal(left.begin(), end, right.begin())) return false;
    at += size;
  }
  return true;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  // A path that ends in a separator (or is empty) has no file name to separate from; on
  // Windows neither has a bare drive ("C:" + "x" is "C:x", relative to that drive).
  bool separated = dir.empty() || dir.back() == '/';
#ifdef _WIN32
  separated = separated || dir.back() == '\\' || (dir.size() == 2 && dir[1] == ':');
#endif
  if (separated) return dir + name;
  std::string joined;
  joined.reserve(dir.size() + 1 + name.size());
  joined += dir;
  joined += '/';
  joined += name;
  return joined;
}

namespace {

// Whether `c` is in the character class `name` ("digit" of "[:digit:]"), in the C locale.
bool InClass(const std::string& name, unsigned char c) {
  if (c >= 0x80) return false;
  if (name == "alnum") return std::isalnum(c) != 0;
  if (name == "alpha") return std::isalpha(c) != 0;
  if (name == "blank") return std::isblank(c) != 0;
  if (name == "cntrl") return std::iscntrl(c) != 0;
  if (name == "digit") return std::isdigit(c) != 0;
  if (name == "graph") return std::isgraph(c) != 0;
  if (name == "lower") return std::islower(c) != 0;
  if (name == "print") return std::isprint(c) != 0;
  if (name == "punct") return std::ispunct(c) != 0;
  if (name == "space") return std::isspace(c) != 0;
  if (name == "upper") return std::isupper(c) != 0;
  return name == "xdigit" && std::isxdigit(c) != 0;
}

// Matches the bracket expression that starts at glob[at] (just after '[') against `c`; sets
// `end` to just past its ']'. False with end = npos when there is no closing ']', so that the
// '[' is taken as itself.
bool MatchesBracket(const std::string& glob, std::size_t at, unsigned char c, std::size_t& end) {
  bool negated = at < glob.size() && (glob[at] == '!' || glob[at] == '^');
  if (negated) ++at;
  bool matched = false;
  bool first = true;
  for (std::size_t i = at; i < glob.size(); first = false) {
    if (glob[i] == ']' && !first) {
      end = i + 1;
      return matched != negated;
    }
    if (glob.compare(i, 2, "[:") == 0) {
      std::size_t close = glob.find(":]", i + 2);
      if (close != std::string::npos) {
        matched = matched || InClass(glob.substr(i + 2, close - i - 2), c);
        i = close + 2;
        continue;
      }
    }
    if (glob[i] == '\\' && i + 1 < glob.size()) ++i;
    auto low = static_cast<unsigned char>(glob[i++]);
    auto high = low;
    if (i + 1 < glob.size() && glob[i] == '-' && glob[i + 1] != ']') {
      i += glob[i + 1] == '\\' && i + 2 < glob.size() ? 2 : 1;
      high = static_cast<unsigned char>(glob[i++]);
    }
    if (low <= c && c <= high) matched = true;
  }
  end = std::string::npos;
  return false;
}

}  // namespace

bool MatchesGlob(const std::string& glob, const std::string& name) {
  // Backtracking on the last '*' only: a later '*' can always take over what an earlier one
  // would have matched, so the work stays linear in practice.
  std::size_t g = 0, n = 0;
  std::size_t starGlob = std::string::npos, starName = 0;
  while (n < name.size()) {
    bool advanced = false;
    if (g < glob.size()) {
      char p = glob[g];
      if (p == '*') {
        starGlob = ++g;
        starName = n;
        continue;
      }
      if (p == '?') {
        advanced = true, ++g;
      } else if (p == '[') {
        std::size_t end = 0;
        bool matched = MatchesBracket(glob, g + 1, static_cast<unsigned char>(name[n]), end);
        if (end == std::string::npos) {
          advanced = name[n] == '[', ++g;  // an unclosed '[' is an ordinary character
        } else if (matched) {
          advanced = true, g = end;
        }
      } else {
        if (p == '\\' && g + 1 < glob.size()) ++g;
        if (glob[g] == name[n]) advanced = true, ++g;
      }
    }
    if (advanced) {
      ++n;
    } else if (starGlob != std::string::npos) {
      g = starGlob;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (g < glob.size() && glob[g] == '*') ++g;
  return g == glob.size();
}

}  // namespace kivo
