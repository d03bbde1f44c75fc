// kivofs build: packs a directory tree into a drive image.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <system_error>
#include <vector>

#include "base/Host.h"
#include "cli/Commands.h"
#include "fsimage/Builder.h"
#include "fsimage/DepFile.h"

namespace kivo::cli {
namespace {

struct BuildOptions {
  std::string source;
  std::string output;
  std::string depfile;
  std::string depfileTarget;
  std::string depfileLinks;
  std::string name = std::string(fs::DefaultDriveName);
  bool hostOrder = false;
  std::vector<std::string> excludes;
  bool dryRun = false;
  bool quiet = false;
  bool trace = false;
  bool allowEmpty = false;
  bool failOnWarning = false;
};

// What the build reads: the source root, and every directory and file that the scan
// recorded, with names that build tools misread reached through links if asked.
Result<std::vector<std::string>> ReadPaths(const BuildOptions& options,
                                           const std::vector<fs::ScanRecord>& records) {
  // Make reads "name(member)" as a member of an archive; a directory is the same file
  // as its "." entry, so "Level (1)/." names it without that reading.
  auto directory = [](const std::string& path) {
    return path.ends_with(')') ? path + "/." : path;
  };
  std::vector<std::string> read{directory(options.source)};
  for (const fs::ScanRecord& record : records) {
    read.push_back(record.isDirectory ? directory(record.fullPath) : record.fullPath);
  }
  if (options.depfileLinks.empty()) return read;
  const std::filesystem::path linkDir = PathFromUtf8(options.depfileLinks);
  if (!options.dryRun) return LinkUnplainPaths(read, linkDir);
  for (std::string& path : read) {
    if (!PlainForBuildTools(path)) path = LinkPathFor(path, linkDir);
  }
  return read;
}

// The dependency file, written beside its target before the build and committed only after
// it; with --dry-run only checked. Nothing (no file) when it is only checked.
Result<std::optional<OutputFile>> PrepareBuildDepFile(const BuildOptions& options,
                                                      const std::vector<fs::ScanRecord>& records) {
  auto read = ReadPaths(options, records);
  KIVO_TRY(read);
  const std::string& target =
      options.depfileTarget.empty() ? options.output : options.depfileTarget;
  if (options.dryRun) {
    if (auto text = FormatDepFile(target, *read); !text) {
      return MakeError(text.error().kind, "cannot write the dependency file " +
                                              Quoted(options.depfile) + ": " +
                                              text.error().message);
    }
    return std::optional<OutputFile>();
  }
  auto prepared = PrepareDepFile(PathFromUtf8(options.depfile), target, *read);
  KIVO_TRY(prepared);
  return std::optional<OutputFile>(std::move(*prepared));
}

// Whether `path` lies inside the folder `folder`, compared as the host resolves them.
bool LiesInside(const std::string& path, const std::string& folder) {
  std::error_code ignored;
  std::filesystem::path inner = std::filesystem::weakly_canonical(PathFromUtf8(path), ignored);
  std::filesystem::path outer = std::filesystem::weakly_canonical(PathFromUtf8(folder), ignored);
  if (inner.empty() || outer.empty()) return false;
  auto [end, rest] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return end == outer.end() && rest != inner.end();
}

// The outputs of the build, which the scan leaves out; each one inside the source is named once.
std::vector<std::filesystem::path> OwnOutputs(const BuildOptions& options) {
  std::vector<std::filesystem::path> outputs;
  for (const std::string* output : {&options.output, &options.depfile}) {
    if (output->empty()) continue;
    outputs.push_back(PathFromUtf8(*output));
    if (!options.dryRun && LiesInside(*output, options.source)) {
      Warn(Quoted(*output) + " lies inside the source " + Quoted(options.source) +
           "; it is left out of the image");
    }
  }
  return outputs;
}

// Reproducible builds: one fixed instant, in UTC, for every entry; the host's clock without it.
Status SetSourceDateEpoch(fs::BuilderOptions& builderOptions) {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch == nullptr || *epoch == '\0') return {};
  long long seconds = 0;
  std::string_view text(epoch);
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || seconds < 0) {
    return MakeError(ErrorKind::Invalid,
                     "SOURCE_DATE_EPOCH is not a number of seconds: '" + std::string(text) + "'");
  }
  std::optional<std::tm> utc = UtcTime(static_cast<std::time_t>(seconds));
  if (!utc) {
    return MakeError(ErrorKind::Invalid,
                     "SOURCE_DATE_EPOCH is out of range: '" + std::string(text) + "'");
  }
  builderOptions.clock = [utc = *utc] { return utc; };
  return {};
}

Result<fs::BuilderOptions> MakeBuilderOptions(const BuildOptions& options) {
  fs::BuilderOptions builderOptions;
  builderOptions.trace = options.trace;
  builderOptions.sortByName = !options.hostOrder;
  builderOptions.excludes = options.excludes;
  builderOptions.driveName = options.name;
  builderOptions.warn = [](const std::string& warning) { Warn(warning); };
  builderOptions.ownOutputs = OwnOutputs(options);
  builderOptions.allowEmpty = options.allowEmpty;
  WarnIfNameTruncated(options.name);
  KIVO_TRY(SetSourceDateEpoch(builderOptions));
  return builderOptions;
}

int RunBuild(const BuildOptions& options) {
  auto builderOptions = MakeBuilderOptions(options);
  if (!builderOptions) return Fail(builderOptions.error());
  // With --fail-on-warning nothing replaces its target until the warnings are counted.
  std::optional<HeldCommits> held;
  if (options.failOnWarning) held.emplace();
  std::ostream silent(nullptr);
  std::ostream& diagnostics = options.quiet ? silent : std::cout;
  fs::DriveBuilder builder(diagnostics, *builderOptions);
  builder.ScanTree(options.source);

  std::optional<OutputFile> depfile;
  if (!options.depfile.empty()) {
    auto prepared = PrepareBuildDepFile(options, builder.records());
    if (!prepared) return Fail(prepared.error());
    depfile = std::move(*prepared);
  }
  fs::BuildResult result =
      options.dryRun ? builder.CheckImage() : builder.BuildImage(options.output);
  std::cout.flush();
  if (!result.ok()) {
    for (const Error& problem : result.problems) Fail(problem);
    if (result.outcome == fs::BuildOutcome::SourceError) Fail(NothingWrittenTo(options.output));
    return 1;
  }
  if (depfile) {
    if (int failed = ExitCode(depfile->Commit()); failed != 0) return failed;
  }
  return CommitHeld(held, options.output);
}

CLI::App* DeclareBuild(CLI::App& parent, BuildOptions& options) {
  CLI::App* app = parent.add_subcommand("build", "Pack a directory tree into a drive image");
  app->add_option("SRC", options.source, "Source directory")->required();
  app->add_option("-o,--output", options.output, "Drive image to write (.kid)")->required();
  app->add_option("--depfile", options.depfile,
                  "Also write a make dependency file listing every directory and file read")
      ->type_name("FILE");
  app->add_option("--depfile-target", options.depfileTarget,
                  "The target that the dependency file names (default: the output)")
      ->type_name("NAME");
  app->add_option("--depfile-links", options.depfileLinks,
                  "In the dependency file, reach paths that CMake or Ninja would misread through "
                  "symbolic links made in DIR")
      ->type_name("DIR");
  app->add_option("--name", options.name, "Drive name to store (at most 15 characters)");
  app->add_flag("--host-order", options.hostOrder,
                "Keep the host's listing order instead of sorting each directory by name");
  app->add_option("--exclude", options.excludes, "Skip items whose name matches GLOB (repeatable)")
      ->type_name("GLOB")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app->add_flag("--dry-run", options.dryRun, "Run every check and print the layout; write nothing");
  app->add_flag("-q,--quiet", options.quiet, "Print nothing on standard output");
  app->add_flag("--trace", options.trace, "Also print the placement lines");
  app->add_flag("--allow-empty", options.allowEmpty,
                "Make an image with an empty root when the source folder holds nothing to pack");
  AddFailOnWarningAndSyncFlags(*app, options.failOnWarning);
  return app;
}

}  // namespace

Command AddBuildCommand(CLI::App& parent) { return MakeCommand(parent, DeclareBuild, RunBuild); }

}  // namespace kivo::cli
