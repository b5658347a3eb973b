#pragma once
// What a windowed run mode is handed once the demo window is open, the driver checked, the
// data source chosen and the loading picture shown (VelkorLauncher::runDemo): it plays until
// the viewer quits or the run reaches its end.

#include "base/VelkorWindow.h"
#include "launcher/CommandLine.h"

class CaptureSession;
struct ViewedScene;

struct RunContext {
  const CommandLineOptions& options;
  VelkorWindow& window;
  int width = 0;
  int height = 0;
  CaptureSession* capture = nullptr;  // set while frames are captured or recorded
  const ViewedScene* view = nullptr;  // --view: the scene or model prepared before the window
  int exitCode = 0;                   // what the process will end with
};
