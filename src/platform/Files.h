#pragma once
// Files and folders named in UTF-8, whatever the system calls them: Windows takes its names in
// UTF-16 through the wide-character calls, so every name the programs open, rename or change
// into goes through here rather than straight to the C library. Both '/' and '\' separate
// folders on Windows, and "C:" names a drive there; POSIX names pass through untouched.
// Nothing here needs a window: the archive tool links it.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

namespace platform {

// [SECTION] Names

// The path a UTF-8 name stands for (std::filesystem would read a narrow string in the
// system's code page on Windows).
std::filesystem::path pathFromUtf8(const std::string& name);
// The path's name in UTF-8.
std::string utf8FromPath(const std::filesystem::path& path);

// Whether `c` separates folders in a name: '/' everywhere, '\' too on Windows.
bool isSeparator(char c);

// Whether the system takes `part` as one file or folder name as it is: on Windows not with
// any of <>:"/\|?* or a control character (a "C:" would name a drive, a ':' a stream of the
// file) nor as a device name (CON, NUL, COM1, …); elsewhere anything without '/'.
bool isPlainName(const std::string& part);

// The calendar time, in UTC, of `seconds` since 1970 (a file's time as an archive stores
// it). False, with `out` zeroed, where the system cannot represent it.
bool utcCalendarTime(std::time_t seconds, std::tm* out);

// [SECTION] Opening, replacing, changing folder

// std::fopen for a UTF-8 name; the mode as fopen takes it ("rb", "wb", …).
std::FILE* openFile(const std::string& name, const char* mode);

// Writes the file `name` (replacing what it held) with `size` bytes, allocating nothing on
// Linux: what a capture does for every frame. False with the system's reason.
bool writeWholeFile(const char* name, const void* data, size_t size, std::string* error);

// Renames `from` to `to`, replacing a file already called `to` in one step (a plain rename
// does not on Windows). False with the system's reason.
bool replaceFile(const std::string& from, const std::string& to, std::string* error);

// Hands what the stream has written (flush it first) to the disk itself, so a rename that
// follows cannot install a file the system still held only in memory. False with errno set.
bool syncToDisk(std::FILE* stream);

// chdir for a UTF-8 name. False with the system's reason.
bool setCurrentFolder(const std::string& name, std::string* error);

// A new, empty folder only this user may enter, in the system's temporary folder, named
// `prefix` and a few random characters; "" when none can be made.
std::string makeTemporaryFolder(const std::string& prefix);
// A new, empty file in the system's temporary folder, made and closed; "" when none can
// be made.
std::string makeTemporaryFile(const std::string& prefix);

// A new, empty file beside `target` (in its folder, named after it), readable by all as an
// ordinary new file is, for writing what then replaces `target` in one step; "" with errno
// set when none can be made.
std::string makeTemporaryFileBeside(const std::string& target);

// [SECTION] Reading at offsets

// What identifies one version of a file: a change means the file was replaced or written.
struct FileIdentity {
  uint64_t device = 0, inode = 0, size = 0;
  int64_t mtimeSeconds = 0, mtimeNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A regular file opened for reading at any offset, from any thread.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // False when the name cannot be opened or is not a regular file.
  bool open(const std::string& name);
  bool isOpen() const { return handle_ != kNone; }
  const FileIdentity& identity() const { return identity_; }
  // Exactly `count` bytes from `offset`; false when fewer can be read.
  bool readAt(uint64_t offset, void* destination, size_t count) const;

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;  // a descriptor or a HANDLE
  FileIdentity identity_;
};

// Whether `name` names the system's device that takes writes and keeps nothing: "/dev/null"
// on every system, and on Windows also its own "NUL" (any letter case), so the same command
// line discards output on both.
bool isNullDevice(const std::string& name);

// [SECTION] The process

// The running program's own file, in full; empty when the system does not say.
std::filesystem::path programFile();

// Whether `stream` (stdout or stderr) is a terminal a person watches, for redrawn lines.
bool isTerminal(std::FILE* stream);

// setenv, for values the program and the programs it starts see.
void setEnvironment(const char* name, const char* value);

}  // namespace platform
