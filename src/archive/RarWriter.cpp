#include "archive/RarWriter.h"

#include <algorithm>
#include <cstring>

#include "archive/RarArchive.h"
#include "archive/RarCrc.h"
#include "platform/Files.h"

namespace rar {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// Fills in the CRC of the header that starts at `offset` and runs to the end of `out`.
void sealHeader(std::vector<uint8_t>& out, size_t offset) {
  const uint16_t crc = headerCrc(out.data() + offset + 2, out.size() - offset - 2);
  out[offset] = uint8_t(crc);
  out[offset + 1] = uint8_t(crc >> 8);
}

constexpr uint32_t kArchiveAttribute = 0x20;  // MS-DOS "archive" bit, as RAR sets for files

}  // namespace

ArchiveWriter::ArchiveWriter(std::string_view password) : encrypt_(!password.empty()) {
  if (encrypt_) cipher_.setPassword(password.data(), password.size());
}

std::vector<uint8_t> ArchiveWriter::start() const {
  std::vector<uint8_t> out(std::begin(kMarker), std::end(kMarker));
  const size_t header = out.size();
  put16(out, 0);
  out.push_back(kMainHeader);
  put16(out, 0);
  put16(out, kMainHeaderSize);
  put16(out, 0);  // reserved
  put32(out, 0);  // reserved
  sealHeader(out, header);
  return out;
}

std::vector<uint8_t> ArchiveWriter::entry(const StoredFile& file) const {
  const size_t packed = encrypt_ ? (file.size + 15) / 16 * 16 : file.size;
  std::vector<uint8_t> out;
  out.reserve(kFileHeaderSize + file.name.size() + packed);
  put16(out, 0);
  out.push_back(kFileHeader);
  put16(out, kBlockHasData | (encrypt_ ? kFileEncrypted : 0));
  put16(out, static_cast<uint32_t>(kFileHeaderSize + file.name.size()));
  put32(out, static_cast<uint32_t>(packed));
  put32(out, static_cast<uint32_t>(file.size));
  out.push_back(kHostWin32);
  put32(out, crc32(0, file.data, file.size));
  put32(out, file.dosTime);
  out.push_back(kMaxVersion);
  out.push_back(kMethodStored);
  put16(out, static_cast<uint32_t>(file.name.size()));
  put32(out, kArchiveAttribute);
  out.insert(out.end(), file.name.begin(), file.name.end());
  sealHeader(out, 0);

  const size_t dataStart = out.size();
  if (file.size > 0) out.insert(out.end(), file.data, file.data + file.size);
  out.resize(dataStart + packed, 0);
  if (encrypt_) {
    Rar20Cipher cipher = cipher_;
    cipher.encrypt(out.data() + dataStart, packed);
  }
  return out;
}

std::vector<uint8_t> ArchiveWriter::end() const {
  std::vector<uint8_t> out;
  put16(out, 0);
  out.push_back(kEndOfArchive);
  put16(out, 0x4000);  // "skip if unknown", as RAR writes it on this block
  put16(out, kBlockHeaderSize);
  sealHeader(out, 0);
  return out;
}

uint32_t dosTimeFromUnix(std::time_t seconds) {
  std::tm t{};
  platform::utcCalendarTime(seconds, &t);
  const int year = t.tm_year + 1900;
  if (year < 1980) return (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
  if (year > 2107) return 0xFF9FBF7Du;             // 2107-12-31 23:59:58
  return uint32_t(year - 1980) << 25 | uint32_t(t.tm_mon + 1) << 21 | uint32_t(t.tm_mday) << 16 |
         uint32_t(t.tm_hour) << 11 | uint32_t(t.tm_min) << 5 | uint32_t(t.tm_sec / 2);
}

}  // namespace rar
