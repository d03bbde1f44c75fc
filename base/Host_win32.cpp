// The clock and command line on Windows: the wide command line in UTF-8, and a console that
// shows UTF-8 and writes "\n" as it is.
#include "base/Host.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

namespace kivo {

std::optional<std::tm> host::BrokenDown(std::time_t seconds, bool local) {
  std::tm time{};
  int error = local ? ::localtime_s(&time, &seconds) : ::gmtime_s(&time, &seconds);
  if (error != 0) return std::nullopt;
  return time;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  // Output as bytes: the same text as on POSIX, with no "\r" put before each "\n".
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(static_cast<std::size_t>(std::max(size, 1)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), size, nullptr, nullptr);
    argument.resize(argument.size() - 1);  // the terminator
    arguments.push_back(std::move(argument));
  }
  ::LocalFree(wide);
  return arguments;
}

}  // namespace kivo
