#pragma once
// Watching data files for changes (inotify). What is watched is the folder of each file, not
// the file itself, so that an editor that saves by writing a new file and renaming it over
// the old one is seen, and a file that does not exist yet is seen when it appears. A folder
// that does not exist yet is watched through the nearest one above it that does.

#include <string>
#include <vector>

namespace platform {

class FileWatch {
 public:
  FileWatch();
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // False when the system refused a watch (then nothing is ever reported).
  bool ok() const { return fd_ >= 0; }

  // Watches these paths (relative to the working directory, or absolute) from now on,
  // instead of the ones before.
  void watch(const std::vector<std::string>& paths);

  // The watched paths written, created, moved, deleted or changed in their attributes since
  // the last call, each once, in the order first seen; without waiting.
  std::vector<std::string> takeChanges();

  // Waits up to `ms` milliseconds for something to happen in a watched folder.
  void wait(int ms);

 private:
  struct Folder {
    int descriptor;
    std::string path;  // as watched ("" for the working directory)
  };

  void addFolderFor(const std::string& path);
  void readEvents();

  int fd_ = -1;
  std::vector<Folder> folders_;
  std::vector<std::string> paths_;
  std::vector<std::string> changes_;
};

}  // namespace platform
