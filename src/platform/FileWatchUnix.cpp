#include "platform/FileWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileWatchPaths.h"

namespace platform {

using namespace watchpaths;

namespace {

constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                             IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.empty() ? "." : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

struct FileWatch::State {
  struct Folder {
    int descriptor;
    std::string path;  // as watched ("" for the working directory)
  };

  void addFolderFor(const std::string& path);
  void readEvents();

  int fd = -1;
  std::vector<Folder> folders;
  std::vector<std::string> given, keys;
  std::vector<std::string> changes;
};

FileWatch::FileWatch() : state_(std::make_unique<State>()) { state_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC); }

FileWatch::~FileWatch() {
  if (state_->fd >= 0) close(state_->fd);
}

bool FileWatch::ok() const { return state_->fd >= 0; }

void FileWatch::State::addFolderFor(const std::string& path) {
  std::string folder = parentOf(path);
  while (!folder.empty() && !isRoot(folder) && !isFolder(folder)) folder = parentOf(folder);
  for (const Folder& known : folders)
    if (known.path == folder) return;
  const int descriptor = inotify_add_watch(fd, folder.empty() ? "." : folder.c_str(), kEvents);
  if (descriptor >= 0) folders.push_back({descriptor, folder});
}

void FileWatch::watch(const std::vector<std::string>& paths) {
  State& s = *state_;
  if (s.fd < 0) return;
  s.readEvents();  // what happened to the old set is kept
  for (const State::Folder& folder : s.folders) inotify_rm_watch(s.fd, folder.descriptor);
  s.folders.clear();
  s.given.clear();
  s.keys.clear();
  for (const std::string& path : paths) {
    s.given.push_back(normalise(path));
    s.keys.push_back(key(s.given.back()));
    s.addFolderFor(s.keys.back());
  }
}

void FileWatch::State::readEvents() {
  if (fd < 0) return;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t length = read(fd, buffer, sizeof buffer);
    if (length <= 0) return;
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const auto folder = std::find_if(folders.begin(), folders.end(),
                                       [&](const Folder& f) { return f.descriptor == event->wd; });
      if (folder == folders.end()) continue;
      const bool folderGone = (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0;
      const std::string entry = event->len > 0 ? join(folder->path, event->name) : folder->path;
      noteEvent(folder->path, entry, folderGone, keys, given, changes);
    }
  }
}

std::vector<std::string> FileWatch::takeChanges() {
  state_->readEvents();
  std::vector<std::string> taken;
  taken.swap(state_->changes);
  return taken;
}

void FileWatch::wait(int ms) {
  if (state_->fd < 0) {
    usleep(static_cast<useconds_t>(ms) * 1000);
    return;
  }
  pollfd watched{state_->fd, POLLIN, 0};
  poll(&watched, 1, ms);
}

}  // namespace platform
