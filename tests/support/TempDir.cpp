#include "support/TempDir.h"

#include <fstream>
#include <stdexcept>

#include "platform/Files.h"

TempDir::TempDir(const std::string& prefix) {
  const std::string made = platform::makeTemporaryFolder(prefix + "_");
  if (made.empty()) throw std::runtime_error("no temporary folder for " + prefix);
  path_ = platform::pathFromUtf8(made);
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
