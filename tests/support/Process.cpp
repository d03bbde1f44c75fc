// Run() on POSIX hosts: fork, limits and user in the child, exec; the output goes to unlinked
// temporary files, so a program that writes much never blocks on a full pipe.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/OrdinaryUser.h"
#include "tests/support/Support.h"

namespace kivo::test {

using testfiles::OrdinaryGid, testfiles::OrdinaryUid;

Outcome Run(const std::string& program, const std::vector<std::string>& args,
            const RunOptions& options) {
  int files[2];
  for (int& fd : files) {
    std::string name = (stdfs::temp_directory_path() / "kivofs-run-XXXXXX").string();
    if ((fd = ::mkstemp(name.data())) >= 0) ::unlink(name.c_str());
  }
  pid_t child = ::fork();
  if (child == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    if (::dup2(in, 0) < 0 || ::dup2(files[0], 1) < 0 || ::dup2(files[1], 2) < 0) ::_exit(127);
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(127);
    for (const std::string& setting : options.env) ::putenv(const_cast<char*>(setting.c_str()));
    // An ignored signal stays ignored across exec: writes past the limit fail with EFBIG.
    const rlim_t most = options.fileSize.value_or(RLIM_INFINITY);
    const rlimit limit{most, most};
    if (options.fileSize &&
        (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)) {
      ::_exit(126);
    }
    // The ordinary user's ids and no supplementary groups, for good.
    if (options.ordinaryUser && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setresgid(OrdinaryGid, OrdinaryGid, OrdinaryGid) != 0 ||
         ::setresuid(OrdinaryUid, OrdinaryUid, OrdinaryUid) != 0)) {
      ::_exit(125);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  Outcome outcome;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      outcome.timedOut = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!outcome.timedOut && WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  for (std::string* text : {&outcome.out, &outcome.err}) {
    int fd = files[text == &outcome.out ? 0 : 1];
    char buffer[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
      text->append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
  }
  return outcome;
}

}  // namespace kivo::test
