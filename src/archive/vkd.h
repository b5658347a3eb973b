#pragma once
// Data files: read whole into memory, either from the demo's password-protected archive
// (after openArchive) or, before that, from disk.

#include <cstddef>
#include <cstdint>

// One loaded data file with a stdio-style read position.
// `data` is always followed by at least 10 zero bytes (not counted in `size`), so text
// parsers may treat it as a terminated string.
struct MemoryFile {
  uint32_t size = 0;
  uint32_t position = 0;
  uint8_t* data = nullptr;
  bool ok = false;

  explicit MemoryFile(const char* path);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
};

// Stores the archive name and password and reads every later file from the archive.
void openArchive(const char* archiveName, const char* password);

// Without an archive, a path that is not on disk as written is looked up the way the archive
// matches names ('\' and '/' alike, any letter case), so an unpacked demo reads as its
// archive will. Off by default: a plain run reads exactly the path it is given.
void setDiskNamesLikeArchive(bool on);

// The loaded file, or null when it could not be found, decrypted, unpacked or verified.
MemoryFile* loadFile(const char* path);

// Copies whole elements only; returns how many were copied. Null arguments are the caller's
// bug: a fault report (below), which ends the process; should the handler return, 0.
size_t read(void* destination, size_t elementSize, size_t count, MemoryFile* file);

// Frees the file; null is ignored.
void closeFile(MemoryFile* file);

// Reads one entry of a RAR 2.x archive. Returns 1 and hands over a malloc'd block
// (size + 10 zero bytes) on success; anything else means failure and leaves *data null.
// The entries of the last few archives stay indexed (and a solid archive's decoder stays
// where it stopped) for as long as the file on disk is unchanged, so loading every file
// of an archive costs about one pass over it; the results are those of reading each
// request from the start of the archive.
int archiveGet(const char* path, const char* archiveName, const char* password, uint8_t** data,
               uint32_t* size);

// A caller's bug found here (a null argument), with the module and line that found it. The
// archive sits below the program's error reporting, which installs its fatal "assertion
// failed" report as the handler; until one is installed (the vkd tool), the same line goes
// to stderr and the process ends with exit code 1.
using ArchiveFaultHandler = void (*)(const char* sourceFile, int line);
void setArchiveFaultHandler(ArchiveFaultHandler handler);
