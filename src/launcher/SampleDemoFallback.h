#pragma once
// The installed player carries a sample demo beside it (share/demoengine/sample, seen from
// the folder of the program). Started where there is no demo, it plays that one instead of
// stopping at the missing archive. A player run from the build tree has nothing beside it
// and behaves as before.

#include <filesystem>
#include <optional>

struct CommandLineOptions;

// Where the sample demo of the player at `executable` lies:
// "/usr/bin/demoengine" -> "/usr/share/demoengine/sample".
std::filesystem::path installedSampleDemo(const std::filesystem::path& executable);

// The directory to play instead of `workingDirectory`, or nothing. Only a run that plays
// the working directory's demo is redirected (not --data, --dev, --check or --view), only when that
// directory holds no `archiveName`, and only to a sample demo that holds one.
std::optional<std::filesystem::path> sampleDemoFallback(const CommandLineOptions& options,
                                                        const std::filesystem::path& workingDirectory,
                                                        const std::filesystem::path& executable,
                                                        const char* archiveName);

// The file of the running program, or an empty path when the system does not say.
std::filesystem::path runningExecutable();
