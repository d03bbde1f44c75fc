// The clock and command line on POSIX hosts.
#include "base/Host.h"

#include <time.h>

namespace kivo {

std::tm LocalTimeNow() {
  std::time_t seconds = std::time(nullptr);
  std::tm now{};
  ::localtime_r(&seconds, &now);
  return now;
}

std::optional<std::tm> UtcTime(std::time_t seconds) {
  std::tm utc{};
  if (::gmtime_r(&seconds, &utc) == nullptr) return std::nullopt;
  return utc;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace kivo
