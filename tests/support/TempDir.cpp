#include "support/TempDir.h"

#include <stdlib.h>
#ifdef _WIN32
#include <random>
#endif

#include <fstream>
#include <stdexcept>

TempDir::TempDir(const std::string& prefix) {
#ifdef _WIN32
  // No mkdtemp: a random name, taken only when create_directory made it now.
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / (prefix + "_" + std::to_string(random() % 1000000000u));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no fresh temporary folder for " + prefix);
#else
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = pattern;
#endif
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::string& relative, const std::string& content) const {
  const std::filesystem::path file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

WorkingDirectory::WorkingDirectory(const std::string& prefix)
    : dir_(prefix), previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir_.path());
}

WorkingDirectory::~WorkingDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}
