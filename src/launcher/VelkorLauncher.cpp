#include "launcher/VelkorLauncher.h"

#include <epoxy/gl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "base/Error.h"
#include "base/vkd.h"
#include "demoSystem/DemoClock.h"
#include "demoSystem/FrameProfile.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demoSystem/VelkorMusic.h"
#include "demos/EffectList.h"
#include "launcher/DemoCheck.h"
#include "launcher/KeyControls.h"
#include "launcher/LaunchSettings.h"
#include "launcher/LauncherState.h"
#include "launcher/LiveReload.h"
#include "launcher/SettingsDialog.h"
#include "platform/Headless.h"
#include "platform/MessageBox.h"
#include "platform/Window.h"
#include "resources/ImagePrefetch.h"
#include "resources/Texture.h"

namespace {

// The sound track as the keys see it: with Music off nothing reaches the sound code at all.
class SoundtrackControls final : public MusicControls {
 public:
  void pause() override {
    if (musicEnabled) pauseMusic();
  }
  void play() override {
    if (musicEnabled) playMusic();
  }
  void setTime(uint32_t ms) override {
    if (musicEnabled) setMusicTime(ms);
  }
  void duck() override {
    if (musicEnabled) duckMusic();
  }
  void restoreVolume() override {
    if (musicEnabled) restoreMusicVolume();
  }
};

SoundtrackControls soundtrack;

void closeSoundAtExit() { closeSound(); }

}  // namespace

// [SECTION] Start-up steps

bool hasGlExtension(const char* name) {
  const std::string full = std::string("GL_") + name;
  return epoxy_has_gl_extension(full.c_str());
}

void queryGlCaps(ExtensionQuery has) {
  glCaps = GlCaps{};
  glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &glCaps.maxTextureUnits);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &glCaps.maxTextureSize);
  if (has("ARB_vertex_program"))
    glGetProgramivARB(GL_VERTEX_PROGRAM_ARB, GL_MAX_PROGRAM_INSTRUCTIONS_ARB,
                      &glCaps.maxVertexProgramInstructions);
  if (has("ARB_fragment_program"))
    glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_INSTRUCTIONS_ARB,
                      &glCaps.maxFragmentProgramInstructions);
  maxTextureSize = glCaps.maxTextureSize;
}

void checkExtensions(ExtensionQuery has) {
  // Render targets are framebuffer objects only, so the pbuffer and render-texture
  // window-system extensions are not asked for.
  static constexpr const char* kRequired[] = {
      "EXT_framebuffer_object", "ARB_multitexture", "ARB_depth_texture",
      "ARB_shadow",             "ARB_fragment_program", "ARB_vertex_program",
      "ARB_texture_compression",
  };
  for (const char* name : kRequired)
    if (!has(name)) reportErrorText(DE_HERE, "Extension not supported", name, true);
  if (glCaps.maxTextureUnits < 3) reportError(DE_HERE, "Minimum 3 texture units are required", true);
}

void chooseFloatTextureFormat(ExtensionQuery has) {
  floatTextureFormat = has("ARB_texture_float") ? GL_RGB16F_ARB : GL_FLOAT_RGB16_NV;
}

void drawLoadingScreen() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  Texture* picture = TextureManager::instance().getTexture(kLoadingPicture, "", GL_TEXTURE_2D, 0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // Without a picture texture object 0 is bound: incomplete, so the quad takes the current
  // colour.
  if (picture) picture->bind();
  else glBindTexture(GL_TEXTURE_2D, 0);
  glEnable(GL_TEXTURE_2D);
  // Picture rows run top to bottom: texture (0,0) is the top-left corner of the screen.
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(0.0f, 1.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(1.0f, 0.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(0.0f, 0.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

void showLoadingScreen(VelkorWindow& window) {
  drawLoadingScreen();
  window.swapBuffers();
}

void readPicturesAhead(const char* scriptPath) {
  std::vector<std::string> pictures = quotedNamesInScript(scriptPath);
  std::erase_if(pictures, [](const std::string& name) { return TextureManager::instance().useCount(name) > 0; });
  startImagePrefetch(pictures);
}

void loadDemo(const char* scriptPath, bool picturesReadAhead) {
  if (musicEnabled) pauseMusic();
  // Pictures the script names decode on the other cores while it is read; a reload asks
  // only for the ones not in the texture cache already.
  if (!picturesReadAhead) readPicturesAhead(scriptPath);
  loadScript(scriptPath);
  endImagePrefetch();
  if (musicEnabled && initSound()) {
    if (openMusic(kSoundtrack)) {
      setMusicTime(demoStartTime);
      playMusic();
    }
  }
  demoClock.setBaseOffset(demoStartTime);
  demoClock.restart();
}

// [SECTION] Main loop

MessageResult windowProc(VelkorWindow*, const platform::WindowMessage& message) {
  PlaybackContext context{demoClock, soundtrack, partTimes, playbackEndTime, platform::postQuit};
  return handleMessage(message, context);
}

LoopExit runFrames(VelkorWindow& window, const std::function<void(uint32_t)>& render,
                   const std::function<void(uint32_t)>& beforeSwap) {
  for (;;) {
    if (quitRequested) return LoopExit::Quit;
    const platform::WindowMessage message = platform::pollMessage();
    if (message.type == platform::MessageType::Quit) {
      quitRequested = true;
      continue;
    }
    if (message.type != platform::MessageType::None) window.dispatch(message);
    const uint32_t t = demoClock.now();
    render(t);
    if (beforeSwap) beforeSwap(t);
    window.swapBuffers();
    if (reloadRequested) {
      reloadRequested = false;
      return LoopExit::Reload;
    }
  }
}

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

  capturing_ = options_.capturing();
  ManualCounter frameCounter(options_.fps);
  if (capturing_) {
    // Frame i shows demo time start + i·1000/fps however long it takes to render, and the
    // sound is rendered offline for each frame's span instead of being played.
    demoClock.setCounter(&frameCounter);
    if (musicEnabled) setOfflineAudio(true);
  }

  if (!effectRegistry) effectRegistry = new EffectList;
  if (!eventList) eventList = new EventList;
  static bool exitHandlerRegistered = false;
  if (!exitHandlerRegistered) exitHandlerRegistered = std::atexit(closeSoundAtExit) == 0;

  if (options_.developing()) {
    runDevDemo(width, height);
  } else if (options_.viewing()) {
    runView(width, height);
  } else {
    runPlayback(width, height);
  }

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
  if (capturing_) {
    std::string error;
    const bool closed = capture_.close(&error);
    // A failed run ends with the line that says why, not with a summary.
    if (progress_) progress_->finish(closed && exitCode_ == 0);
    if (!closed) {
      std::fprintf(stderr, "demoengine: %s\n", error.c_str());
      exitCode_ = 1;
    }
    demoClock.setCounter(nullptr);
    // A --dev run that never loaded its demo never started the capture.
    if (exitCode_ == 0 && progress_)
      std::printf("demoengine: %lld frames of %dx%d written to %s\n",
                  static_cast<long long>(capture_.framesWritten()), width, height,
                  capture_.destination().c_str());
  }
}

void VelkorLauncher::runPlayback(int width, int height) {
  bool firstLoad = true;
  for (;;) {
    demoClock.clearSeek();
    loadDemo(kDemoScript, firstLoad);
    if (firstLoad && options_.startMs) {
      demoClock.setBaseOffset(*options_.startMs);
      demoClock.restart();
      if (musicEnabled) setMusicTime(*options_.startMs);
    }
    if (firstLoad && capturing_ && !startCapture(width, height)) quitRequested = true;
    firstLoad = false;
    inputEnabled = true;

    LoopExit exit;
    if (capturing_) {
      exit = runFrames(window_, [this](uint32_t t) { renderCapturedFrame(t); },
                       [this](uint32_t) { afterCapturedFrame(); });
    } else if (options_.headless || options_.endMs) {
      // Nobody can press Escape on a headless run: it ends after the frame that reached the
      // end.
      const uint32_t end = options_.endMs.value_or(playbackEndTime);
      exit = runFrames(window_, [end](uint32_t t) {
        renderFrame(t);
        if (t >= end) quitRequested = true;
      });
    } else {
      exit = runFrames(window_, [](uint32_t t) { renderFrame(t); });
    }
    if (exit == LoopExit::Quit) break;
  }
}

// [SECTION] Live reloading (--dev)

namespace {

// The music at demo time `t`, playing unless the viewer paused.
void musicAt(uint32_t t) {
  if (!musicEnabled || !initSound() || !openMusic(kSoundtrack)) return;
  setMusicTime(t);
  if (!paused) playMusic();
}

}  // namespace

void VelkorLauncher::runDevDemo(int width, int height) {
  LiveReload live(kDemoScript, kSoundtrack);
  // Escape and closing the window work while the first load waits for a fix.
  inputEnabled = true;
  bool restart = true;  // the next load that succeeds starts the demo (first load, Space)
  for (;;) {
    const uint32_t was = demoClock.now();
    if (musicEnabled) pauseMusic();
    const bool hadDemo = live.hasDemo();
    const bool loaded = live.reload();
    if (musicEnabled && live.soundtrackChanged()) closeSound();  // opened again from the new file
    if (loaded && (!hadDemo || restart)) {
      const uint32_t start = !hadDemo && options_.startMs ? *options_.startMs : demoStartTime;
      demoClock.clearSeek();
      demoClock.setBaseOffset(start);
      demoClock.restart();
      musicAt(start);
      if (!hadDemo && capturing_ && !startCapture(width, height)) quitRequested = true;
    } else if (hadDemo) {
      // The demo goes on at the moment it had, new or not; a capture's clock has not moved.
      if (!capturing_) {
        demoClock.clearSeek();
        demoClock.setTime(was);
      }
      musicAt(was);
    }

    bool changed = false;
    const uint32_t end = options_.endMs.value_or(playbackEndTime);
    auto render = [&](uint32_t t) {
      if (live.hasDemo()) {
        if (capturing_) renderCapturedFrame(t);
        else renderFrame(t);
        // Nobody can press Escape on a headless run: it ends after the frame that reached the end.
        if (!capturing_ && (options_.headless || options_.endMs) && t >= end) quitRequested = true;
      } else {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        live.waitForChanges(50);  // nothing moves until a file does
      }
      live.drawProblems(screenWidth, screenHeight);
      if (live.changesSettled()) {
        changed = true;
        reloadRequested = true;
      }
    };
    auto beforeSwap = [&](uint32_t) {
      if (capturing_ && live.hasDemo() && !quitRequested) afterCapturedFrame();
    };
    if (runFrames(window_, render, beforeSwap) == LoopExit::Quit) break;
    restart = !changed;  // Space starts the demo again, as it always does
  }
}

bool VelkorLauncher::startCapture(int width, int height) {
  captureStart_ = options_.startMs.value_or(demoStartTime);
  const uint32_t end = options_.endMs.value_or(playbackEndTime);
  captureFrames_ = captureFrameCount(captureStart_, end, options_.fps);
  captureIndex_ = 0;
  if (captureFrames_ == 0) {
    std::fprintf(stderr, "demoengine: nothing to capture: the end %u is before the start %u\n", end, captureStart_);
    exitCode_ = 2;
    return false;
  }
  std::string error;
  const bool ok = options_.recordFile.empty()
                      ? capture_.openDirectory(options_.captureDirectory, &error)
                      : capture_.openRecording(options_.recordFile, width, height, options_.fps, captureStart_,
                                               kSoundtrack, &error);
  if (!ok) {
    std::fprintf(stderr, "demoengine: %s\n", error.c_str());
    exitCode_ = 1;
  }
  if (ok) progress_ = std::make_unique<CaptureProgress>(captureFrames_);
  return ok;
}

void VelkorLauncher::renderCapturedFrame(uint32_t t) {
  if (musicEnabled) renderOfflineAudio(t, captureFrameTime(captureStart_, options_.fps, captureIndex_ + 1));
  renderFrame(t);
}

void VelkorLauncher::afterCapturedFrame() {
  std::string error;
  if (!capture_.writeFrame(screenWidth, screenHeight, &error)) {
    if (!error.empty()) std::fprintf(stderr, "demoengine: %s\n", error.c_str());
    exitCode_ = 1;
    quitRequested = true;
    return;
  }
  if (progress_) progress_->frameDone(captureFrameTime(captureStart_, options_.fps, captureIndex_));
  ++captureIndex_;
  static_cast<ManualCounter&>(demoClock.counter()).advance(1);
  if (captureIndex_ >= captureFrames_) quitRequested = true;
}

int launcherMain(int argc, const char* const* argv) {
  CommandLineOptions options;
  const CommandLineResult parsed = parseCommandLine(argc, argv, &options, std::cout, std::cerr);
  if (!parsed.run) return parsed.exitCode;
  if (options.headless) platform::useHeadlessVideo();
  // Output paths are the caller's, not the data directory's.
  if (!options.captureDirectory.empty())
    options.captureDirectory = std::filesystem::absolute(options.captureDirectory).string();
  if (!options.recordFile.empty()) options.recordFile = std::filesystem::absolute(options.recordFile).string();
  if (!options.profileFile.empty()) options.profileFile = std::filesystem::absolute(options.profileFile).string();
  if (options.viewing()) options.viewFile = std::filesystem::absolute(options.viewFile).string();
  if (!options.dataDirectory.empty() && chdir(options.dataDirectory.c_str()) != 0) {
    std::fprintf(stderr, "demoengine: --data %s: %s\n", options.dataDirectory.c_str(), std::strerror(errno));
    return 2;
  }
  if (options.check) return checkDemo(options);
  ViewedScene view;
  if (options.viewing()) {
    // A view has no soundtrack.
    options.noMusic = true;
    if (!prepareView(options.viewFile, view)) return 1;
    if (!view.workingDirectory.empty() && chdir(view.workingDirectory.c_str()) != 0) {
      std::fprintf(stderr, "demoengine: --view: %s: %s\n", view.workingDirectory.c_str(), std::strerror(errno));
      return 1;
    }
  }
  if (options.developing() && chdir(options.devDirectory.c_str()) != 0) {
    std::fprintf(stderr, "demoengine: --dev %s: %s\n", options.devDirectory.c_str(), std::strerror(errno));
    return 2;
  }
  if (options.showDialog() && (options.width || options.fullscreen || options.fsaa || options.noMusic))
    std::fprintf(stderr, "demoengine: the settings dialog decides the display and music; "
                         "--resolution, --fullscreen, --fsaa and --no-music apply with --no-dialog\n");
  statsOverlay = options.overlay;
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
