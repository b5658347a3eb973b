#include "launcher/SampleDemoFallback.h"

#include "launcher/CommandLine.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

fs::path installedSampleDemo(const fs::path& executable) {
  // DE_SAMPLE_DEMO_FROM_BIN comes from the install layout (cmake/Install.cmake).
  return (executable.parent_path() / DE_SAMPLE_DEMO_FROM_BIN).lexically_normal();
}

std::optional<fs::path> sampleDemoFallback(const CommandLineOptions& options, const fs::path& workingDirectory,
                                           const fs::path& executable, const char* archiveName) {
  if (!options.dataDirectory.empty() || options.developing() || options.check || options.viewing()) return std::nullopt;
  if (workingDirectory.empty() || executable.empty()) return std::nullopt;
  std::error_code error;
  // Anything by that name, or a name that cannot be looked at, counts as the user's demo: a
  // broken one is reported, not replaced.
  if (fs::symlink_status(workingDirectory / archiveName, error).type() != fs::file_type::not_found)
    return std::nullopt;
  const fs::path sample = installedSampleDemo(executable);
  if (!fs::is_regular_file(sample / archiveName, error)) return std::nullopt;
  return sample;
}

fs::path runningExecutable() { return platform::programFile(); }
