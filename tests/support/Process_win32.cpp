// Run() on Windows: CreateProcessW with the output going to temporary files that vanish when
// closed, so a program that writes much never blocks on a full pipe. File size limits and
// other users are POSIX matters: the tests that need them are not built here.
#include <windows.h>

#include "tests/support/Support.h"

namespace kivo::test {
namespace {

// One argument quoted so that the C runtime splits it back as it was: backslashes count only
// before a quote.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c != L'\\') {
      quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
      quoted += c;
    }
    backslashes = c == L'\\' ? backslashes + 1 : 0;
  }
  return quoted.append(backslashes * 2, L'\\') + L'"';
}

HANDLE Inheritable(const wchar_t* path, DWORD creation, DWORD flags) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, share, &inherit, creation, flags,
                       nullptr);
}

}  // namespace

Outcome Run(const std::string& program, const std::vector<std::string>& args,
            const RunOptions& options) {
  HANDLE files[3] = {Inheritable(L"NUL", OPEN_EXISTING, 0)};
  for (HANDLE* file : {&files[1], &files[2]}) {
    wchar_t directory[MAX_PATH + 1], name[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, directory);
    ::GetTempFileNameW(directory, L"kfs", 0, name);
    *file = Inheritable(name, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
  }
  std::wstring commandLine = Quote(PathFromUtf8(program).wstring());
  for (const std::string& arg : args) commandLine += L" " + Quote(PathFromUtf8(arg).wstring());
  // The first setting of a name wins: the later ones go first.
  std::wstring environment;
  for (auto it = options.env.rbegin(); it != options.env.rend(); ++it) {
    environment += PathFromUtf8(*it).wstring() + L'\0';
  }
  wchar_t* own = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = own; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    environment += std::wstring(entry) + L'\0';
  }
  ::FreeEnvironmentStringsW(own);
  environment += L'\0';
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = files[0];
  startup.hStdOutput = files[1];
  startup.hStdError = files[2];
  PROCESS_INFORMATION process{};
  std::wstring cwd = options.cwd.wstring();
  Outcome outcome;
  if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT, environment.data(),
                       cwd.empty() ? nullptr : cwd.c_str(), &startup, &process)) {
    if (::WaitForSingleObject(process.hProcess, 60 * 1000) == WAIT_TIMEOUT) {
      ::TerminateProcess(process.hProcess, 1);
      ::WaitForSingleObject(process.hProcess, INFINITE);
      outcome.timedOut = true;
    }
    DWORD code = 0;
    if (!outcome.timedOut && ::GetExitCodeProcess(process.hProcess, &code)) {
      outcome.exitCode = static_cast<int>(code);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  for (std::string* text : {&outcome.out, &outcome.err}) {
    HANDLE file = files[text == &outcome.out ? 1 : 2];
    char buffer[4096];
    DWORD got = 0;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      text->append(buffer, got);
    }
  }
  for (HANDLE file : files) ::CloseHandle(file);
  return outcome;
}

}  // namespace kivo::test
