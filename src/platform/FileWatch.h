#pragma once
// Watching data files for changes (inotify on Linux, ReadDirectoryChangesW on Windows). What
// is watched is the folder of each file, not the file itself, so that an editor that saves by
// writing a new file and renaming it over the old one is seen, and a file that does not exist
// yet is seen when it appears. A folder that does not exist yet is watched through the
// nearest one above it that does.

#include <memory>
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
  bool ok() const;

  // Watches these paths (relative to the working directory, or absolute; '\' separates
  // folders too on Windows) from now on, instead of the ones before.
  void watch(const std::vector<std::string>& paths);

  // The watched paths written, created, moved, deleted or changed in their attributes since
  // the last call, each once, in the order first seen, as they were given to watch() (less a
  // leading "./" and a trailing separator); without waiting.
  std::vector<std::string> takeChanges();

  // Waits up to `ms` milliseconds for something to happen in a watched folder.
  void wait(int ms);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace platform
