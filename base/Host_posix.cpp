// The clock and command line on POSIX hosts.
#include "base/Host.h"

#include <time.h>

namespace kivo {

std::optional<std::tm> host::BrokenDown(std::time_t seconds, bool local) {
  std::tm time{};
  auto* done = local ? ::localtime_r(&seconds, &time) : ::gmtime_r(&seconds, &time);
  if (done == nullptr) return std::nullopt;
  return time;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace kivo
