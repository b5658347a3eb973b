#pragma once
// Command-line options. Without any, the program starts the way a viewer expects: the
// settings dialog, then the demo window. The options come on top, for scripted runs and
// machines without a screen; they never change what the dialog path does.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct CommandLineOptions {
  bool noDialog = false;
  std::optional<int> width;  // --resolution WxH
  std::optional<int> height;
  bool fullscreen = false;
  std::optional<int> fsaa;
  bool noMusic = false;
  std::string dataDirectory;  // --data: the working directory holding data.vkd
  bool headless = false;
  std::optional<uint32_t> startMs;
  std::string captureDirectory;
  int fps = 60;
  std::optional<uint32_t> endMs;
  std::string recordFile;
  bool overlay = false;  // --overlay: start with the statistics overlay (F2) on
  std::string profileFile;  // --profile: per-frame times of every effect into this CSV file
  // Authoring: --dev DIR plays the unpacked tree DIR and reloads what changes; --check [DIR]
  // reads the demo without playing it and lists its problems.
  std::string devDirectory;
  bool check = false;
  std::string checkDirectory;  // empty: the working directory (or --data)
  // --types [NAME]: the effect types (one line each) or one type in full; with --markdown the
  // whole reference as docs/effect-types.md holds it.
  bool types = false;
  std::string typeName;
  bool markdown = false;
  // --timeline: start --dev with the timeline view (F3) on, also in captures.
  bool timeline = false;
  // --view FILE: a scene file or a model, played without a script.
  std::string viewFile;

  // Live sync with a tracker editor: --sync [HOST:PORT] connects to it; --sync-row MS sets
  // the row length (0: the script's DEMO_BEAT), --sync-track asks for more tracks,
  // --sync-out says where the editor's save writes the track files.
  bool sync = false;
  std::string syncHost = "localhost";
  uint16_t syncPort = 1338;
  uint32_t syncRowMs = 0;
  std::vector<std::string> syncTracks;
  std::string syncOut;

  bool capturing() const { return !captureDirectory.empty() || !recordFile.empty(); }
  bool developing() const { return !devDirectory.empty(); }
  bool viewing() const { return !viewFile.empty(); }
  // Nobody can answer a dialog headless or while frames are captured; a demo maker
  // reloading for the hundredth time does not want one either.
  bool showDialog() const { return !noDialog && !headless && !capturing() && !developing() && !check && !viewing(); }
};

struct CommandLineResult {
  bool run = false;   // false: end now with exitCode (help shown, or a bad value)
  int exitCode = 0;
};

// Parses argv into *options. Help goes to `out`; a bad value gets one clear line (and a
// pointer to --help) on `err` and exit code 2.
CommandLineResult parseCommandLine(int argc, const char* const* argv, CommandLineOptions* options,
                                   std::ostream& out, std::ostream& err);
