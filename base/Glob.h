// Shell patterns for the names a build leaves out, matched alike on every host.
#pragma once

#include <string>

namespace kivo {

// Whether `name` matches the shell pattern `glob` (*, ?, [...], [!...], '\' quoting the next
// character), byte by byte as fnmatch does in the C locale, on every host alike; a '\' that
// ends the pattern stands for itself.
bool MatchesGlob(const std::string& glob, const std::string& name);

}  // namespace kivo
