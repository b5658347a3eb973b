#include "archive/vkd.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "archive/FileRequests.h"
#include "archive/RarArchive.h"

namespace {

// [SECTION] Archive settings

std::string archiveName;
std::string archivePassword;
bool archiveMode = false;
bool diskNamesLikeArchive = false;

// [SECTION] Caller faults

void faultToStderr(const char* sourceFile, int line) {
  std::fprintf(stderr, "%s:%d assertion failed\n", sourceFile, line);
  std::exit(1);
}

ArchiveFaultHandler faultHandler = faultToStderr;

void checkNotNull(const void* pointer, const char* sourceFile, int line) {
  if (pointer == nullptr) faultHandler(sourceFile, line);
}

// [SECTION] Archive cache
//
// Every request names its archive; reading the blocks again for each one would make
// loading n files of an archive cost n walks, and in a solid archive n decodes from the
// start. The readers of the last few archives are kept, each valid for as long as the
// file on disk is the same one (device, inode, size and modification time).

struct CachedArchive {
  std::string name;
  rar::FileSource::Identity identity;
  std::unique_ptr<rar::ArchiveReader> reader;
};

constexpr size_t kCachedArchives = 4;

std::mutex cacheMutex;
std::list<CachedArchive> cache;  // most recently used first

rar::ArchiveReader& readerFor(const char* name, rar::FileSource& source) {
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->name == name && it->identity == source.identity()) {
      cache.splice(cache.begin(), cache, it);
      return *cache.front().reader;
    }
  }
  std::erase_if(cache, [&](const CachedArchive& c) { return c.name == name; });
  if (cache.size() >= kCachedArchives) cache.pop_back();
  cache.push_front({name, source.identity(),
                    std::make_unique<rar::ArchiveReader>(rar::readIndex(source))});
  return *cache.front().reader;
}

// [SECTION] Loading

bool loadFromDisk(const char* path, uint8_t** data, uint32_t* size) {
  platform::ReadOnlyFile file;
  if (!file.open(path)) return false;
  bool ok = file.identity().size <= rar::kMaxEntrySize;
  uint8_t* block = nullptr;
  size_t length = 0;
  if (ok) {
    length = static_cast<size_t>(file.identity().size);
    block = static_cast<uint8_t*>(std::calloc(length + rar::Block::kZeroTail, 1));
    ok = block != nullptr && (length == 0 || file.readAt(0, block, length));
  }
  if (!ok) {
    std::free(block);
    return false;
  }
  *data = block;
  *size = static_cast<uint32_t>(length);
  return true;
}

std::string joinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

// The entry of `directory` named `name` in any letter case: the name itself when it exists,
// else the first match in byte order (so the choice does not depend on the listing order).
bool findEntryIgnoringCase(const std::string& directory, const std::string& name, std::string* found) {
  struct stat info;
  if (stat(joinPath(directory, name).c_str(), &info) == 0) {
    *found = name;
    return true;
  }
  DIR* listing = opendir(directory.empty() ? "." : directory.c_str());
  if (!listing) return false;
  bool any = false;
  while (const dirent* entry = readdir(listing)) {
    if (strcasecmp(entry->d_name, name.c_str()) != 0) continue;
    if (!any || std::strcmp(entry->d_name, found->c_str()) < 0) *found = entry->d_name;
    any = true;
  }
  closedir(listing);
  return any;
}

// The file on disk that the archive would hand out for `path`: '\' and '/' alike, each
// folder and the file's name matched in any letter case. The path with '/' when nothing
// matches.
std::string resolveLikeArchive(const std::string& path) {
  std::string normal = path;
  std::replace(normal.begin(), normal.end(), '\\', '/');
  std::string resolved = !normal.empty() && normal[0] == '/' ? "/" : "";
  size_t start = 0;
  while (start < normal.size()) {
    size_t end = normal.find('/', start);
    if (end == std::string::npos) end = normal.size();
    const std::string part = normal.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    std::string found = part;
    if (part != "." && part != ".." && !findEntryIgnoringCase(resolved, part, &found)) return normal;
    resolved = joinPath(resolved, found);
  }
  return resolved;
}

}  // namespace

void setDiskNamesLikeArchive(bool on) { diskNamesLikeArchive = on; }

void openArchive(const char* name, const char* password) {
  archiveName = name ? name : "";
  archivePassword = password ? password : "";
  archiveMode = true;
}

int archiveGet(const char* path, const char* name, const char* password, uint8_t** data,
               uint32_t* size) {
  if (data == nullptr || size == nullptr) return 0;
  *data = nullptr;
  *size = 0;
  if (path == nullptr || name == nullptr) return 0;

  auto source = rar::FileSource::open(name);
  if (!source) return 0;
  rar::Block block;
  {
    std::lock_guard<std::mutex> lock(cacheMutex);
    rar::ArchiveReader& reader = readerFor(name, *source);
    if (reader.get(*source, path, password ? password : "", block) != rar::Status::Ok) return 0;
  }
  *size = static_cast<uint32_t>(block.size());
  *data = block.release();
  return 1;
}

MemoryFile::MemoryFile(const char* path) {
  if (path == nullptr) return;
  if (archiveMode) {
    ok = archiveGet(path, archiveName.c_str(), archivePassword.c_str(), &data, &size) == 1;
    recordFileRequest(path);
  } else {
    ok = loadFromDisk(path, &data, &size);
    std::string read = path;
    if (!ok && diskNamesLikeArchive) {
      read = resolveLikeArchive(path);
      ok = loadFromDisk(read.c_str(), &data, &size);
    }
    recordFileRequest(read);
  }
  position = 0;
}

void setArchiveFaultHandler(ArchiveFaultHandler handler) { faultHandler = handler ? handler : faultToStderr; }

MemoryFile::~MemoryFile() { std::free(data); }

MemoryFile* loadFile(const char* path) {
  auto* file = new MemoryFile(path);
  if (file->ok) return file;
  delete file;
  return nullptr;
}

size_t read(void* destination, size_t elementSize, size_t count, MemoryFile* file) {
  // Reading into or from nothing is the caller's bug, reported as a failed assertion.
  checkNotNull(file, __FILE__, __LINE__);
  checkNotNull(destination, __FILE__, __LINE__);
  if (file == nullptr || destination == nullptr) return 0;
  if (elementSize == 0) return count;  // every empty element "fits"
  const uint64_t left = file->position <= file->size ? file->size - file->position : 0;
  const size_t whole = static_cast<size_t>(std::min<uint64_t>(count, left / elementSize));
  if (whole > 0) {
    std::memcpy(destination, file->data + file->position, whole * elementSize);
    file->position += static_cast<uint32_t>(whole * elementSize);
  }
  return whole;
}

void closeFile(MemoryFile* file) {
  if (file == nullptr) return;
  std::free(file->data);
  file->data = nullptr;
  file->ok = false;
  delete file;
}

// [SECTION] Listing a folder

namespace {

void listDiskFolder(const std::string& folder, const std::string& shown, std::vector<std::string>& names) {
  DIR* listing = opendir(folder.c_str());
  if (!listing) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info;
    if (stat(joinPath(folder, name).c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) listDiskFolder(joinPath(folder, name), joinPath(shown, name), names);
    else if (S_ISREG(info.st_mode)) names.push_back(joinPath(shown, name));
  }
  closedir(listing);
}

}  // namespace

std::vector<std::string> listDataFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::string normal = folder;
  std::replace(normal.begin(), normal.end(), '\\', '/');
  while (!normal.empty() && normal.back() == '/') normal.pop_back();
  if (archiveMode) {
    auto source = rar::FileSource::open(archiveName.c_str());
    if (!source) return names;
    const std::string prefix = rar::nameKey(normal + "/");
    std::lock_guard<std::mutex> lock(cacheMutex);
    for (const rar::Entry& entry : readerFor(archiveName.c_str(), *source).index().entries) {
      if (entry.isDirectory() || rar::nameKey(entry.name).compare(0, prefix.size(), prefix) != 0) continue;
      std::string name = entry.name;
      std::replace(name.begin(), name.end(), '\\', '/');
      names.push_back(std::move(name));
    }
  } else {
    const std::string onDisk = diskNamesLikeArchive ? resolveLikeArchive(normal) : normal;
    listDiskFolder(onDisk, normal, names);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}
