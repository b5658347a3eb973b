#pragma once
// The path arithmetic both systems' file watches share. Paths are compared in one form:
// '/' between folders ('\' read as '/' where the system takes it), no leading "./", no
// trailing separator, "" for the working directory; a root is "/" or a drive's "C:/".

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace platform::watchpaths {

// As the caller gave it, less "./" in front and separators behind.
inline std::string normalise(std::string path) {
  while (path.size() >= 2 && path[0] == '.' && isSeparator(path[1])) path.erase(0, 2);
  while (path.size() > 1 && isSeparator(path.back()) && !(path.size() == 3 && path[1] == ':')) path.pop_back();
  return path;
}

// The form paths are compared in.
inline std::string key(std::string path) {
  for (char& c : path)
    if (isSeparator(c)) c = '/';
  return path;
}

inline bool isRoot(const std::string& path) {
  return path == "/" || (path.size() == 3 && path[1] == ':' && path[2] == '/');
}

inline std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

inline std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

inline bool isAbsolute(const std::string& path) {
  return (!path.empty() && path[0] == '/') || (path.size() >= 3 && path[1] == ':' && path[2] == '/');
}

// `path` lies in `folder` or in a folder below it.
inline bool isBelow(const std::string& path, const std::string& folder) {
  if (folder.empty()) return !isAbsolute(path);
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (folder.back() == '/' || path[folder.size()] == '/');
}

// The watched paths (`keys[i]` the compared form of `given[i]`) that an event on `entry` of
// `folder` touches, added to `changes` once each. `folderGone`: the folder itself went,
// so everything watched through it may have changed.
inline void noteEvent(const std::string& folder, const std::string& entry, bool folderGone,
                      const std::vector<std::string>& keys, const std::vector<std::string>& given,
                      std::vector<std::string>& changes) {
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string& path = keys[i];
    // A file of the folder, or a folder on the way to a file that does not exist yet.
    if ((folderGone && isBelow(path, folder)) || path == entry || isBelow(path, entry))
      if (std::find(changes.begin(), changes.end(), given[i]) == changes.end()) changes.push_back(given[i]);
  }
}

}  // namespace platform::watchpaths
