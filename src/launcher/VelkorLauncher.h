#pragma once
// The program: probe the driver, ask for the display settings, open the demo window, check
// the GL driver, open the archive, show the loading picture, and hand the window to the run
// mode the command line asks for (VelkorLauncher.cpp holds the table of them), which loads
// the script and the music and renders frames until the viewer quits.

#include "base/VelkorWindow.h"
#include "launcher/CommandLine.h"
#include "launcher/ViewMode.h"

class VelkorLauncher {
 public:
  explicit VelkorLauncher(const CommandLineOptions& options = {});

  // Runs the whole program; false when it is over (always), as an application object's
  // start-up does when the program ends with it.
  bool InitInstance();

  // Everything from the demo window to quit.
  void runDemo(int height, int width, bool music, bool fullscreen, int fsaa);

  // --view: what prepareView found (before the window).
  void setView(const ViewedScene& view) { view_ = view; }

  // 0 after a normal quit or a finished capture; otherwise the code the process ends with.
  int exitCode() const { return exitCode_; }

 private:
  CommandLineOptions options_;
  VelkorWindow window_;
  ViewedScene view_;
  int exitCode_ = 0;
};

// The process: command line, then the run mode it asks for. Returns the exit code.
int launcherMain(int argc, const char* const* argv);
