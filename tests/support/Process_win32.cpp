// Run() on Windows: CreateProcessW with the output going to temporary files that vanish when
// closed, so a program that writes much never blocks on a full pipe. File size limits and
// other users are POSIX matters: the tests that need them are not built here.
#include <windows.h>

#include "tests/support/Support.h"

namespace kivo::test {
namespace {

std::wstring Wide(const std::string& utf8) {
  int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

// One argument quoted so that the C runtime splits it back as it was: backslashes count only
// before a quote.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L'"';
}

// The test's environment with `settings` ("NAME=value") added or replacing, as a block.
std::wstring Environment(const std::vector<std::string>& settings) {
  std::vector<std::wstring> added;
  auto nameOf = [](const std::wstring& entry) { return entry.substr(0, entry.find(L'=', 1)); };
  auto sameName = [&](const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(nameOf(a).c_str(), -1, nameOf(b).c_str(), -1, TRUE) == CSTR_EQUAL;
  };
  // A later setting of a name replaces an earlier one, as putenv does.
  for (const std::string& setting : settings) {
    std::wstring wide = Wide(setting);
    std::erase_if(added, [&](const std::wstring& earlier) { return sameName(earlier, wide); });
    added.push_back(wide);
  }
  std::wstring block;
  wchar_t* own = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = own; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    bool replaced = std::any_of(added.begin(), added.end(),
                                [&](const std::wstring& setting) { return sameName(setting, entry); });
    if (!replaced) block += std::wstring(entry) + L'\0';
  }
  ::FreeEnvironmentStringsW(own);
  for (const std::wstring& setting : added) block += setting + L'\0';
  return block + L'\0';
}

HANDLE Inheritable(const wchar_t* path, DWORD access, DWORD creation, DWORD flags) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       creation, flags, nullptr);
}

}  // namespace

Outcome Run(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
  Outcome outcome;
  HANDLE in = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING, 0);
  HANDLE files[2];
  for (HANDLE& file : files) {
    wchar_t directory[MAX_PATH + 1], name[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, directory);
    ::GetTempFileNameW(directory, L"kfs", 0, name);
    file = Inheritable(name, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
  }
  std::wstring commandLine = Quote(Wide(program));
  for (const std::string& arg : args) commandLine += L" " + Quote(Wide(arg));
  std::wstring environment = Environment(options.env);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in, startup.hStdOutput = files[0], startup.hStdError = files[1];
  PROCESS_INFORMATION process{};
  std::wstring cwd = options.cwd.wstring();
  if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                       environment.data(), cwd.empty() ? nullptr : cwd.c_str(), &startup, &process)) {
    if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.seconds) * 1000) == WAIT_TIMEOUT) {
      ::TerminateProcess(process.hProcess, 1);
      ::WaitForSingleObject(process.hProcess, INFINITE);
      outcome.timedOut = true;
    }
    DWORD code = 0;
    if (!outcome.timedOut && ::GetExitCodeProcess(process.hProcess, &code)) outcome.exitCode = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  for (std::string* text : {&outcome.out, &outcome.err}) {
    HANDLE file = files[text == &outcome.out ? 0 : 1];
    char buffer[4096];
    DWORD got = 0;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text->append(buffer, got);
    ::CloseHandle(file);
  }
  ::CloseHandle(in);
  return outcome;
}

}  // namespace kivo::test
