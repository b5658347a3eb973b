#pragma once
// Writing RAR 2.0 archives of stored entries, as the `vkd` tool packs demo data: the
// marker, a main header, one file header and its data per entry (encrypted with the
// RAR 2.0 cipher when there is a password), and an end-of-archive block.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "archive/Rar20Cipher.h"

namespace rar {

struct StoredFile {
  std::string name;  // relative path with '\' separators, as RAR stores it
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint32_t dosTime = 0;
};

class ArchiveWriter {
 public:
  // An empty password writes plain entries.
  explicit ArchiveWriter(std::string_view password);

  // The marker and the main header.
  std::vector<uint8_t> start() const;
  // One entry: its header and its (encrypted, zero-padded to 16 bytes) data. Names longer
  // than kMaxNameLength bytes and files over kMaxEntrySize are the caller's to refuse.
  std::vector<uint8_t> entry(const StoredFile& file) const;
  // The end-of-archive block.
  std::vector<uint8_t> end() const;

 private:
  bool encrypt_;
  Rar20Cipher cipher_;
};

// MS-DOS date and time (two-second steps, 1980 to 2107) of a Unix time, in UTC so that
// the same file gives the same archive on every machine.
uint32_t dosTimeFromUnix(std::time_t seconds);

}  // namespace rar
