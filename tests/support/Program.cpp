#include "support/Program.h"

#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "archive/RarWriter.h"

namespace fs = std::filesystem;

ProgramRun runCommand(const fs::path& directory, const std::string& command) {
  const fs::path outFile = directory / ".stdout", errFile = directory / ".stderr";
  const std::string line = "cd '" + directory.string() + "' && " + command + " >'" + outFile.string() + "' 2>'" +
                           errFile.string() + "'";
  const int status = std::system(line.c_str());
  ProgramRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readText(outFile);
  run.err = readText(errFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return run;
}

ProgramRun runProgram(const fs::path& directory, const std::string& arguments) {
  return runCommand(directory, "'" DE_BINARY_DIR "/demoengine' " + arguments);
}

void packDemo(const fs::path& directory, const std::map<std::string, std::string>& files) {
  rar::ArchiveWriter writer("lynxa42");
  std::vector<uint8_t> archive = writer.start();
  for (const auto& [name, content] : files) {
    std::string stored = name;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    rar::StoredFile file;
    file.name = stored;
    file.data = reinterpret_cast<const uint8_t*>(content.data());
    file.size = content.size();
    const std::vector<uint8_t> entry = writer.entry(file);
    archive.insert(archive.end(), entry.begin(), entry.end());
  }
  const std::vector<uint8_t> end = writer.end();
  archive.insert(archive.end(), end.begin(), end.end());
  std::ofstream(directory / "data.vkd", std::ios::binary)
      .write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& path, const std::string& text) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

int RgbImage::maxChannel() const { return rgb.empty() ? -1 : *std::max_element(rgb.begin(), rgb.end()); }

double RgbImage::mean() const {
  double sum = 0;
  for (uint8_t v : rgb) sum += v;
  return rgb.empty() ? 0 : sum / static_cast<double>(rgb.size());
}

RgbImage readPng(const fs::path& path) {
  RgbImage image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
  png.format = PNG_FORMAT_RGB;
  image.rgb.resize(PNG_IMAGE_SIZE(png));
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.ok = png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) != 0;
  return image;
}

std::string frameName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06d.png", index);
  return name;
}
