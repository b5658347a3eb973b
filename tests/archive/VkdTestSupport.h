#pragma once
// Helpers shared by the archive tests: files and scratch directories, SHA-256 for
// checking entries by their published digests, hand-made archive blocks, and running
// the command-line tools (vkd, unar, lsar) with their output captured.

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/RarArchive.h"
#include "archive/RarCrc.h"
#include "archive/RarWriter.h"
#include "support/TempDir.h"

namespace vkdtest {

namespace fs = std::filesystem;

inline const std::string kRealArchives = DE_TESTDATA_DIR "/rar20/";

inline std::vector<uint8_t> readBytes(const fs::path& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.string().c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return bytes;
}

inline void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::FILE* f = std::fopen(path.string().c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// A fresh directory, removed with everything in it when the object goes.
struct ScratchDir : TempDir {
  ScratchDir() : TempDir("vkdtest") {}
};

inline std::string sha256Hex(const uint8_t* data, size_t size) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::vector<uint8_t> m(data, data + size);
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  const uint64_t bits = uint64_t(size) * 8;
  for (int i = 7; i >= 0; --i) m.push_back(uint8_t(bits >> (8 * i)));
  auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (size_t block = 0; block < m.size(); block += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(m[block + 4 * i]) << 24 | uint32_t(m[block + 4 * i + 1]) << 16 |
             uint32_t(m[block + 4 * i + 2]) << 8 | m[block + 4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
  }
  std::string hex;
  char digits[9];
  for (uint32_t v : h) {
    std::snprintf(digits, sizeof digits, "%08x", v);
    hex += digits;
  }
  return hex;
}

// [SECTION] Hand-made archives

// Builds an archive block by block, for headers the writer never produces.
class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(const std::string& password = "", bool solid = false) : writer_(password) {
    bytes_ = writer_.start();
    if (solid) setMainFlags(rar::kMainSolid);
  }
  void setMainFlags(uint16_t flags) {
    bytes_[10] = uint8_t(flags);
    bytes_[11] = uint8_t(flags >> 8);
    resealAt(7, rar::kMainHeaderSize);
  }
  // A stored entry as the vkd tool writes it; returns its header offset.
  size_t addFile(const std::string& name, const std::vector<uint8_t>& data) {
    const size_t at = bytes_.size();
    const auto entry = writer_.entry({name, data.data(), data.size(), 0x00210000});
    bytes_.insert(bytes_.end(), entry.begin(), entry.end());
    return at;
  }
  // A compressed entry with the given packed stream.
  size_t addPacked(const std::string& name, const std::vector<uint8_t>& packed,
                   const std::vector<uint8_t>& original, uint8_t version = 20, uint16_t extraFlags = 0) {
    const size_t at = bytes_.size();
    std::vector<uint8_t> h;
    put16(h, 0);
    h.push_back(rar::kFileHeader);
    put16(h, rar::kBlockHasData | extraFlags);
    put16(h, uint32_t(rar::kFileHeaderSize + name.size()));
    put32(h, uint32_t(packed.size()));
    put32(h, uint32_t(original.size()));
    h.push_back(rar::kHostWin32);
    put32(h, rar::crc32(0, original.data(), original.size()));
    put32(h, 0x00210000);
    h.push_back(version);
    h.push_back(0x33);
    put16(h, uint32_t(name.size()));
    put32(h, 0x20);
    h.insert(h.end(), name.begin(), name.end());
    seal(h, 0, h.size());
    bytes_.insert(bytes_.end(), h.begin(), h.end());
    bytes_.insert(bytes_.end(), packed.begin(), packed.end());
    return at;
  }
  // Any other block: the common header, the data size when there is data, then the data.
  void addBlock(uint8_t type, uint16_t flags, const std::vector<uint8_t>& headerExtra,
                const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> h;
    put16(h, 0);
    h.push_back(type);
    put16(h, flags | (data.empty() ? 0 : rar::kBlockHasData));
    const size_t size = 7 + (data.empty() ? 0 : 4) + headerExtra.size();
    put16(h, uint32_t(size));
    if (!data.empty()) put32(h, uint32_t(data.size()));
    h.insert(h.end(), headerExtra.begin(), headerExtra.end());
    seal(h, 0, h.size());
    bytes_.insert(bytes_.end(), h.begin(), h.end());
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  void addEnd() {
    const auto end = writer_.end();
    bytes_.insert(bytes_.end(), end.begin(), end.end());
  }
  // Changes one header field and fixes the header's CRC, so only the field differs.
  void patchByte(size_t headerAt, size_t offset, uint8_t value) {
    const size_t size = bytes_[headerAt + 5] | bytes_[headerAt + 6] << 8;  // before the change
    bytes_[headerAt + offset] = value;
    resealAt(headerAt, size);
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  static void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
  }
  static void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
  }
  static void seal(std::vector<uint8_t>& v, size_t at, size_t size) {
    const uint16_t crc = rar::headerCrc(v.data() + at + 2, size - 2);
    v[at] = uint8_t(crc);
    v[at + 1] = uint8_t(crc >> 8);
  }
  void resealAt(size_t at, size_t size) { seal(bytes_, at, size); }

  rar::ArchiveWriter writer_;
  std::vector<uint8_t> bytes_;
};

// Reads `path` from an archive held in memory, the way the player reads its archive.
inline rar::Status getFromMemory(const std::vector<uint8_t>& archive, const std::string& path,
                                 const std::string& password, std::vector<uint8_t>& out) {
  rar::MemorySource source(archive.data(), archive.size());
  rar::ArchiveReader reader(rar::readIndex(source));
  rar::Block block;
  const rar::Status status = reader.get(source, path, password, block);
  out.assign(block.data(), block.data() + block.size());
  return status;
}

// [SECTION] Commands

struct CommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// Runs a shell command with its output captured, so that nothing it prints reaches the
// test log unless a test shows it.
inline CommandResult run(const std::string& command) {
  CommandResult result;
#ifdef _WIN32
  // No POSIX shell to run the commands the tests write; the tests that need one skip.
  (void)command;
#else
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, got);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return result;
}

inline std::string shellQuoted(const fs::path& path) {
  std::string q = "'";
  for (char c : path.string()) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline bool haveCommand(const std::string& name) {
#ifdef _WIN32
  (void)name;
  return false;
#else
  return run("command -v " + name + " >/dev/null").exitCode == 0;
#endif
}

inline const std::string kVkd = DE_BINARY_DIR "/tools/vkd/vkd";

}  // namespace vkdtest
