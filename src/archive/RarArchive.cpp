#include "archive/RarArchive.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "archive/RarCrc.h"

namespace rar {

namespace {

inline uint16_t load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Decoded entries a solid archive keeps for later requests, at most this many bytes.
constexpr size_t kMaxDecodedAhead = size_t(256) << 20;
// The packed-data buffer is reused between entries up to this size, then given back.
constexpr size_t kMaxKeptInput = size_t(4) << 20;

}  // namespace

// [SECTION] Sources

bool MemorySource::readAt(uint64_t offset, void* destination, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  if (count > 0) std::memcpy(destination, data_ + offset, count);
  return true;
}

std::unique_ptr<FileSource> FileSource::open(const char* path) {
  std::unique_ptr<FileSource> source(new FileSource());
  if (!source->file_.open(path)) return nullptr;
  source->size_ = source->file_.identity().size;
  return source;
}

FileSource::~FileSource() = default;

bool FileSource::readAt(uint64_t offset, void* destination, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  return file_.readAt(offset, destination, count);
}

// [SECTION] Index

namespace {

// The part of a file header the index keeps. False when the header cannot hold its
// fields and name.
bool parseFileHeader(const uint8_t* header, size_t headerSize, uint64_t offset, Entry& entry) {
  if (headerSize < kFileHeaderSize) return false;
  entry.headerOffset = offset;
  entry.flags = load16(header + 3);
  entry.packedSize = load32(header + 7);
  entry.unpackedSize = load32(header + 11);
  entry.hostOs = header[15];
  entry.crc = load32(header + 16);
  entry.fileTime = load32(header + 20);
  entry.version = header[24];
  entry.method = header[25];
  const size_t nameSize = load16(header + 26);
  entry.attributes = load32(header + 28);

  size_t nameOffset = kFileHeaderSize;
  if (entry.flags & kFileLarge) {
    if (headerSize < kFileHeaderSize + 8) return false;
    entry.packedSize |= uint64_t(load32(header + 32)) << 32;
    entry.unpackedSize |= uint64_t(load32(header + 36)) << 32;
    nameOffset += 8;
  }
  if (nameSize > headerSize - nameOffset) return false;
  const char* name = reinterpret_cast<const char*>(header + nameOffset);
  const size_t kept = std::min(nameSize, kMaxNameLength);
  entry.name.assign(name, strnlen(name, kept));

  // A comment inside the header lies outside the checked part, as in the main header.
  const size_t checked = (entry.flags & kFileHasComment) ? nameOffset + nameSize : headerSize;
  entry.headerCrcOk = headerCrc(header + 2, checked - 2) == load16(header);
  entry.dataOffset = offset + headerSize;
  return true;
}

}  // namespace

ArchiveIndex readIndex(ByteSource& source) {
  ArchiveIndex index;
  const uint64_t size = source.size();

  uint8_t marker[sizeof kMarker];
  if (!source.readAt(0, marker, sizeof marker)) return index;
  if (std::memcmp(marker, kMarker, sizeof marker) != 0 &&
      std::memcmp(marker, kOldMarker, sizeof marker) != 0)
    return index;

  uint8_t main[kMainHeaderSize];
  if (!source.readAt(sizeof kMarker, main, sizeof main)) return index;
  const uint16_t mainSize = load16(main + 5);
  if (main[2] != kMainHeader || mainSize < kMainHeaderSize) return index;
  index.mainFlags = load16(main + 3);
  if (index.mainFlags & kMainHeadersEncrypted) return index;
  uint64_t position = sizeof kMarker + uint64_t(mainSize);
  if (position > size) return index;
  {
    std::vector<uint8_t> whole(mainSize);
    if (!source.readAt(sizeof kMarker, whole.data(), whole.size())) return index;
    const size_t checked = (index.mainFlags & kMainHasComment) ? kMainHeaderSize : mainSize;
    index.mainHeaderCrcOk = headerCrc(whole.data() + 2, checked - 2) == load16(main);
  }
  index.valid = true;

  std::vector<uint8_t> header;
  for (;;) {
    uint8_t common[kBlockHeaderSize + 4];
    if (position == size) {
      index.end = WalkEnd::EndOfFile;
      break;
    }
    if (!source.readAt(position, common, kBlockHeaderSize)) {
      index.end = WalkEnd::Truncated;
      break;
    }
    const uint8_t type = common[2];
    const uint16_t flags = load16(common + 3);
    const uint16_t headerSize = load16(common + 5);
    if (headerSize < kBlockHeaderSize) {
      index.end = WalkEnd::BadHeader;
      break;
    }
    if (type == kEndOfArchive) {
      index.end = WalkEnd::EndBlock;
      break;
    }
    if (position + headerSize > size) {
      index.end = WalkEnd::Truncated;
      break;
    }

    uint64_t dataSize = 0;
    if (type == kFileHeader) {
      header.resize(headerSize);
      Entry entry;
      if (!source.readAt(position, header.data(), headerSize) ||
          !parseFileHeader(header.data(), headerSize, position, entry)) {
        index.end = WalkEnd::BadHeader;
        break;
      }
      dataSize = entry.packedSize;
      entry.dataComplete = entry.dataOffset <= size && dataSize <= size - entry.dataOffset;
      index.entries.push_back(std::move(entry));
    } else if (flags & kBlockHasData) {
      if (headerSize < kBlockHeaderSize + 4) {
        index.end = WalkEnd::BadHeader;
        break;
      }
      if (!source.readAt(position + kBlockHeaderSize, common + kBlockHeaderSize, 4)) {
        index.end = WalkEnd::Truncated;
        break;
      }
      dataSize = load32(common + kBlockHeaderSize);
    }

    const uint64_t next = position + headerSize;
    if (dataSize > size - next) {
      index.end = WalkEnd::Truncated;
      break;
    }
    position = next + dataSize;
  }
  return index;
}

std::string nameKey(std::string_view name) {
  std::string key(name.substr(0, 512));
  for (char& c : key) {
    if (c == '\\' || c == '/') c = '_';
    else if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

// [SECTION] Blocks

Block::~Block() { std::free(data_); }

Block::Block(Block&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

Block& Block::operator=(Block&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool Block::allocate(size_t size, size_t capacity) {
  std::free(data_);
  size_ = 0;
  data_ = static_cast<uint8_t*>(std::malloc(std::max(size + kZeroTail, capacity)));
  if (data_ == nullptr) return false;
  size_ = size;
  return true;
}

void Block::seal() {
  if (data_ != nullptr) std::memset(data_ + size_, 0, kZeroTail);
}

uint8_t* Block::release() {
  size_ = 0;
  return std::exchange(data_, nullptr);
}

const char* statusText(Status status) {
  switch (status) {
    case Status::Ok: return "ok";
    case Status::NotFound: return "no such entry";
    case Status::BadArchive: return "not a RAR 2.x archive";
    case Status::Unsupported: return "needs a RAR version this reader does not support";
    case Status::TooLarge: return "entry too large";
    case Status::Truncated: return "archive truncated";
    case Status::BadData: return "corrupt packed data";
    case Status::CrcMismatch: return "CRC mismatch (damaged, or wrong password)";
    case Status::EarlierFailed: return "an earlier entry of the solid archive failed";
    case Status::ReadError: return "read error";
  }
  return "?";
}

// [SECTION] Extraction

ArchiveReader::ArchiveReader(ArchiveIndex index) : index_(std::move(index)) {
  for (size_t i = 0; i < index_.entries.size(); ++i) {
    const Entry& entry = index_.entries[i];
    if (!entry.isDirectory()) firstByKey_.emplace(nameKey(entry.name), i);
  }
}

long ArchiveReader::find(std::string_view path) const {
  const auto it = firstByKey_.find(nameKey(path));
  return it == firstByKey_.end() ? -1 : static_cast<long>(it->second);
}

void ArchiveReader::setPassword(std::string_view password) {
  if (passwordSet_ && password == password_) return;
  password_.assign(password);
  passwordSet_ = true;
  cipher_.setPassword(password_.data(), password_.size());
  // Decoded results depend on the password: start the solid decoder over.
  chain_.reset();
  chainNext_ = 0;
  chainFailed_ = std::numeric_limits<size_t>::max();
  decodedAhead_.clear();
  decodedAheadBytes_ = 0;
}

Status ArchiveReader::get(ByteSource& source, std::string_view path, std::string_view password,
                          Block& out) {
  if (!index_.valid) return Status::BadArchive;
  const long i = find(path);
  if (i < 0) return Status::NotFound;
  return extract(source, static_cast<size_t>(i), password, out);
}

Status ArchiveReader::extract(ByteSource& source, size_t i, std::string_view password,
                              Block& out) {
  if (!index_.valid) return Status::BadArchive;
  if (i >= index_.entries.size()) return Status::NotFound;
  setPassword(password);
  if (index_.isSolid()) return extractSolid(source, i, out);
  return decodeEntry(source, index_.entries[i], false, out);
}

Status ArchiveReader::extractSolid(ByteSource& source, size_t i, Block& out) {
  if (i >= chainFailed_) return i == chainFailed_ ? chainFailure_ : Status::EarlierFailed;
  if (auto it = decodedAhead_.find(i); it != decodedAhead_.end()) {
    decodedAheadBytes_ -= it->second.size();
    out = std::move(it->second);
    decodedAhead_.erase(it);
    return Status::Ok;
  }
  if (!chain_ || i < chainNext_) {
    if (!chain_) chain_ = std::make_unique<Rar20Unpacker>();
    chain_->reset();
    chainNext_ = 0;
  }

  for (size_t j = chainNext_; j <= i; ++j) {
    const Entry& entry = index_.entries[j];
    chainNext_ = j + 1;
    if (entry.isDirectory()) continue;
    Block block;
    // Each entry of a solid archive but the first says that it continues the stream; one
    // that does not starts afresh, as RAR's own readers treat it.
    const Status status = decodeEntry(source, entry, entry.continuesStream(), block);
    if (status != Status::Ok) {
      chainFailed_ = j;
      chainFailure_ = status;
      return j == i ? status : Status::EarlierFailed;
    }
    if (j == i) {
      out = std::move(block);
      return Status::Ok;
    }
    // Keep what a later request may ask for: the entry its name leads to.
    const bool reachable = find(entry.name) == static_cast<long>(j);
    if (reachable && !decodedAhead_.count(j) &&
        decodedAheadBytes_ + block.size() <= kMaxDecodedAhead) {
      decodedAheadBytes_ += block.size();
      decodedAhead_.emplace(j, std::move(block));
    }
  }
  return Status::NotFound;  // i was a directory
}

Status ArchiveReader::decodeEntry(ByteSource& source, const Entry& entry, bool continues,
                                  Block& out) {
  if (entry.version < kMinVersion || entry.version > kMaxVersion) return Status::Unsupported;
  // Versions below 20 use the RAR 1.5 algorithm and cipher: only plain stored data reads.
  if (entry.version < kMaxVersion && (!entry.isStored() || entry.isEncrypted()))
    return Status::Unsupported;
  if (entry.flags & (kFileSplitBefore | kFileSplitAfter)) return Status::Unsupported;
  if (entry.unpackedSize > kMaxEntrySize) return Status::TooLarge;
  if (!entry.dataComplete) return Status::Truncated;

  const bool decrypt = entry.isEncrypted() && !password_.empty();
  const size_t unpacked = static_cast<size_t>(entry.unpackedSize);
  if (decrypt && entry.packedSize % Rar20Cipher::kBlockSize != 0) return Status::BadData;

  if (entry.isStored()) {
    if (entry.packedSize < unpacked) return Status::BadData;
    const size_t blocks = decrypt ? (unpacked + 15) / 16 * 16 : unpacked;
    if (!out.allocate(unpacked, blocks)) return Status::TooLarge;
    if (!source.readAt(entry.dataOffset, out.data(), blocks)) return Status::ReadError;
    if (decrypt) {
      Rar20Cipher cipher = cipher_;
      cipher.decrypt(out.data(), blocks);
    }
  } else {
    if (unpacked / Rar20Unpacker::kMaxBytesPerInputBit / 8 > entry.packedSize)
      return Status::BadData;
    const size_t packed = static_cast<size_t>(entry.packedSize);
    input_.resize(packed + Rar20Unpacker::kInputPadding);
    if (!source.readAt(entry.dataOffset, input_.data(), packed)) return Status::ReadError;
    std::memset(input_.data() + packed, 0, Rar20Unpacker::kInputPadding);
    if (decrypt) {
      Rar20Cipher cipher = cipher_;
      cipher.decrypt(input_.data(), packed);
    }
    if (!out.allocate(unpacked)) return Status::TooLarge;
    Rar20Unpacker* unpacker = index_.isSolid() ? chain_.get() : unpacker_.get();
    if (unpacker == nullptr) unpacker = (unpacker_ = std::make_unique<Rar20Unpacker>()).get();
    const bool unpackedOk =
        unpacker->unpack(input_.data(), packed, out.data(), unpacked, continues, index_.isSolid());
    if (input_.capacity() > kMaxKeptInput) std::vector<uint8_t>().swap(input_);
    if (!unpackedOk) {
      out = Block();
      return Status::BadData;
    }
  }
  out.seal();
  if (crc32(0, out.data(), unpacked) != entry.crc) {
    out = Block();
    return Status::CrcMismatch;
  }
  return Status::Ok;
}

}  // namespace rar
