#pragma once
// RAR 2.0 decompression ("version 20" methods 0x31-0x35): an LZ77 coder over a 1 MiB
// window with three canonical Huffman codes (literals and match kinds, distance slots,
// length slots), and a multimedia mode that predicts each byte of up to four interleaved
// channels from the channel's previous bytes and codes the prediction error. Code
// lengths arrive delta-coded against the previous table through a 19-symbol pre-code.
//
// Entries of a solid archive continue one stream: the tables, the distance history, the
// predictors and the window carry over from one entry to the next.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rar {

// Reads bits most significant first. The input must be followed by kPadding readable
// bytes (any value): peeks may look that far ahead, and running into them is reported by
// overrun() instead of being prevented on every read. Callers check overrun() at least
// once per symbol, so no read starts more than a few bytes past the end.
class BitReader {
 public:
  static constexpr size_t kPadding = 32;

  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t peek(int count) const {  // 0..32 bits
    uint64_t word;
    __builtin_memcpy(&word, data_ + (position_ >> 3), 8);
    word = __builtin_bswap64(word) << (position_ & 7);
    return static_cast<uint32_t>((word >> 32) >> (32 - count));
  }
  void skip(int count) { position_ += static_cast<uint64_t>(count); }
  uint32_t read(int count) {
    const uint32_t value = peek(count);
    skip(count);
    return value;
  }
  // True once more bits were consumed than the input holds.
  bool overrun() const { return position_ > uint64_t(size_) * 8; }
  // Whole bytes from the one holding the next bit to the end of the input.
  size_t bytesLeft() const {
    const uint64_t byte = position_ >> 3;
    return byte < size_ ? size_ - byte : 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  uint64_t position_ = 0;
};

// A canonical prefix code (shorter codes first, equal lengths in symbol order, the first
// code all zeros) with lengths up to 15 bits. Incomplete codes are allowed; a bit pattern
// that no symbol owns decodes as an error.
class HuffmanCode {
 public:
  static constexpr int kMaxLength = 15;
  static constexpr int kMaxSymbols = 298;

  // False when the lengths ask for more codes than exist (an over-full code).
  bool build(const uint8_t* lengths, int symbolCount);
  // The next symbol, or -1 for a pattern without a symbol.
  int decode(BitReader& bits) const {
    const uint16_t quick = quick_[bits.peek(kQuickBits)];
    if (quick != 0) {
      bits.skip(quick >> 12);
      return quick & 0xFFF;
    }
    return decodeLong(bits);
  }

 private:
  static constexpr int kQuickBits = 10;

  int decodeLong(BitReader& bits) const;

  // Codes of up to kQuickBits bits, indexed by the next kQuickBits input bits:
  // symbol | length << 12, or 0 where the code is longer (or missing).
  uint16_t quick_[1 << kQuickBits] = {};
  // Left-justified to 15 bits: the first code of each length and the end of that length.
  uint32_t first_[kMaxLength + 1] = {};
  uint32_t limit_[kMaxLength + 1] = {};
  uint16_t offset_[kMaxLength + 1] = {};  // index of the first symbol of each length
  uint16_t symbols_[kMaxSymbols] = {};    // symbols sorted by code
};

class Rar20Unpacker {
 public:
  static constexpr size_t kInputPadding = BitReader::kPadding;
  static constexpr size_t kWindowSize = 0x100000;
  // The longest output one input bit can produce: a repeated match of the greatest
  // length. Bounds the unpacked size an entry can claim for its packed size.
  static constexpr uint64_t kMaxBytesPerInputBit = 260;

  Rar20Unpacker();

  // Forgets all state: the next entry starts a new stream.
  void reset();

  // Unpacks exactly outputSize bytes of one entry from its whole packed data (followed by
  // kInputPadding readable bytes). `continues`: the entry carries on the previous entry's
  // stream (solid archives), else everything starts afresh. `keep`: a later entry may
  // carry on this one, so its window and any tables trailing its data are kept. False on
  // data that cannot be decoded; the state is then unusable until reset().
  bool unpack(const uint8_t* input, size_t inputSize, uint8_t* output, size_t outputSize,
              bool continues, bool keep);

 private:
  struct AudioChannel {
    int weight[5] = {};
    int delta[4] = {};
    int lastDelta = 0;
    int lastByte = 0;
    int error[11] = {};
    unsigned count = 0;
  };

  bool readTables(BitReader& bits);
  bool decodeLz(BitReader& bits, uint8_t* output, size_t& position, size_t size);
  bool decodeAudio(BitReader& bits, uint8_t* output, size_t& position, size_t size);
  bool copyMatch(uint8_t* output, size_t position, size_t size, uint32_t distance,
                 uint32_t length) const;
  uint8_t predictAudio(AudioChannel& channel, int code);
  void readTrailingTables(BitReader& bits);
  void keepHistory(const uint8_t* output, size_t size);

  // Code lengths of the current tables, kept for the delta coding of the next ones:
  // 298 + 48 + 28 for LZ blocks, 257 per channel for audio blocks.
  uint8_t lengths_[257 * 4] = {};
  bool tablesRead_ = false;
  bool audioBlock_ = false;
  HuffmanCode mainCode_, distanceCode_, lengthCode_;
  HuffmanCode audioCode_[4];

  uint32_t oldDistance_[4] = {};
  unsigned oldDistancePosition_ = 0;
  uint32_t lastDistance_ = 0;
  uint32_t lastLength_ = 0;

  AudioChannel channels_[4];
  int channelCount_ = 1;
  int currentChannel_ = 0;
  int channelDelta_ = 0;

  // The last kWindowSize bytes of earlier entries of a solid stream, as a ring.
  std::vector<uint8_t> history_;
  size_t historyEnd_ = 0;   // ring position after the newest byte
  size_t historyFill_ = 0;  // how many bytes of the ring are valid
};

}  // namespace rar
