// Make-style dependency files ("OUT: IN..."), as compilers write them with -MD -MP, so that
// make and CMake (DEPFILE) rerun a command when anything it read changes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/File.h"
#include "base/Result.h"

namespace kivo {

// Make reads a few characters differently in a rule's target than among its prerequisites.
enum class MakeRole { Target, Prerequisite };

// `path` spelled so that make reads it back as exactly that one name. Space, '#', ':', and
// '|' in a prerequisite or '%' in a target get a backslash (backslashes before them
// doubled), '$' becomes "$$", and a name with a wildcard is quoted for make's glob. An Invalid error for a name that make cannot read
// back at all: one holding a newline, carriage return, tab, '=' or ';', one beginning with
// '~', ending with a backslash, or of the form "a(b)" (an archive member to make).
Result<std::string> EscapeForMake(std::string_view path, MakeRole role);

// "TARGET: PREREQUISITE..." and then every prerequisite as a target of its own with no
// prerequisites, so that one which disappears makes the target stale instead of stopping
// make with "No rule to make target". A prerequisite equal to the target is left out.
Result<std::string> FormatDepFile(std::string_view target,
                                  const std::vector<std::string>& prerequisites);

// The dependency file written to a temporary file beside `path`; the caller commits it
// once the command that it describes succeeded. Errors name `path`.
Result<OutputFile> PrepareDepFile(const std::filesystem::path& path, std::string_view target,
                                  const std::vector<std::string>& prerequisites);

// Whether CMake (both its Makefile and its Ninja generators) and make read `path` back from a
// dependency file as the same name. Tried one character at a time, CMake 3.25 misreads most
// punctuation: ':', '|' or a trailing space stop every later build of a Makefile generator,
// and '#', '$', '*', '?', quotes and the like make Ninja rerun the command on every build.
// Plain are ASCII letters and digits, the bytes of UTF-8 characters, '/', '.', '_', '-', '+',
// ',', '@', and a space that does not end a name.
bool PlainForBuildTools(std::string_view path);

// Where a dependency file names `path` when it is not plain: a symbolic link in `linkDir`,
// named after a hash of the path. Build tools read a file's time stamp through a link.
std::string LinkPathFor(std::string_view path, const std::filesystem::path& linkDir);

// `paths` with every one that is not plain replaced by its link (LinkPathFor), made to lead
// to the path's absolute form. Links of earlier runs that are no longer named are removed;
// nothing else in `linkDir` is touched. Where the host makes no link (Windows without the
// right to), the nearest plain folder above the path stands in for it, which still changes
// when an item is added, removed or renamed there.
Result<std::vector<std::string>> LinkUnplainPaths(const std::vector<std::string>& paths,
                                                  const std::filesystem::path& linkDir);

}  // namespace kivo
