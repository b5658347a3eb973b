#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/WindowsText.h"

namespace platform {

namespace fs = std::filesystem;

// [SECTION] Text

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), utf8.data(), length, nullptr, nullptr);
  return utf8;
}

std::string systemMessage(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length ? narrow(std::wstring(text, length)) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  // The system's messages end in ".\r\n"; ours are one line without the full stop.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
                              message.back() == ' '))
    message.pop_back();
  return message;
}

// [SECTION] Names

std::filesystem::path pathFromUtf8(const std::string& name) { return fs::path(widen(name)); }
std::string utf8FromPath(const std::filesystem::path& path) { return narrow(path.wstring()); }
bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool isPlainName(const std::string& part) {
  if (part.empty()) return false;
  for (char c : part)
    if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c)) return false;
  // Device names stay devices whatever extension follows.
  std::string stem = part.substr(0, part.find('.'));
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL"})
    if (stem == device) return false;
  return !(stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9');
}

// [SECTION] Opening, replacing, changing folder

std::FILE* openFile(const std::string& name, const char* mode) {
  return _wfopen(widen(name).c_str(), widen(mode).c_str());
}

bool utcCalendarTime(std::time_t seconds, std::tm* out) {
  if (gmtime_s(out, &seconds) == 0) return true;  // the C runtime's reentrant form
  *out = std::tm{};
  return false;
}

bool syncToDisk(std::FILE* stream) {
  if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))))) return true;
  errno = EIO;
  return false;
}

bool writeWholeFile(const char* name, const void* data, size_t size, std::string* error) {
  // A capture writes a file a frame: the name is converted on the stack when it fits.
  wchar_t onStack[1024];
  std::wstring longer;
  const wchar_t* wide = onStack;
  if (MultiByteToWideChar(CP_UTF8, 0, name, -1, onStack, 1024) == 0) wide = (longer = widen(name)).c_str();
  const HANDLE file = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (error) *error = systemMessage(GetLastError());
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  bool ok = true;
  while (ok && size > 0) {
    DWORD written = 0;
    ok = WriteFile(file, bytes, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), &written, nullptr) && written > 0;
    bytes += written;
    size -= written;
  }
  const DWORD failure = ok ? 0 : GetLastError();
  CloseHandle(file);
  if (!ok && error) *error = systemMessage(failure);
  return ok;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return true;
  if (error) *error = systemMessage(GetLastError());
  return false;
}

bool setCurrentFolder(const std::string& name, std::string* error) {
  if (SetCurrentDirectoryW(widen(name).c_str())) return true;
  if (error) *error = systemMessage(GetLastError());
  return false;
}

namespace {

// The temporary folder and a name in it no other call has used: the process, the clock and
// a count, tried until the system takes one.
template <typename Make>
std::string makeTemporary(const std::string& prefix, Make make) {
  static std::atomic<unsigned> count{0};
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return "";
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[32];
    swprintf(suffix, 32, L"%05lx%04x", static_cast<unsigned long>(GetCurrentProcessId() & 0xfffff),
             static_cast<unsigned>((GetTickCount() + count++) & 0xffff));
    const std::wstring name = folder + widen(prefix) + suffix;
    if (make(name)) return narrow(name);
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) return "";
  }
  return "";
}

}  // namespace

std::string makeTemporaryFolder(const std::string& prefix) {
  return makeTemporary(prefix, [](const std::wstring& name) { return CreateDirectoryW(name.c_str(), nullptr) != 0; });
}

std::string makeTemporaryFile(const std::string& prefix) {
  return makeTemporary(prefix, [](const std::wstring& name) {
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  });
}

std::string makeTemporaryFileBeside(const std::string& target) {
  static std::atomic<unsigned> count{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%05lx%04x", static_cast<unsigned long>(GetCurrentProcessId() & 0xfffff),
                  static_cast<unsigned>((GetTickCount() + count++) & 0xffff));
    const std::string name = target + suffix;
    const HANDLE file =
        CreateFileW(widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return name;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  errno = EACCES;
  return "";
}

// [SECTION] Reading at offsets

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ReadOnlyFile::open(const std::string& name) {
  // Others may go on writing, renaming and deleting it, as on POSIX.
  const HANDLE file = CreateFileW(widen(name).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return false;
  }
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = reinterpret_cast<intptr_t>(file);
  identity_.device = info.dwVolumeSerialNumber;
  identity_.inode = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  identity_.size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  // 100-nanosecond steps since 1601.
  const uint64_t ticks = uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime;
  identity_.mtimeSeconds = static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
  identity_.mtimeNanoseconds = static_cast<int64_t>(ticks % 10000000) * 100;
  return true;
}

bool ReadOnlyFile::readAt(uint64_t offset, void* destination, size_t count) const {
  auto* to = static_cast<uint8_t*>(destination);
  while (count > 0) {
    // The offset travels with each read, so reads from several threads do not disturb each
    // other.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD asked = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), to, asked, &got, &at) || got == 0) return false;
    to += got;
    offset += got;
    count -= got;
  }
  return true;
}

// [SECTION] The process

std::filesystem::path programFile() {
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) return fs::path(std::wstring(name.data(), length));
    name.resize(name.size() * 2);
  }
}

bool isTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void setEnvironment(const char* name, const char* value) { _wputenv_s(widen(name).c_str(), widen(value).c_str()); }

bool isNullDevice(const std::string& name) {
  if (name == "/dev/null") return true;
  // Windows reserves the device name in every letter case; "\\.\NUL" is its explicit form.
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper == "NUL" || upper == "\\\\.\\NUL";
}

}  // namespace platform
