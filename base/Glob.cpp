// Shell patterns in the C locale, written here so that every host matches alike.
#include "base/Glob.h"

#include <cctype>
#include <string_view>

namespace kivo {
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

// Matches the name's character `c` against the one-character pattern at glob[g] (anything but
// '*'): the position just past that pattern, or npos when `c` does not match it or the glob
// has ended.
std::size_t MatchOne(const std::string& glob, std::size_t g, char c) {
  if (g == glob.size()) return std::string::npos;
  if (glob[g] == '?') return g + 1;
  if (glob[g] == '[') {
    std::size_t end = 0;
    bool matched = MatchesBracket(glob, g + 1, static_cast<unsigned char>(c), end);
    // An unclosed '[' is an ordinary character.
    if (end == std::string::npos) return c == '[' ? g + 1 : std::string::npos;
    return matched ? end : std::string::npos;
  }
  if (glob[g] == '\\' && g + 1 < glob.size()) ++g;
  return glob[g] == c ? g + 1 : std::string::npos;
}

}  // namespace

bool MatchesGlob(const std::string& glob, const std::string& name) {
  // Backtracking on the last '*' only: a later '*' can always take over what an earlier one
  // would have matched, so the work stays linear in practice.
  std::size_t g = 0, n = 0;
  std::size_t starGlob = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (std::string_view(glob).substr(g).starts_with('*')) {
      starGlob = ++g;
      starName = n;
      continue;
    }
    std::size_t next = MatchOne(glob, g, name[n]);
    if (next != std::string::npos) {
      g = next;
      ++n;
    } else if (starGlob != std::string::npos) {
      g = starGlob;
      n = ++starName;
    } else {
      return false;
    }
  }
  return glob.find_first_not_of('*', g) == std::string::npos;
}

}  // namespace kivo
