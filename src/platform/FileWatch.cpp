#include "platform/FileWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace platform {

namespace {

constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                             IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

std::string normalise(std::string path) {
  while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.empty() ? "." : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string join(const std::string& folder, const char* name) {
  if (folder.empty()) return name;
  return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
}

// `path` lies in `folder` or in a folder below it.
bool isBelow(const std::string& path, const std::string& folder) {
  if (folder.empty()) return path.empty() || path[0] != '/';
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (folder == "/" || path[folder.size()] == '/');
}

}  // namespace

FileWatch::FileWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FileWatch::~FileWatch() {
  if (fd_ >= 0) close(fd_);
}

void FileWatch::addFolderFor(const std::string& path) {
  std::string folder = parentOf(path);
  while (!folder.empty() && folder != "/" && !isFolder(folder)) folder = parentOf(folder);
  for (const Folder& known : folders_)
    if (known.path == folder) return;
  const int descriptor = inotify_add_watch(fd_, folder.empty() ? "." : folder.c_str(), kEvents);
  if (descriptor >= 0) folders_.push_back({descriptor, folder});
}

void FileWatch::watch(const std::vector<std::string>& paths) {
  if (fd_ < 0) return;
  readEvents();  // what happened to the old set is kept
  for (const Folder& folder : folders_) inotify_rm_watch(fd_, folder.descriptor);
  folders_.clear();
  paths_.clear();
  for (const std::string& path : paths) {
    paths_.push_back(normalise(path));
    addFolderFor(paths_.back());
  }
}

void FileWatch::readEvents() {
  if (fd_ < 0) return;
  alignas(inotify_event) char buffer[16384];
  auto changed = [&](const std::string& path) {
    if (std::find(changes_.begin(), changes_.end(), path) == changes_.end()) changes_.push_back(path);
  };
  for (;;) {
    const ssize_t length = read(fd_, buffer, sizeof buffer);
    if (length <= 0) return;
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const auto folder = std::find_if(folders_.begin(), folders_.end(),
                                       [&](const Folder& f) { return f.descriptor == event->wd; });
      if (folder == folders_.end()) continue;
      // The folder itself went: everything watched through it may have changed.
      const bool folderGone = (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0;
      const std::string entry = event->len > 0 ? join(folder->path, event->name) : folder->path;
      for (const std::string& path : paths_) {
        // A file of the folder, or a folder on the way to a file that does not exist yet.
        if ((folderGone && isBelow(path, folder->path)) || path == entry || isBelow(path, entry))
          changed(path);
      }
    }
  }
}

std::vector<std::string> FileWatch::takeChanges() {
  readEvents();
  std::vector<std::string> taken;
  taken.swap(changes_);
  return taken;
}

void FileWatch::wait(int ms) {
  if (fd_ < 0) {
    usleep(static_cast<useconds_t>(ms) * 1000);
    return;
  }
  pollfd watched{fd_, POLLIN, 0};
  poll(&watched, 1, ms);
}

}  // namespace platform
