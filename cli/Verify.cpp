// kivofs verify: checks an image against every rule of the format.
#include <memory>

#include "cli/Commands.h"
#include "base/File.h"
#include "fsimage/Verify.h"

namespace kivo::cli {
namespace {

std::string Count(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

struct VerifyOptions {
  std::string image;
};

int RunVerify(const VerifyOptions& options) {
  auto mapped = MappedFile::Open(PathFromUtf8(options.image));
  if (!mapped) return Fail(mapped.error());
  fs::VerifyReport report = fs::VerifyImage(mapped->bytes(), Quoted(options.image));
  if (!report.ok()) {
    for (const std::string& problem : report.problems) {
      std::cout << options.image << ": " << problem << '\n';
    }
    std::cout.flush();
    std::size_t count = report.problemCount;
    return Fail(Quoted(options.image) + ": " + std::to_string(count) +
                (count == 1 ? " problem" : " problems") + " found");
  }
  std::cout << options.image << ": ok (" << Count(report.directories, "directory", "directories")
            << ", " << Count(report.files, "file", "files") << ", "
            << Count(report.clusters, "cluster", "clusters") << ", " << mapped->bytes().size()
            << " bytes)\n";
  return 0;
}

}  // namespace

Command AddVerifyCommand(CLI::App& parent) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* app = parent.add_subcommand("verify", "Check a drive image against the format's rules");
  app->add_option("IMAGE", options->image, "Drive image (.kid)")->required();
  return {app, [options] { return RunVerify(*options); }};
}

}  // namespace kivo::cli
