#pragma once
// Reading RAR 2.x archives: the block walk that indexes the entries, and the extraction
// of one entry (decrypt, then copy or unpack, then check the CRC32). The archive bytes
// come from a ByteSource, so the same code reads files on disk and blocks in memory.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/Rar20Cipher.h"
#include "archive/Rar20Unpack.h"
#include "platform/Files.h"

namespace rar {

// [SECTION] Format constants

inline constexpr uint8_t kMarker[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
inline constexpr uint8_t kOldMarker[7] = {'U', 'n', 'i', 'q', 'u', 'E', '!'};

enum BlockType : uint8_t {
  kMainHeader = 0x73,
  kFileHeader = 0x74,
  kCommentBlock = 0x75,
  kOldSubBlock = 0x77,  // e.g. Unix owner data after a file; skipped like any other block
  kEndOfArchive = 0x7B,
};

enum : uint16_t {
  kMainHasComment = 0x0002,
  kMainSolid = 0x0008,
  kMainHeadersEncrypted = 0x0080,  // RAR 3.x only

  kFileSplitBefore = 0x0001,
  kFileSplitAfter = 0x0002,
  kFileEncrypted = 0x0004,
  kFileHasComment = 0x0008,
  kFileSolid = 0x0010,          // continues the stream of the entry before it
  kFileDirectoryMask = 0x00E0,  // all three dictionary bits set: a directory
  kFileLarge = 0x0100,          // 64-bit sizes: the high halves follow the attributes

  kBlockHasData = 0x8000,  // a 4-byte data size follows the common header
};

inline constexpr size_t kBlockHeaderSize = 7;
inline constexpr size_t kMainHeaderSize = 13;
inline constexpr size_t kFileHeaderSize = 32;
inline constexpr size_t kMaxNameLength = 259;  // longer stored names are cut for matching
inline constexpr uint8_t kMethodStored = 0x30;
inline constexpr uint8_t kMinVersion = 13;
inline constexpr uint8_t kMaxVersion = 20;
inline constexpr uint8_t kHostWin32 = 2;

// The largest entry this reader unpacks: refused before anything is allocated.
inline constexpr uint64_t kMaxEntrySize = uint64_t(1) << 30;

// [SECTION] Sources

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly `count` bytes at `offset`; false when they are not all there.
  virtual bool readAt(uint64_t offset, void* destination, size_t count) = 0;
};

class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  bool readAt(uint64_t offset, void* destination, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

class FileSource final : public ByteSource {
 public:
  // Null when the path cannot be opened as a regular file.
  static std::unique_ptr<FileSource> open(const char* path);
  ~FileSource() override;
  uint64_t size() const override { return size_; }
  bool readAt(uint64_t offset, void* destination, size_t count) override;

  // What identifies this version of the file: a change means the archive was replaced.
  using Identity = platform::FileIdentity;
  const Identity& identity() const { return file_.identity(); }

 private:
  FileSource() = default;
  platform::ReadOnlyFile file_;
  uint64_t size_ = 0;
};

// [SECTION] Index

struct Entry {
  std::string name;  // as stored, cut at kMaxNameLength bytes and at a zero byte
  uint64_t headerOffset = 0;
  uint64_t dataOffset = 0;
  uint64_t packedSize = 0;
  uint64_t unpackedSize = 0;
  uint32_t crc = 0;
  uint32_t fileTime = 0;  // MS-DOS date and time
  uint32_t attributes = 0;
  uint16_t flags = 0;
  uint8_t hostOs = 0;
  uint8_t version = 0;
  uint8_t method = 0;
  bool headerCrcOk = false;
  bool dataComplete = false;  // the packed data lies wholly inside the archive

  bool isDirectory() const { return (flags & kFileDirectoryMask) == kFileDirectoryMask; }
  bool isEncrypted() const { return (flags & kFileEncrypted) != 0; }
  bool isStored() const { return method == kMethodStored; }
  bool continuesStream() const { return (flags & kFileSolid) != 0; }
};

enum class WalkEnd {
  EndBlock,      // the end-of-archive block
  EndOfFile,     // the last block ended exactly at the end of the source
  Truncated,     // a block reaches past the end of the source
  BadHeader,     // a header too short for its type
};

struct ArchiveIndex {
  bool valid = false;  // the marker and the main header were found
  uint16_t mainFlags = 0;
  bool mainHeaderCrcOk = false;
  std::vector<Entry> entries;
  WalkEnd end = WalkEnd::EndOfFile;

  bool isSolid() const { return (mainFlags & kMainSolid) != 0; }
};

// Walks the blocks by their sizes. Never fails as such: an unreadable archive gives an
// index that is not valid, and a damaged one the entries before the damage.
ArchiveIndex readIndex(ByteSource& source);

// The form in which paths are compared: cut to 512 bytes, '\' and '/' made '_', ASCII
// upper case. Two names match when their keys are byte-equal.
std::string nameKey(std::string_view name);

// [SECTION] Extraction

enum class Status {
  Ok,
  NotFound,
  BadArchive,     // no marker or main header
  Unsupported,    // version, split entry, RAR 1.5 algorithm or cipher
  TooLarge,       // over kMaxEntrySize
  Truncated,      // the packed data is not all in the archive
  BadData,        // cannot be decoded
  CrcMismatch,    // decoded, but not the bytes stored (also a wrong password)
  EarlierFailed,  // a solid archive whose earlier entry failed
  ReadError,
};

const char* statusText(Status status);

// A malloc'd block handed out to callers: `size` bytes followed by kZeroTail zero bytes.
class Block {
 public:
  static constexpr size_t kZeroTail = 10;

  Block() = default;
  ~Block();
  Block(Block&& other) noexcept;
  Block& operator=(Block&& other) noexcept;
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  // Room for max(size + kZeroTail, capacity) bytes; false when out of memory.
  bool allocate(size_t size, size_t capacity = 0);
  // Zeroes the tail after the data has been written.
  void seal();
  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  // Hands the memory over to the caller, who frees it with free().
  uint8_t* release();

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// One archive's index with the state that makes repeated requests cheap: the position of
// a solid archive's decoder and the entries it decoded on the way that were not asked
// for yet. The source is passed to every call, since a file may be reopened between them.
class ArchiveReader {
 public:
  explicit ArchiveReader(ArchiveIndex index);
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  const ArchiveIndex& index() const { return index_; }

  // The first entry (not a directory) matching `path` by the name rule, or -1.
  long find(std::string_view path) const;

  // Extracts entry `i`. In a solid archive every earlier entry is decoded first, unless
  // the decoder already stands past it; results are the same as decoding from the start.
  Status extract(ByteSource& source, size_t i, std::string_view password, Block& out);

  // Looks `path` up and extracts it.
  Status get(ByteSource& source, std::string_view path, std::string_view password, Block& out);

 private:
  Status extractAlone(ByteSource& source, const Entry& entry, Block& out);
  Status extractSolid(ByteSource& source, size_t i, Block& out);
  Status decodeEntry(ByteSource& source, const Entry& entry, bool continues, Block& out);
  void setPassword(std::string_view password);

  ArchiveIndex index_;
  std::unordered_map<std::string, size_t> firstByKey_;

  std::string password_;
  bool passwordSet_ = false;
  Rar20Cipher cipher_;  // keyed once per password; copied for every entry

  std::vector<uint8_t> input_;  // packed data of the entry being unpacked
  std::unique_ptr<Rar20Unpacker> unpacker_;  // for entries of non-solid archives

  // Solid archives: the decoder stands before entry chainNext_; entries from chainFailed_
  // on cannot be decoded.
  std::unique_ptr<Rar20Unpacker> chain_;
  size_t chainNext_ = 0;
  size_t chainFailed_ = std::numeric_limits<size_t>::max();
  Status chainFailure_ = Status::Ok;
  std::unordered_map<size_t, Block> decodedAhead_;
  size_t decodedAheadBytes_ = 0;
};

}  // namespace rar
