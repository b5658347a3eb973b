#pragma once
// The program: probe the driver, ask for the display settings, open the demo window, check
// the GL driver, open the archive, show the loading picture, load the script and the music,
// then render frames at the demo clock's time until the viewer quits.

#include <cstdint>
#include <functional>
#include <memory>

#include "base/VelkorWindow.h"
#include "launcher/CaptureProgress.h"
#include "launcher/CommandLine.h"
#include "launcher/FrameCapture.h"
#include "launcher/ViewMode.h"
#include "platform/Events.h"

// Fixed names the program works with.
constexpr const char* kDemoWindowTitle = "Drellwick - Ombra";
constexpr const char* kArchiveName = "data.vkd";
constexpr const char* kArchivePassword = "lynxa42";
constexpr const char* kLoadingPicture = "data/images/loading1024.jpg";
constexpr const char* kDemoScript = "data/scripts/demo_kx06.script";
constexpr const char* kSoundtrack = "soundtrack.ogg";

class VelkorLauncher {
 public:
  explicit VelkorLauncher(const CommandLineOptions& options = {});
  // --view: what prepareView found (before the window).
  void setView(const ViewedScene& view) { view_ = view; }

  // Runs the whole program; false when it is over (always), as an application object's
  // start-up does when the program ends with it.
  bool InitInstance();

  // Everything from the demo window to quit.
  void runDemo(int height, int width, bool music, bool fullscreen, int fsaa);

  // 0 after a normal quit or a finished capture; otherwise the code the process ends with.
  int exitCode() const { return exitCode_; }

 private:
  // The frames of a plain run, reloading on Space.
  void runPlayback(int width, int height);
  // --dev: the frames of the demo being made, reloaded when its files change.
  void runDevDemo(int width, int height);
  // --view: the scene or model without a script (ViewMode.cpp).
  void runView(int width, int height);
  bool startCapture(int width, int height);
  void renderCapturedFrame(uint32_t t);
  void afterCapturedFrame();

  CommandLineOptions options_;
  ViewedScene view_;
  VelkorWindow window_;
  FrameCapture capture_;
  bool capturing_ = false;
  uint32_t captureStart_ = 0;
  int64_t captureFrames_ = 0;
  int64_t captureIndex_ = 0;
  std::unique_ptr<CaptureProgress> progress_;
  int exitCode_ = 0;
};

// [SECTION] Start-up steps

using ExtensionQuery = bool (*)(const char* name);
// Whether the current context offers the extension ("ARB_shadow" asks for GL_ARB_shadow).
bool hasGlExtension(const char* name);

// Reads the GL limits into glCaps and the texture size limit into the texture library.
void queryGlCaps(ExtensionQuery has = hasGlExtension);
// Each required extension missing is the fatal "Extension not supported" naming it; fewer
// than 3 texture units is the fatal "Minimum 3 texture units are required".
void checkExtensions(ExtensionQuery has = hasGlExtension);
// GL_RGB16F_ARB where ARB_texture_float is offered, else the NV float format.
void chooseFloatTextureFormat(ExtensionQuery has = hasGlExtension);

// The loading picture over the whole window, without the swap. A picture that cannot be
// loaded leaves an untextured quad in the current colour.
void drawLoadingScreen();
void showLoadingScreen(VelkorWindow& window);

// Starts decoding, on the other cores, the pictures the script names that are not cached yet.
void readPicturesAhead(const char* scriptPath);
// Loads the script and (with music on) starts the sound track at the demo start; the clock
// then reads the demo start time. Without `picturesReadAhead` it starts the read-ahead
// itself; either way the read-ahead ends with the load.
void loadDemo(const char* scriptPath, bool picturesReadAhead = false);

// [SECTION] Main loop

// The demo window procedure: the keys of the launcher state machine, through the process's
// clock, music and part list.
MessageResult windowProc(VelkorWindow* window, const platform::WindowMessage& message);

enum class LoopExit { Quit, Reload };

// Frames until a quit or a reload: at most one message per frame, a queued quit ends the
// loop before another frame is rendered. `render` draws the frame at the clock's time,
// `beforeSwap` sees the finished back buffer.
LoopExit runFrames(VelkorWindow& window, const std::function<void(uint32_t)>& render,
                   const std::function<void(uint32_t)>& beforeSwap = {});

// The process: command line, then InitInstance. Returns the exit code.
int launcherMain(int argc, const char* const* argv);
