#include "launcher/CommandLine.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <ostream>
#include <regex>

#include "demoSystem/SyncEditor.h"
#include "version/Version.h"

namespace {

constexpr int kBadUsageExitCode = 2;
constexpr int kLargestSide = 16384;

// "WxH" with both sides between 1 and 16384; empty text means the value is fine.
std::string parseResolution(const std::string& text, int* width, int* height) {
  static const std::regex pattern(R"(([0-9]{1,5})[xX]([0-9]{1,5}))");
  std::smatch match;
  if (!std::regex_match(text, match, pattern)) return "expected WIDTHxHEIGHT, e.g. 1024x768";
  const int w = std::stoi(match[1].str());
  const int h = std::stoi(match[2].str());
  if (w < 1 || h < 1 || w > kLargestSide || h > kLargestSide)
    return "each side must be between 1 and " + std::to_string(kLargestSide);
  *width = w;
  *height = h;
  return {};
}

}  // namespace

CommandLineResult parseCommandLine(int argc, const char* const* argv, CommandLineOptions* options,
                                   std::ostream& out, std::ostream& err) {
  CLI::App app{"Plays the demo in the working directory: data.vkd (script and assets) and "
               "soundtrack.ogg (music). Without options the settings dialog comes first.",
               "demoengine"};
  std::string resolution;
  int fsaa = 0;
  int64_t start = 0;
  int64_t end = 0;

  app.add_flag("--no-dialog", options->noDialog, "Start at once with the options below instead of the settings dialog");
  auto* resolutionOption = app.add_option("--resolution", resolution, "Window size WIDTHxHEIGHT (default 800x600)");
  app.add_flag("--fullscreen", options->fullscreen, "Fullscreen at the chosen resolution");
  auto* fsaaOption = app.add_option("--fsaa", fsaa, "Anti-aliasing samples: 0, 2, 4, 6 or 8 (default 0)")
                         ->check(CLI::NonNegativeNumber);
  app.add_flag("--no-music", options->noMusic, "Play without sound");
  app.add_option("--data", options->dataDirectory, "Directory holding data.vkd and soundtrack.ogg (default: the current directory)")
      ->check(CLI::ExistingDirectory);
  app.add_flag("--headless", options->headless, "No screen: render offscreen (implies --no-dialog)");
  auto* startOption = app.add_option("--start", start, "Demo time to start at, in milliseconds (default: the demo's start)")
                          ->check(CLI::Range(int64_t{0}, int64_t{INT32_MAX}));
  app.add_option("--capture", options->captureDirectory, "Write every frame as DIR/frame_000000.png, ... and exit");
  app.add_option("--fps", options->fps, "Frames per second of demo time for --capture and --record (default 60)")
      ->check(CLI::Range(1, 1000));
  auto* endOption = app.add_option("--end", end, "Last demo time to capture or to play (default: the demo's end when capturing or headless)")
                        ->check(CLI::Range(int64_t{0}, int64_t{INT32_MAX}));
  app.add_option("--record", options->recordFile, "Encode the frames with the soundtrack into a video FILE through ffmpeg, and exit");
  app.add_flag("--overlay", options->overlay, "Start with the statistics overlay on, as if F2 had been pressed (also in captures)");
  app.add_option("--profile", options->profileFile,
                 "Write the time every frame and every effect in it took (update and render) to the CSV FILE; "
                 "scripts/profile plots it");
  app.add_option("--dev", options->devDirectory,
                 "Play the unpacked demo in DIR (data/... beside soundtrack.ogg) and reload it, keeping the time, "
                 "whenever a file it read changes; problems are shown instead of ending the program")
      ->check(CLI::ExistingDirectory);
  app.add_option("--view", options->viewFile,
                 "Play FILE without a script: a scene (.vkg) or any model the asset importer reads (glTF, OBJ, FBX, "
                 "COLLADA, 3DS, ...), converted on the fly; its animation loops, its first camera looks")
      ->check(CLI::ExistingFile);
  auto* checkOption = app.add_option("--check", options->checkDirectory,
                                     "Read the demo without playing it (the unpacked tree DIR, else the archive in the "
                                     "working directory) and list every problem as file:line: message; exit code 1 "
                                     "if there is any")
                          ->expected(0, 1);

  auto* typesOption = app.add_option("--types", options->typeName,
                                     "List every effect type a script can insert, or with NAME (any letter case) that "
                                     "type in full: its variables, the events it answers and its set-up strings; exit")
                          ->expected(0, 1);
  app.add_flag("--markdown", options->markdown, "With --types, print the whole effect-type reference as Markdown");
  app.add_flag("--timeline", options->timeline,
               "With --dev, start with the timeline view on, as if F3 had been pressed (also in captures)");
  app.set_version_flag("--version", versionText("demoengine"), "Print the version and exit");
  std::string syncAddress;
  auto* syncOption = app.add_option("--sync", syncAddress,
                                    "Connect to a sync tracker editor at HOST:PORT (default localhost:1338): one track "
                                    "per keyed variable, keyed live; see the README")
                         ->expected(0, 1);
  int64_t syncRow = 0;
  auto* syncRowOption = app.add_option("--sync-row", syncRow, "Milliseconds per sync row (default: the script's DEMO_BEAT)")
                            ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}));
  app.add_option("--sync-track", options->syncTracks,
                 "With --sync, also ask for the track INSTANCE:Variable, or INSTANCE:* for every variable of the "
                 "instance (repeatable)");
  app.add_option("--sync-out", options->syncOut,
                 "With --sync, where the editor's save writes the track files (default: data/sync of the --dev tree, "
                 "else of the working directory)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {false, 0};
  } catch (const CLI::CallForVersion& version) {
    out << version.what() << "\n";
    return {false, 0};
  } catch (const CLI::ParseError& e) {
    err << "demoengine: " << e.what() << "\nRun 'demoengine --help' for the options.\n";
    return {false, kBadUsageExitCode};
  }

  auto fail = [&](const std::string& text) {
    err << "demoengine: " << text << "\nRun 'demoengine --help' for the options.\n";
    return CommandLineResult{false, kBadUsageExitCode};
  };
  if (resolutionOption->count() > 0) {
    int width = 0, height = 0;
    const std::string problem = parseResolution(resolution, &width, &height);
    if (!problem.empty()) return fail("--resolution: " + resolution + ": " + problem);
    options->width = width;
    options->height = height;
  }
  if (fsaaOption->count() > 0) options->fsaa = fsaa;
  if (startOption->count() > 0) options->startMs = static_cast<uint32_t>(start);
  if (endOption->count() > 0) options->endMs = static_cast<uint32_t>(end);
  if (options->startMs && options->endMs && *options->endMs < *options->startMs)
    return fail("--end " + std::to_string(*options->endMs) + " is before --start " +
                std::to_string(*options->startMs));
  if (!options->captureDirectory.empty() && !options->recordFile.empty())
    return fail("--capture and --record cannot be combined");
  options->types = typesOption->count() > 0;
  if (options->markdown && !options->types) return fail("--markdown goes with --types");
  if (options->timeline && options->devDirectory.empty()) return fail("--timeline is a view of --dev: give --dev DIR");
  options->check = checkOption->count() > 0;
  if (options->check && (options->developing() || options->capturing() || !options->profileFile.empty()))
    return fail("--check reads the demo without playing it: it does not go with --dev, --capture, --record or "
                "--profile");
  if (options->check && !options->checkDirectory.empty() && !options->dataDirectory.empty())
    return fail("--check DIR and --data both name the demo's directory: give one");
  if (options->viewing() && (options->developing() || options->check || !options->recordFile.empty()))
    return fail("--view plays one file without a demo: it does not go with --dev, --check or --record (--capture "
                "writes its frames)");
  if (options->developing() && !options->dataDirectory.empty())
    return fail("--dev DIR names the demo's directory already: leave out --data");
  options->sync = syncOption->count() > 0;
  if (options->sync && !parseSyncAddress(syncAddress, &options->syncHost, &options->syncPort))
    return fail("--sync " + syncAddress + ": expected HOST:PORT with a port from 1 to 65535, e.g. localhost:1338");
  if (syncRowOption->count() > 0) options->syncRowMs = static_cast<uint32_t>(syncRow);
  if (!options->sync && (!options->syncTracks.empty() || !options->syncOut.empty()))
    return fail("--sync-track and --sync-out go with --sync");
  if (options->check && options->sync) return fail("--check reads the demo without playing it: it does not go with --sync");
  return {true, 0};
}
