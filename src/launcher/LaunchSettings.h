#pragma once
// The viewer's display choices and how the dialog's texts become numbers.

#include <string>

struct LaunchSettings {
  int width = 800;
  int height = 600;
  int fsaa = 0;
  bool fullscreen = false;
  bool music = true;
};

struct Resolution {
  int width;
  int height;
};

// "640x480", "1024x768" and "1280x1024" are taken as they read; any other text, typed or
// not, is 800 × 600.
Resolution resolutionFromText(const std::string& text);

// "2X FSAA" … "8X FSAA" give 2 … 8; any other text gives 0 (no FSAA).
int fsaaFromText(const std::string& text);

// What the dialog's Launch hands to start-up.
LaunchSettings settingsFromDialog(const std::string& resolutionText, const std::string& fsaaText,
                                  bool fullscreen, bool music);
