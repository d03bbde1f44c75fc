// The host services whose logic is the same on every host; Host_posix.cpp and Host_win32.cpp
// hold the host calls.
#include "base/Host.h"

namespace kivo {

std::tm LocalTimeNow() { return host::BrokenDown(std::time(nullptr), true).value_or(std::tm{}); }

std::optional<std::tm> UtcTime(std::time_t seconds) { return host::BrokenDown(seconds, false); }

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

}  // namespace kivo
