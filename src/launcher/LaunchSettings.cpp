#include "launcher/LaunchSettings.h"

Resolution resolutionFromText(const std::string& text) {
  if (text == "640x480") return {640, 480};
  if (text == "1024x768") return {1024, 768};
  if (text == "1280x1024") return {1280, 1024};
  return {800, 600};
}

int fsaaFromText(const std::string& text) {
  if (text == "2X FSAA") return 2;
  if (text == "4X FSAA") return 4;
  if (text == "6X FSAA") return 6;
  if (text == "8X FSAA") return 8;
  return 0;
}

LaunchSettings settingsFromDialog(const std::string& resolutionText, const std::string& fsaaText,
                                  bool fullscreen, bool music) {
  LaunchSettings settings;
  const Resolution resolution = resolutionFromText(resolutionText);
  settings.width = resolution.width;
  settings.height = resolution.height;
  settings.fsaa = fsaaFromText(fsaaText);
  settings.fullscreen = fullscreen;
  settings.music = music;
  return settings;
}
