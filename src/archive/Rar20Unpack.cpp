#include "archive/Rar20Unpack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace rar {

// [SECTION] Canonical prefix codes

bool HuffmanCode::build(const uint8_t* lengths, int symbolCount) {
  int count[kMaxLength + 1] = {};
  for (int i = 0; i < symbolCount; ++i) ++count[lengths[i] & 0xF];
  count[0] = 0;

  uint32_t code = 0;
  uint16_t index = 0;
  for (int length = 1; length <= kMaxLength; ++length) {
    if (code + uint32_t(count[length]) > (1u << length)) return false;
    first_[length] = code << (kMaxLength - length);
    limit_[length] = (code + count[length]) << (kMaxLength - length);
    offset_[length] = index;
    index = static_cast<uint16_t>(index + count[length]);
    code = (code + count[length]) << 1;
  }

  uint16_t next[kMaxLength + 1];
  std::copy(std::begin(offset_), std::end(offset_), next);
  for (int symbol = 0; symbol < symbolCount; ++symbol) {
    const int length = lengths[symbol] & 0xF;
    if (length != 0) symbols_[next[length]++] = static_cast<uint16_t>(symbol);
  }

  std::memset(quick_, 0, sizeof quick_);
  for (int length = 1; length <= kQuickBits; ++length) {
    const uint32_t shift = kMaxLength - kQuickBits;
    for (int i = 0; i < count[length]; ++i) {
      const uint32_t begin = (first_[length] >> shift) + (uint32_t(i) << (kQuickBits - length));
      const uint32_t end = begin + (1u << (kQuickBits - length));
      const uint16_t entry = static_cast<uint16_t>(symbols_[offset_[length] + i] | length << 12);
      for (uint32_t j = begin; j < end; ++j) quick_[j] = entry;
    }
  }
  return true;
}

int HuffmanCode::decodeLong(BitReader& bits) const {
  const uint32_t value = bits.peek(kMaxLength);
  for (int length = kQuickBits + 1; length <= kMaxLength; ++length) {
    if (value < limit_[length]) {
      bits.skip(length);
      return symbols_[offset_[length] + ((value - first_[length]) >> (kMaxLength - length))];
    }
  }
  return -1;
}

// [SECTION] Stream state

namespace {

constexpr int kMainSymbols = 298;
constexpr int kDistanceSymbols = 48;
constexpr int kLengthSymbols = 28;
constexpr int kAudioSymbols = 257;
constexpr int kLzTableSize = kMainSymbols + kDistanceSymbols + kLengthSymbols;
constexpr int kPreCodeSymbols = 19;

constexpr int kNewTableSymbol = 269;   // in the main code of an LZ block
constexpr int kAudioNewTableSymbol = 256;

constexpr uint8_t kLengthBase[kLengthSymbols] = {0,  1,  2,  3,  4,  5,  6,   7,   8,   10,
                                                 12, 14, 16, 20, 24, 28, 32,  40,  48,  56,
                                                 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t kLengthBits[kLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                                 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

// Distance slots: two per power of two, then 65536-wide steps up to the 1 MiB window.
struct DistanceSlots {
  uint32_t base[kDistanceSymbols];
  uint8_t bits[kDistanceSymbols];
};
constexpr DistanceSlots makeDistanceSlots() {
  DistanceSlots slots{};
  uint32_t base = 0;
  for (int i = 0; i < kDistanceSymbols; ++i) {
    const int bits = i < 4 ? 0 : (i < 34 ? i / 2 - 1 : 16);
    slots.base[i] = base;
    slots.bits[i] = static_cast<uint8_t>(bits);
    base += 1u << bits;
  }
  return slots;
}
constexpr DistanceSlots kDistance = makeDistanceSlots();
static_assert(kDistance.base[47] + (1u << kDistance.bits[47]) == Rar20Unpacker::kWindowSize,
              "the last distance slot ends at the window size");

constexpr uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

}  // namespace

Rar20Unpacker::Rar20Unpacker() { reset(); }

void Rar20Unpacker::reset() {
  std::memset(lengths_, 0, sizeof lengths_);
  tablesRead_ = false;
  audioBlock_ = false;
  std::fill(std::begin(oldDistance_), std::end(oldDistance_), 0u);
  oldDistancePosition_ = 0;
  lastDistance_ = 0;
  lastLength_ = 0;
  for (AudioChannel& channel : channels_) channel = AudioChannel{};
  channelCount_ = 1;
  currentChannel_ = 0;
  channelDelta_ = 0;
  historyEnd_ = 0;
  historyFill_ = 0;
}

// [SECTION] Tables

bool Rar20Unpacker::readTables(BitReader& bits) {
  if (bits.overrun()) return false;
  audioBlock_ = bits.read(1) != 0;
  // Without the "keep" bit the new lengths are coded against all zeros.
  if (bits.read(1) == 0) std::memset(lengths_, 0, sizeof lengths_);

  int total = kLzTableSize;
  if (audioBlock_) {
    channelCount_ = static_cast<int>(bits.read(2)) + 1;
    if (currentChannel_ >= channelCount_) currentChannel_ = 0;
    total = kAudioSymbols * channelCount_;
  }

  uint8_t preLengths[kPreCodeSymbols];
  for (uint8_t& length : preLengths) {
    if (bits.overrun()) return false;
    length = static_cast<uint8_t>(bits.read(4));
  }
  HuffmanCode preCode;
  if (!preCode.build(preLengths, kPreCodeSymbols)) return false;

  for (int i = 0; i < total;) {
    if (bits.overrun()) return false;
    const int symbol = preCode.decode(bits);
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths_[i] = static_cast<uint8_t>((lengths_[i] + symbol) & 0xF);
      ++i;
    } else if (symbol == 16) {  // repeat the previous length 3-6 times
      if (i == 0) return false;
      const int end = std::min(total, i + 3 + static_cast<int>(bits.read(2)));
      for (; i < end; ++i) lengths_[i] = lengths_[i - 1];
    } else {  // 17: 3-10 zeros, 18: 11-138 zeros
      const int run = symbol == 17 ? 3 + static_cast<int>(bits.read(3))
                                   : 11 + static_cast<int>(bits.read(7));
      const int end = std::min(total, i + run);
      for (; i < end; ++i) lengths_[i] = 0;
    }
  }
  if (bits.overrun()) return false;

  if (audioBlock_) {
    for (int c = 0; c < channelCount_; ++c)
      if (!audioCode_[c].build(lengths_ + c * kAudioSymbols, kAudioSymbols)) return false;
  } else {
    if (!mainCode_.build(lengths_, kMainSymbols) ||
        !distanceCode_.build(lengths_ + kMainSymbols, kDistanceSymbols) ||
        !lengthCode_.build(lengths_ + kMainSymbols + kDistanceSymbols, kLengthSymbols))
      return false;
  }
  tablesRead_ = true;
  return true;
}

// [SECTION] LZ blocks

// Positions count from this entry's first byte. A match of a solid entry may start in the
// window of the earlier entries and run on into this entry's output at any position, so
// `position + done - distance` is formed only once it cannot go below zero.
bool Rar20Unpacker::copyMatch(uint8_t* output, size_t position, size_t size, uint32_t distance,
                              uint32_t length) const {
  // A match never reaches before the first byte of the stream; there is nothing there.
  if (distance == 0 || distance > position + historyFill_) return false;
  const size_t count = std::min<size_t>(length, size - position);
  size_t done = 0;
  if (distance > position) {
    // The match starts `back` bytes before this entry's output, in the kept window, and
    // may run on into the output once those bytes are copied.
    const size_t back = distance - position;
    const size_t fromHistory = std::min(count, back);
    size_t at = (historyEnd_ + kWindowSize - back) & (kWindowSize - 1);
    while (done < fromHistory) {  // at most two pieces: the ring may wrap
      const size_t chunk = std::min(fromHistory - done, kWindowSize - at);
      std::memcpy(output + position + done, history_.data() + at, chunk);
      done += chunk;
      at = (at + chunk) & (kWindowSize - 1);
    }
    if (done == count) return true;
  }
  // From here on position + done >= distance: the source lies in this entry's output.
  uint8_t* to = output + position + done;
  const uint8_t* from = output + (position + done - distance);
  const size_t rest = count - done;
  // A match longer than its distance repeats its first `distance` bytes. Copying from the
  // match's start in chunks that double keeps every source apart from its destination
  // (the source, distance + copied bytes long, ends where the chunk begins); a match no
  // longer than its distance is a single copy.
  for (size_t copied = 0; copied < rest;) {
    const size_t chunk = std::min<size_t>(distance + copied, rest - copied);
    std::memcpy(to + copied, from, chunk);
    copied += chunk;
  }
  return true;
}

bool Rar20Unpacker::decodeLz(BitReader& bits, uint8_t* output, size_t& position, size_t size) {
  while (position < size) {
    if (bits.overrun()) return false;
    const int symbol = mainCode_.decode(bits);
    if (symbol < 256) {
      if (symbol < 0) return false;
      output[position++] = static_cast<uint8_t>(symbol);
      continue;
    }
    if (symbol == kNewTableSymbol) {
      if (!readTables(bits)) return false;
      if (audioBlock_) return true;
      continue;
    }

    uint32_t distance, length;
    if (symbol == 256) {  // the previous match again
      distance = lastDistance_;
      length = lastLength_;
    } else if (symbol < 261) {  // one of the last four distances, with a new length
      distance = oldDistance_[(oldDistancePosition_ - (symbol - 256)) & 3];
      const int slot = lengthCode_.decode(bits);
      if (slot < 0) return false;
      length = kLengthBase[slot] + 2 + bits.read(kLengthBits[slot]);
      if (distance >= 0x101) ++length;
      if (distance >= 0x2000) ++length;
      if (distance >= 0x40000) ++length;
    } else if (symbol < 269) {  // a short distance, length 2
      const int slot = symbol - 261;
      distance = kShortBase[slot] + 1 + bits.read(kShortBits[slot]);
      length = 2;
    } else {  // a length slot here, then a distance slot from the distance code
      const int slot = symbol - 270;
      length = kLengthBase[slot] + 3 + bits.read(kLengthBits[slot]);
      const int distanceSlot = distanceCode_.decode(bits);
      if (distanceSlot < 0) return false;
      distance = kDistance.base[distanceSlot] + 1;
      if (kDistance.bits[distanceSlot] != 0) distance += bits.read(kDistance.bits[distanceSlot]);
      if (distance >= 0x2000) ++length;
      if (distance >= 0x40000) ++length;
    }
    oldDistance_[oldDistancePosition_++ & 3] = distance;
    lastDistance_ = distance;
    lastLength_ = length;
    if (length == 0) continue;
    if (!copyMatch(output, position, size, distance, length)) return false;
    position = std::min<size_t>(size, position + length);
  }
  return true;
}

// [SECTION] Audio blocks

uint8_t Rar20Unpacker::predictAudio(AudioChannel& c, int code) {
  ++c.count;
  c.delta[3] = c.delta[2];
  c.delta[2] = c.delta[1];
  c.delta[1] = c.lastDelta - c.delta[0];
  c.delta[0] = c.lastDelta;
  const int prediction = ((8 * c.lastByte + c.weight[0] * c.delta[0] + c.weight[1] * c.delta[1] +
                           c.weight[2] * c.delta[2] + c.weight[3] * c.delta[3] +
                           c.weight[4] * channelDelta_) >>
                          3) &
                         0xFF;
  const int value = (prediction - code) & 0xFF;

  // How each predictor term, nudged one step either way, would have fared: every 32
  // bytes the weight of the best nudge moves by one, within -17..16.
  const int error = static_cast<int8_t>(code) * 8;
  c.error[0] += std::abs(error);
  for (int k = 0; k < 4; ++k) {
    c.error[1 + 2 * k] += std::abs(error - c.delta[k]);
    c.error[2 + 2 * k] += std::abs(error + c.delta[k]);
  }
  c.error[9] += std::abs(error - channelDelta_);
  c.error[10] += std::abs(error + channelDelta_);

  channelDelta_ = c.lastDelta = static_cast<int8_t>(value - c.lastByte);
  c.lastByte = value;

  if ((c.count & 0x1F) == 0) {
    int best = 0;
    for (int i = 1; i < 11; ++i)
      if (c.error[i] < c.error[best]) best = i;
    std::fill(std::begin(c.error), std::end(c.error), 0);
    if (best > 0) {
      int& weight = c.weight[(best - 1) / 2];
      if (best & 1) {
        if (weight >= -16) --weight;
      } else if (weight < 16) {
        ++weight;
      }
    }
  }
  return static_cast<uint8_t>(value);
}

bool Rar20Unpacker::decodeAudio(BitReader& bits, uint8_t* output, size_t& position, size_t size) {
  while (position < size) {
    if (bits.overrun()) return false;
    const int symbol = audioCode_[currentChannel_].decode(bits);
    if (symbol < 0) return false;
    if (symbol == kAudioNewTableSymbol) {
      if (!readTables(bits)) return false;
      if (!audioBlock_) return true;
      continue;
    }
    output[position++] = predictAudio(channels_[currentChannel_], symbol);
    if (++currentChannel_ == channelCount_) currentChannel_ = 0;
  }
  return true;
}

// [SECTION] Entries

// A new table can follow the last symbol of an entry; in a solid stream it belongs to the
// next entry, which starts without a table of its own. Looked for only while at least
// five bytes remain, so that the bits of a final partial byte are never taken for one.
void Rar20Unpacker::readTrailingTables(BitReader& bits) {
  if (bits.bytesLeft() < 5) return;
  BitReader probe = bits;
  const int symbol = audioBlock_ ? audioCode_[currentChannel_].decode(probe)
                                 : mainCode_.decode(probe);
  if (symbol != (audioBlock_ ? kAudioNewTableSymbol : kNewTableSymbol)) return;
  if (!readTables(probe)) tablesRead_ = false;
}

void Rar20Unpacker::keepHistory(const uint8_t* output, size_t size) {
  if (history_.empty()) history_.resize(kWindowSize);
  const size_t mask = kWindowSize - 1;
  const size_t keep = std::min(size, kWindowSize);
  const uint8_t* from = output + (size - keep);
  size_t done = 0;
  while (done < keep) {
    const size_t chunk = std::min(keep - done, kWindowSize - historyEnd_);
    std::memcpy(history_.data() + historyEnd_, from + done, chunk);
    historyEnd_ = (historyEnd_ + chunk) & mask;
    done += chunk;
  }
  historyFill_ = std::min(kWindowSize, historyFill_ + keep);
}

bool Rar20Unpacker::unpack(const uint8_t* input, size_t inputSize, uint8_t* output,
                           size_t outputSize, bool continues, bool keep) {
  if (!continues) reset();
  if (outputSize == 0) return true;
  if (outputSize / kMaxBytesPerInputBit / 8 > inputSize) return false;

  BitReader bits(input, inputSize);
  if (!tablesRead_ && !readTables(bits)) return false;

  size_t position = 0;
  while (position < outputSize) {
    const bool ok = audioBlock_ ? decodeAudio(bits, output, position, outputSize)
                                : decodeLz(bits, output, position, outputSize);
    if (!ok || bits.overrun()) return false;
  }
  if (keep) {
    readTrailingTables(bits);
    keepHistory(output, outputSize);
  }
  return true;
}

}  // namespace rar
