#include "launcher/VelkorLauncher.h"

#include <epoxy/gl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "archive/vkd.h"
#include "base/Error.h"
#include "demoSystem/FrameProfile.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demoSystem/VelkorMusic.h"
#include "demos/EffectList.h"
#include "launcher/CaptureMode.h"
#include "launcher/DemoCheck.h"
#include "launcher/DemoStartup.h"
#include "launcher/DevMode.h"
#include "launcher/FrameLoop.h"
#include "launcher/LaunchSettings.h"
#include "launcher/LauncherState.h"
#include "launcher/PlayMode.h"
#include "launcher/RunMode.h"
#include "launcher/SampleDemoFallback.h"
#include "launcher/SettingsDialog.h"
#include "launcher/SyncLink.h"
#include "launcher/TypeReference.h"
#include "launcher/ViewMode.h"
#include "platform/Files.h"
#include "platform/Headless.h"
#include "platform/MessageBox.h"
#include "platform/Window.h"

// [SECTION] The ways the program runs
//
// Each is a file of its own. --check reads the demo without a window (DemoCheck.cpp). Every
// other run opens the demo window through InitInstance and runDemo below (the settings or
// the dialog, the window, the driver checks, the data, the loading picture, and a capture
// when --capture or --record asks for one) and then plays the first of these modes whose
// condition holds.

namespace {

struct WindowMode {
  const char* name;
  bool (*chosen)(const CommandLineOptions& options);
  void (*run)(RunContext& run);
};

constexpr WindowMode kWindowModes[] = {
    // ViewMode.cpp: one scene file or model, without a script of the demo maker's.
    {"view", [](const CommandLineOptions& o) { return o.viewing(); }, runViewMode},
    // DevMode.cpp: the unpacked tree being made, reloaded in place when a file changes.
    {"dev", [](const CommandLineOptions& o) { return o.developing(); }, runDevMode},
    // PlayMode.cpp: the packed demo, reloaded and started again on Space.
    {"play", [](const CommandLineOptions&) { return true; }, runPlayMode},
};

const WindowMode& windowModeFor(const CommandLineOptions& options) {
  for (const WindowMode& mode : kWindowModes)
    if (mode.chosen(options)) return mode;
  return kWindowModes[std::size(kWindowModes) - 1];
}

void closeSoundAtExit() { closeSound(); }

}  // namespace

// [SECTION] The program

VelkorLauncher::VelkorLauncher(const CommandLineOptions& options) : options_(options) {}

bool VelkorLauncher::InitInstance() {
  // Video stays up for the whole run, so the probe, the dialog and the demo window share one
  // connection to the display.
  if (!platform::startVideo()) {
    std::fprintf(stderr, "demoengine: no display available (%s); --headless renders without one\n",
                 platform::lastError());
    exitCode_ = 1;
    return false;
  }
  platform::setDisplayAvailable(!options_.headless && platform::videoDriverHasScreen());
  platform::ignorePointerMotion();

  screenWidth = 640;
  screenHeight = 480;
  // The probe's multisample tables serve the dialog's FSAA list and an FSAA mode asked for
  // on the command line; without either, the demo window checks the driver itself and the
  // probe's four software contexts would only delay the first frame.
  if (options_.showDialog() || options_.fsaa.value_or(0) != 0) {
    VelkorWindow probe;
    probe.createProbe(640, 480, 32, windowProc);
  }

  LaunchSettings settings;
  if (options_.showDialog()) {
    SettingsDialog dialog;
    dialog.initDialog(fsaaSupported);
    if (dialog.doModal() != DialogResult::Launch) {
      platform::stopVideo();
      return false;
    }
    settings = settingsFromDialog(dialog.resolutionText(), dialog.fsaaText(), dialog.fullscreen, dialog.music);
  } else {
    settings.width = options_.width.value_or(800);
    settings.height = options_.height.value_or(600);
    settings.fsaa = options_.fsaa.value_or(0);
    settings.fullscreen = options_.fullscreen;
    settings.music = !options_.noMusic;
  }

  runDemo(settings.height, settings.width, settings.music, settings.fullscreen, settings.fsaa);
  platform::stopVideo();
  return false;
}

void VelkorLauncher::runDemo(int height, int width, bool music, bool fullscreen, int fsaa) {
  // Whatever the dialog left in the queue.
  (void)platform::pollMessage();

  musicEnabled = music;
  screenWidth = width;
  screenHeight = height;
  fullscreenRequested = fullscreen;

  if (!window_.create(kDemoWindowTitle, width, height, 32, fullscreenRequested, windowProc, fsaa, nullptr))
    reportError(DE_HERE, "Window creation failed", true);
  if (!extensionsLoaded) {
    if (epoxy_gl_version() == 0) reportError(DE_HERE, "Could not init GLee", true);
    extensionsLoaded = true;
  }
  queryGlCaps();
  checkExtensions();
  chooseFloatTextureFormat();
  if (fsaa != 0 && hasGlExtension("ARB_multisample")) glDisable(GL_MULTISAMPLE_ARB);
  if (fullscreenRequested) platform::showCursor(false);

  // While a demo is being made it is read from its unpacked tree, names matched the way the
  // archive will match them.
  if (options_.developing() || options_.viewing()) setDiskNamesLikeArchive(true);
  else openArchive(kArchiveName, kArchivePassword);
  // The first load's pictures start decoding while the loading picture is being shown.
  if (!options_.viewing()) {
    readPicturesAhead(kDemoScript);
    showLoadingScreen(window_);
  }

  std::optional<CaptureSession> capture;
  if (options_.capturing()) capture.emplace(options_);

  if (!effectRegistry) effectRegistry = new EffectList;
  if (!eventList) eventList = new EventList;
  static bool exitHandlerRegistered = false;
  if (!exitHandlerRegistered) exitHandlerRegistered = std::atexit(closeSoundAtExit) == 0;

  // --sync: the editor's session lives for the whole run, across reloads.
  std::unique_ptr<SyncLink> sync;
  if (options_.sync) sync = std::make_unique<SyncLink>(options_);
  setActiveSyncLink(sync.get());

  RunContext run{options_, window_, width, height, capture ? &*capture : nullptr, &view_};
  windowModeFor(options_).run(run);
  exitCode_ = run.exitCode;
  setActiveSyncLink(nullptr);

  // The last frames are still being read back, in the context that drew them.
  if (capture) capture->finishReading();
  window_.destroy();
  platform::showCursor(true);
  // The event list and the registry's storage go; the effects themselves stay, as their GL
  // objects went with the context.
  delete eventList;
  eventList = nullptr;
  if (effectRegistry) {
    effectRegistry->releaseWithoutDestroying();
    delete effectRegistry;
    effectRegistry = nullptr;
  }
  if (capture) capture->finish(width, height, &exitCode_);
}

int launcherMain(int argc, const char* const* argv) {
  CommandLineOptions options;
  const CommandLineResult parsed = parseCommandLine(argc, argv, &options, std::cout, std::cerr);
  if (!parsed.run) return parsed.exitCode;
  if (options.headless) platform::useHeadlessVideo();
  // Output paths are the caller's, not the data directory's (names in UTF-8 throughout).
  auto absolute = [](std::string& name) {
    name = platform::utf8FromPath(std::filesystem::absolute(platform::pathFromUtf8(name)));
  };
  // The null device stays as named: made absolute, Windows turns "/dev/null" into a folder
  // on the current drive and "NUL" into a file name.
  if (!options.captureDirectory.empty() && !platform::isNullDevice(options.captureDirectory))
    absolute(options.captureDirectory);
  if (!options.recordFile.empty()) absolute(options.recordFile);
  if (!options.profileFile.empty()) absolute(options.profileFile);
  if (options.viewing()) absolute(options.viewFile);
  if (options.sync) options.syncOut = syncSaveDirectory(options);
  syncRowMs = options.syncRowMs;
  syncTracks().setPatterns(options.syncTracks);
  std::string why;
  if (!options.dataDirectory.empty() && !platform::setCurrentFolder(options.dataDirectory, &why)) {
    std::fprintf(stderr, "demoengine: --data %s: %s\n", options.dataDirectory.c_str(), why.c_str());
    return 2;
  }
  if (options.check) return checkDemo(options);  // DemoCheck.cpp: no window, no frames
  ViewedScene view;
  if (options.viewing()) {
    // A view has no soundtrack.
    options.noMusic = true;
    if (!prepareView(options.viewFile, view)) return 1;
    if (!view.workingDirectory.empty() && !platform::setCurrentFolder(view.workingDirectory, &why)) {
      std::fprintf(stderr, "demoengine: --view: %s: %s\n", view.workingDirectory.c_str(), why.c_str());
      return 1;
    }
  }
  std::error_code noDirectory;
  if (const auto sample = sampleDemoFallback(options, std::filesystem::current_path(noDirectory),
                                             runningExecutable(), kArchiveName)) {
    if (!platform::setCurrentFolder(platform::utf8FromPath(*sample), &why)) {
      std::fprintf(stderr, "demoengine: the sample demo %s: %s\n", platform::utf8FromPath(*sample).c_str(), why.c_str());
      return 1;
    }
    std::fprintf(stderr, "demoengine: no %s here; playing the sample demo in %s\n", kArchiveName,
                 platform::utf8FromPath(*sample).c_str());
  }
  if (options.types) return printEffectTypes(options);  // TypeReference.cpp: no window, no frames
  if (options.developing() && !platform::setCurrentFolder(options.devDirectory, &why)) {
    std::fprintf(stderr, "demoengine: --dev %s: %s\n", options.devDirectory.c_str(), why.c_str());
    return 2;
  }
  if (options.showDialog() && (options.width || options.fullscreen || options.fsaa || options.noMusic))
    std::fprintf(stderr, "demoengine: the settings dialog decides the display and music; "
                         "--resolution, --fullscreen, --fsaa and --no-music apply with --no-dialog\n");
  statsOverlay = options.overlay;
  timelineShown = options.timeline;
  // The profile file is opened before anything else starts, so a path that cannot be
  // written costs no window and no load.
  FrameProfile profile;
  if (!options.profileFile.empty()) {
    std::string error;
    if (!profile.open(options.profileFile, &error)) {
      std::fprintf(stderr, "demoengine: %s\n", error.c_str());
      return 2;
    }
    frameProfile = &profile;
  }
  VelkorLauncher launcher(options);
  launcher.setView(view);
  launcher.InitInstance();
  int exitCode = launcher.exitCode();
  if (frameProfile) {
    frameProfile = nullptr;
    std::string error;
    if (!profile.close(&error)) {
      std::fprintf(stderr, "demoengine: %s\n", error.c_str());
      if (exitCode == 0) exitCode = 1;
    } else {
      std::printf("demoengine: %lld frames profiled into %s\n", static_cast<long long>(profile.framesWritten()),
                  options.profileFile.c_str());
    }
  }
  return exitCode;
}
