#include "fsimage/DepFile.h"

namespace kivo {
namespace {

// Control characters shown as C escapes, so that the message stays on one line.
std::string Printable(std::string_view path) {
  std::string text;
  for (char c : path) {
    switch (c) {
      case '\n': text += "\\n"; break;
      case '\r': text += "\\r"; break;
      case '\t': text += "\\t"; break;
      default: text += c;
    }
  }
  return text;
}

// Why make cannot read `path` back, or nothing. A newline ends the rule; make cuts a tab out
// of a target; '=' and ';' turn the line into a variable assignment or a recipe; a leading
// '~' is a home directory; a trailing backslash joins the next line or escapes nothing;
// "a(b)" names member b of archive a. None of them has an escape.
std::string Unreadable(std::string_view path) {
  for (char c : path) {
    if (c == '\n') return "a newline";
    if (c == '\r') return "a carriage return";
    if (c == '\t') return "a tab";
    if (c == '=') return "'='";
    if (c == ';') return "';'";
  }
  if (path.starts_with('~')) return "a leading '~'";
  if (path.ends_with('\\')) return "a trailing backslash";
  std::size_t open = path.find('(');
  if (open != std::string_view::npos && open > 0 && path.ends_with(')')) {
    return "the form 'archive(member)'";
  }
  return {};
}

}  // namespace

Result<std::string> EscapeForMake(std::string_view path, MakeRole role) {
  if (std::string reason = Unreadable(path); !reason.empty()) {
    return MakeError(ErrorKind::Invalid, "make cannot read the name '" + Printable(path) +
                                             "' back (it holds " + reason + ")");
  }
  // Make globs a name with a wildcard in it, and the glob reads every backslash as an escape:
  // quote the name for the glob first, then for make's own parser.
  const bool wildcard = path.find_first_of("*?[") != std::string_view::npos;
  std::string globbed;
  for (char c : path) {
    if (wildcard && (c == '\\' || c == '*' || c == '?' || c == '[')) globbed += '\\';
    globbed += c;
  }
  // Make's parser takes 2N+1 backslashes before one of its special characters as N
  // backslashes and the character itself; backslashes elsewhere stay as they are.
  std::string escaped;
  std::size_t backslashes = 0;
  for (char c : globbed) {
    if (c == '\\') {
      ++backslashes;
      escaped += c;
      continue;
    }
    // '|' starts the order-only prerequisites; '%' makes a target a pattern.
    bool special = c == ' ' || c == '#' || c == ':' ||
                   (c == '|' && role == MakeRole::Prerequisite) ||
                   (c == '%' && role == MakeRole::Target);
    if (special) {
      escaped.append(backslashes + 1, '\\');
    }
    if (c == '$') {
      escaped += "$$";
    } else {
      escaped += c;
    }
    backslashes = 0;
  }
  return escaped;
}

Result<std::string> FormatDepFile(std::string_view target,
                                  const std::vector<std::string>& prerequisites) {
  auto head = EscapeForMake(target, MakeRole::Target);
  if (!head) return head.error();
  std::string text = *head + ":";
  std::string phony;
  for (const std::string& prerequisite : prerequisites) {
    if (prerequisite == target) continue;  // an attach that rewrites its host in place
    auto asPrerequisite = EscapeForMake(prerequisite, MakeRole::Prerequisite);
    if (!asPrerequisite) return asPrerequisite.error();
    auto asTarget = EscapeForMake(prerequisite, MakeRole::Target);
    if (!asTarget) return asTarget.error();
    text += " \\\n " + *asPrerequisite;
    phony += *asTarget + ":\n";
  }
  return text + "\n" + phony;
}

Result<OutputFile> PrepareDepFile(const std::filesystem::path& path, std::string_view target,
                                  const std::vector<std::string>& prerequisites) {
  auto text = FormatDepFile(target, prerequisites);
  if (!text) {
    return MakeError(text.error().kind, "cannot write the dependency file " + Quoted(path) +
                                            ": " + text.error().message);
  }
  auto output = OutputFile::Create(path);
  if (!output) return output.error();
  auto bytes = std::as_bytes(std::span(text->data(), text->size()));
  KIVO_TRY(output->WriteAt(0, bytes));
  return output;
}

}  // namespace kivo
