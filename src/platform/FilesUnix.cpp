#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace fs = std::filesystem;

std::filesystem::path pathFromUtf8(const std::string& name) { return fs::path(name); }
std::string utf8FromPath(const std::filesystem::path& path) { return path.string(); }
bool isSeparator(char c) { return c == '/'; }
bool isPlainName(const std::string& part) { return !part.empty() && part.find('/') == std::string::npos; }

std::FILE* openFile(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

bool utcCalendarTime(std::time_t seconds, std::tm* out) {
  if (gmtime_r(&seconds, out) != nullptr) return true;
  *out = std::tm{};
  return false;
}

bool syncToDisk(std::FILE* stream) { return fsync(fileno(stream)) == 0; }

bool writeWholeFile(const char* name, const void* data, size_t size, std::string* error) {
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  bool ok = true;
  while (ok && size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;
    ok = n > 0;
    if (ok) {
      bytes += n;
      size -= static_cast<size_t>(n);
    }
  }
  int failure = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (!ok && error) *error = std::strerror(failure);
  return ok;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (error) *error = std::strerror(errno);
  return false;
}

bool setCurrentFolder(const std::string& name, std::string* error) {
  if (::chdir(name.c_str()) == 0) return true;
  if (error) *error = std::strerror(errno);
  return false;
}

namespace {

std::string temporaryPattern(const std::string& prefix) {
  std::error_code error;
  const fs::path folder = fs::temp_directory_path(error);
  return ((error ? fs::path("/tmp") : folder) / (prefix + "XXXXXX")).string();
}

}  // namespace

std::string makeTemporaryFolder(const std::string& prefix) {
  std::string pattern = temporaryPattern(prefix);
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

std::string makeTemporaryFile(const std::string& prefix) {
  std::string pattern = temporaryPattern(prefix);
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return "";
  ::close(fd);
  return pattern;
}

std::string makeTemporaryFileBeside(const std::string& target) {
  std::string pattern = target + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return "";
  // mkstemp makes it private; what replaces the target is as readable as a new file is.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  ::close(fd);
  return pattern;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
}

bool ReadOnlyFile::open(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = fd;
  identity_.device = static_cast<uint64_t>(info.st_dev);
  identity_.inode = static_cast<uint64_t>(info.st_ino);
  identity_.size = static_cast<uint64_t>(info.st_size);
  identity_.mtimeSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  identity_.mtimeNanoseconds = static_cast<int64_t>(info.st_mtim.tv_nsec);
  return true;
}

bool ReadOnlyFile::readAt(uint64_t offset, void* destination, size_t count) const {
  auto* to = static_cast<uint8_t*>(destination);
  while (count > 0) {
    const ssize_t got = ::pread(static_cast<int>(handle_), to, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    to += got;
    offset += static_cast<uint64_t>(got);
    count -= static_cast<size_t>(got);
  }
  return true;
}

std::filesystem::path programFile() {
  std::error_code error;
  fs::path path = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : path;
}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void setEnvironment(const char* name, const char* value) { setenv(name, value, 1); }

bool isNullDevice(const std::string& name) { return name == "/dev/null"; }

}  // namespace platform
