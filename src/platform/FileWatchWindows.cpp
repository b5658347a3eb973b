#include "platform/FileWatch.h"

#include <windows.h>

#include "platform/FileWatchPaths.h"
#include "platform/WindowsText.h"

namespace platform {

using namespace watchpaths;

namespace {

constexpr DWORD kEvents = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                          FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION;

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widen(path.empty() ? "." : path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

struct FileWatch::State {
  // One folder's outstanding ReadDirectoryChangesW, completed into `buffer`.
  struct Folder {
    std::string path;  // as watched ("" for the working directory)
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    alignas(DWORD) BYTE buffer[16384];

    ~Folder() {
      if (handle != INVALID_HANDLE_VALUE) {
        CancelIoEx(handle, &overlapped);
        DWORD ignored;
        GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
        CloseHandle(handle);
      }
      if (overlapped.hEvent) CloseHandle(overlapped.hEvent);
    }
    bool startReading() {
      ResetEvent(overlapped.hEvent);
      return ReadDirectoryChangesW(handle, buffer, sizeof buffer, FALSE, kEvents, nullptr, &overlapped, nullptr);
    }
  };

  void addFolderFor(const std::string& path);
  void readEvents();
  void readEventsOnce(bool& more);

  std::vector<std::unique_ptr<Folder>> folders;
  std::vector<std::string> given, keys;
  std::vector<std::string> changes;
};

FileWatch::FileWatch() : state_(std::make_unique<State>()) {}
FileWatch::~FileWatch() = default;

bool FileWatch::ok() const { return true; }

void FileWatch::State::addFolderFor(const std::string& path) {
  std::string folder = parentOf(path);
  while (!folder.empty() && !isRoot(folder) && !isFolder(folder)) folder = parentOf(folder);
  for (const auto& known : folders)
    if (known->path == folder) return;
  auto watched = std::make_unique<Folder>();
  watched->path = folder;
  // Others may still rename and delete the folder and what is in it.
  watched->handle = CreateFileW(widen(folder.empty() ? "." : folder).c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (watched->handle == INVALID_HANDLE_VALUE) return;
  watched->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!watched->overlapped.hEvent || !watched->startReading()) return;
  folders.push_back(std::move(watched));
}

void FileWatch::watch(const std::vector<std::string>& paths) {
  State& s = *state_;
  s.readEvents();  // what happened to the old set is kept
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
  // What happened while a folder's results were read waits for the next read, which may
  // complete at once: read until none has anything.
  for (bool more = true; more;) {
    more = false;
    readEventsOnce(more);
  }
}

void FileWatch::State::readEventsOnce(bool& more) {
  for (size_t i = 0; i < folders.size();) {
    Folder& folder = *folders[i];
    DWORD length = 0;
    if (!GetOverlappedResult(folder.handle, &folder.overlapped, &length, FALSE)) {
      if (GetLastError() == ERROR_IO_INCOMPLETE) {
        ++i;
        continue;
      }
      // The folder went (deleted, or its volume): everything watched through it may have
      // changed, and nothing more comes from it.
      noteEvent(folder.path, folder.path, true, keys, given, changes);
      folders.erase(folders.begin() + static_cast<ptrdiff_t>(i));
      continue;
    }
    more = true;
    if (length == 0) {
      // More happened than the buffer held: anything in the folder may have changed.
      noteEvent(folder.path, folder.path, true, keys, given, changes);
    }
    for (DWORD at = 0; length > 0;) {
      const auto* event = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(folder.buffer + at);
      const std::string name = key(narrow(std::wstring(event->FileName, event->FileNameLength / sizeof(WCHAR))));
      noteEvent(folder.path, join(folder.path, name), false, keys, given, changes);
      if (event->NextEntryOffset == 0) break;
      at += event->NextEntryOffset;
    }
    if (!folder.startReading()) {
      noteEvent(folder.path, folder.path, true, keys, given, changes);
      folders.erase(folders.begin() + static_cast<ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
}

std::vector<std::string> FileWatch::takeChanges() {
  state_->readEvents();
  std::vector<std::string> taken;
  taken.swap(state_->changes);
  return taken;
}

void FileWatch::wait(int ms) {
  std::vector<HANDLE> events;
  for (const auto& folder : state_->folders)
    if (events.size() < MAXIMUM_WAIT_OBJECTS) events.push_back(folder->overlapped.hEvent);
  if (events.empty()) {
    Sleep(static_cast<DWORD>(ms));
    return;
  }
  WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, static_cast<DWORD>(ms));
}

}  // namespace platform
