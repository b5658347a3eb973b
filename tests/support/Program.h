#pragma once
// Running the built program (or any command) the way a person or a script does, packing a
// small demo archive for it, and reading the PNG frames it captures.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct ProgramRun {
  int exitCode = -1;  // -1 when the command did not end normally
  std::string out, err;
  std::string output() const { return out + err; }
};

// `command` through the shell in `directory`, stdout and stderr kept apart.
ProgramRun runCommand(const std::filesystem::path& directory, const std::string& command);
// The built demoengine with `arguments` (shell syntax) in `directory`.
ProgramRun runProgram(const std::filesystem::path& directory, const std::string& arguments);

// data.vkd in `directory`, encrypted with the demo password, holding each file of `files`
// (archive name with '/' or '\' → content).
void packDemo(const std::filesystem::path& directory, const std::map<std::string, std::string>& files);

std::string readText(const std::filesystem::path& path);
void writeText(const std::filesystem::path& path, const std::string& text);

// A PNG read as 8-bit RGB, rows top to bottom.
struct RgbImage {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  int maxChannel() const;
  double mean() const;
};
RgbImage readPng(const std::filesystem::path& path);

// "frame_000042.png", as captures name their frames.
std::string frameName(int index);
