// The host's clock and command line, for the core and the programs.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// The local time of this moment, broken down.
std::tm LocalTimeNow();
// The local time `local` (its weekday and day of the year ignored) as seconds since 1970;
// nothing when a field is out of its range or the host cannot represent it.
std::optional<std::time_t> SecondsOfLocalTime(std::tm local);
// `seconds` since 1970 in UTC, broken down; nothing when the host cannot represent it.
std::optional<std::tm> UtcTime(std::time_t seconds);

// The program's arguments as UTF-8: argv itself on POSIX; on Windows, whose argv is in the
// ANSI code page, the wide command line converted. Also makes a Windows console show UTF-8,
// and standard output and error write "\n" as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

namespace host {
// `seconds` since 1970 broken down in local time or in UTC; nothing when the host cannot.
std::optional<std::tm> BrokenDown(std::time_t seconds, bool local);
}  // namespace host

}  // namespace kivo
