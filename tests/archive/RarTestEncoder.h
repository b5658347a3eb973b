#pragma once
// A RAR 2.0 stream writer for tests: it emits exactly the symbols a test asks for (each
// kind of match, table changes, multimedia blocks of 1-4 channels, solid continuation),
// keeps its own model of the output the stream stands for, and so gives the decoder
// inputs no genuine archiver would produce on purpose. unar checks the writer.

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vkdtest {

class BitWriter {
 public:
  void put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      accumulator_ = uint8_t(accumulator_ << 1 | ((value >> i) & 1));
      if (++filled_ == 8) {
        bytes_.push_back(accumulator_);
        accumulator_ = 0;
        filled_ = 0;
      }
    }
  }
  std::vector<uint8_t> finish() {
    if (filled_ > 0) put(0, 8 - filled_);
    std::vector<uint8_t> out;
    out.swap(bytes_);
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
  uint8_t accumulator_ = 0;
  int filled_ = 0;
};

// Canonical codes for a set of lengths: shorter first, then by symbol, starting at zero.
inline std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
  std::vector<uint32_t> codes(lengths.size());
  uint32_t code = 0;
  for (int length = 1; length <= 15; ++length) {
    for (size_t s = 0; s < lengths.size(); ++s)
      if (lengths[s] == length) codes[s] = code++;
    code <<= 1;
  }
  return codes;
}

// Lengths giving the `used` symbols a complete code: `chain` of them on a ladder of
// lengths 1, 2, 3... (which makes long codes), the rest as evenly as possible below it.
inline std::vector<uint8_t> codeLengths(int symbolCount, const std::vector<int>& used, int chain = 0) {
  std::vector<uint8_t> lengths(size_t(symbolCount), 0);
  if (used.size() == 1) {
    lengths[size_t(used[0])] = 1;
    return lengths;
  }
  if (chain >= int(used.size())) chain = int(used.size()) - 1;
  for (int i = 0; i < chain; ++i) lengths[size_t(used[size_t(i)])] = uint8_t(i + 1);
  const int rest = int(used.size()) - chain;
  int k = 0;
  while ((1 << k) < rest) ++k;
  const int shorter = (1 << k) - rest;
  for (int i = 0; i < rest; ++i)
    lengths[size_t(used[size_t(chain + i)])] = uint8_t(chain + (i < shorter ? k - 1 : k) + (rest == 1 ? 1 : 0));
  return lengths;
}

inline std::vector<int> allSymbols(int count) {
  std::vector<int> used;
  for (int i = 0; i < count; ++i) used.push_back(i);
  return used;
}

class Rar20Encoder {
 public:
  static constexpr int kMain = 298, kDistance = 48, kLength = 28, kAudio = 257;

  // -- tables --------------------------------------------------------------------------
  // New LZ tables; in the middle of a stream the switch symbol of the current mode comes
  // first. `keep` codes the lengths as changes to the previous ones.
  void lzTables(const std::vector<int>& main, const std::vector<int>& distance,
                const std::vector<int>& length, bool keep, int chain = 0) {
    announceTables();
    bits_.put(0, 1);
    bits_.put(keep ? 1 : 0, 1);
    std::vector<uint8_t> lengths = codeLengths(kMain, main, chain);
    const auto d = codeLengths(kDistance, distance, chain);
    const auto l = codeLengths(kLength, length);
    lengths.insert(lengths.end(), d.begin(), d.end());
    lengths.insert(lengths.end(), l.begin(), l.end());
    writeLengths(lengths, keep);
    audio_ = false;
    mainLengths_.assign(lengths.begin(), lengths.begin() + kMain);
    distanceLengths_.assign(lengths.begin() + kMain, lengths.begin() + kMain + kDistance);
    lengthLengths_.assign(lengths.begin() + kMain + kDistance, lengths.end());
    mainCodes_ = canonicalCodes(mainLengths_);
    distanceCodes_ = canonicalCodes(distanceLengths_);
    lengthCodes_ = canonicalCodes(lengthLengths_);
  }
  void lzTablesForEverything(bool keep = false) {
    lzTables(allSymbols(kMain), allSymbols(kDistance), allSymbols(kLength), keep);
  }

  void audioTables(int channels, bool keep = false) {
    announceTables();
    bits_.put(1, 1);
    bits_.put(keep ? 1 : 0, 1);
    bits_.put(uint32_t(channels - 1), 2);
    channels_ = channels;
    if (channel_ >= channels_) channel_ = 0;
    std::vector<uint8_t> lengths;
    for (int c = 0; c < channels; ++c) {
      const auto one = codeLengths(kAudio, allSymbols(kAudio), c);
      lengths.insert(lengths.end(), one.begin(), one.end());
    }
    writeLengths(lengths, keep);
    audio_ = true;
    for (int c = 0; c < channels; ++c) {
      audioLengths_[c].assign(lengths.begin() + c * kAudio, lengths.begin() + (c + 1) * kAudio);
      audioCodes_[c] = canonicalCodes(audioLengths_[c]);
    }
  }

  // -- LZ symbols -----------------------------------------------------------------------
  void literal(uint8_t byte) {
    putSymbol(mainCodes_, mainLengths_, byte);
    output_.push_back(byte);
  }
  // Symbols 270-297: any distance up to 1 MiB, length 3 and up (more when far away).
  void match(uint32_t distance, uint32_t length) {
    const uint32_t bonus = (distance >= 0x2000) + (distance >= 0x40000);
    const uint32_t coded = length - bonus - 3;
    const int slot = lengthSlot(coded);
    putSymbol(mainCodes_, mainLengths_, 270 + slot);
    bits_.put(coded - kLengthBase[slot], kLengthBits[slot]);
    int d = 47;
    while (distanceBase(d) + 1 > distance) --d;
    putSymbol(distanceCodes_, distanceLengths_, d);
    bits_.put(distance - 1 - distanceBase(d), distanceBits(d));
    remember(distance, length);
  }
  // Symbols 261-268: distance 1-256, length 2.
  void shortMatch(uint32_t distance) {
    static const uint32_t base[8] = {0, 4, 8, 16, 32, 64, 128, 192};
    static const int bits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
    int slot = 7;
    while (base[slot] + 1 > distance) --slot;
    putSymbol(mainCodes_, mainLengths_, 261 + slot);
    bits_.put(distance - 1 - base[slot], bits[slot]);
    remember(distance, 2);
  }
  // Symbols 257-260: the distance `back` matches ago (0 = the last), with a new length.
  void oldDistance(int back, uint32_t length) {
    const uint32_t distance = old_[(oldPosition_ - 1 - unsigned(back)) & 3];
    const uint32_t bonus = (distance >= 0x101) + (distance >= 0x2000) + (distance >= 0x40000);
    const uint32_t coded = length - bonus - 2;
    putSymbol(mainCodes_, mainLengths_, 257 + back);
    const int slot = lengthSlot(coded);
    putSymbol(lengthCodes_, lengthLengths_, slot);
    bits_.put(coded - kLengthBase[slot], kLengthBits[slot]);
    remember(distance, length);
  }
  // Symbol 256: the last match again.
  void repeatLast() {
    putSymbol(mainCodes_, mainLengths_, 256);
    remember(lastDistance_, lastLength_);
  }

  // -- multimedia bytes ----------------------------------------------------------------
  void audioByte(uint8_t byte) {
    Channel& c = audio_state_[channel_];
    c.delta[3] = c.delta[2];
    c.delta[2] = c.delta[1];
    c.delta[1] = c.lastDelta - c.delta[0];
    c.delta[0] = c.lastDelta;
    const int predicted = ((8 * c.lastByte + c.weight[0] * c.delta[0] + c.weight[1] * c.delta[1] +
                            c.weight[2] * c.delta[2] + c.weight[3] * c.delta[3] + c.weight[4] * channelDelta_) >> 3) & 0xFF;
    const int code = (predicted - byte) & 0xFF;
    putSymbol(audioCodes_[channel_], audioLengths_[channel_], code);
    // The weights adapt every 32 bytes towards the term that would have erred least.
    const int error = int(int8_t(uint8_t(code))) * 8;
    int candidates[11] = {error, error - c.delta[0], error + c.delta[0], error - c.delta[1], error + c.delta[1],
                          error - c.delta[2], error + c.delta[2], error - c.delta[3], error + c.delta[3],
                          error - channelDelta_, error + channelDelta_};
    for (int i = 0; i < 11; ++i) c.error[i] += std::abs(candidates[i]);
    channelDelta_ = c.lastDelta = int(int8_t(uint8_t(byte - c.lastByte)));
    c.lastByte = byte;
    if (++c.count % 32 == 0) {
      int best = 0;
      for (int i = 1; i < 11; ++i)
        if (c.error[i] < c.error[best]) best = i;
      for (int& e : c.error) e = 0;
      if (best > 0) {
        int& w = c.weight[(best - 1) / 2];
        if (best % 2 == 1 && w >= -16) --w;
        if (best % 2 == 0 && w < 16) ++w;
      }
    }
    output_.push_back(byte);
    channel_ = (channel_ + 1) % channels_;
  }

  // Lets matches reach before the first byte: streams that must fail.
  void allowBrokenMatches() { allowBroken_ = true; }

  // Bits as they are, for streams no table could describe.
  void rawBits(uint32_t value, int count) { bits_.put(value, count); }

  // -- entries --------------------------------------------------------------------------
  // The packed bytes of the entry so far; the next entry (of a solid archive) continues
  // the state with a fresh bit stream.
  std::vector<uint8_t> finishEntry() {
    std::vector<uint8_t> packed = bits_.finish();
    entryStart_ = output_.size();
    return packed;
  }
  // Everything the stream stands for since the last finishEntry.
  std::vector<uint8_t> entryOutput() const {
    return std::vector<uint8_t>(output_.begin() + long(entryStart_), output_.end());
  }
  const std::vector<uint8_t>& output() const { return output_; }
  bool audio() const { return audio_; }

 private:
  struct Channel {
    int weight[5] = {}, delta[4] = {}, lastDelta = 0, lastByte = 0, error[11] = {};
    unsigned count = 0;
  };

  static constexpr uint32_t kLengthBase[28] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20,
                                                24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
  static constexpr int kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                          2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
  static int distanceBits(int slot) { return slot < 4 ? 0 : slot < 34 ? slot / 2 - 1 : 16; }
  static uint32_t distanceBase(int slot) {
    uint32_t base = 0;
    for (int i = 0; i < slot; ++i) base += 1u << distanceBits(i);
    return base;
  }
  static int lengthSlot(uint32_t coded) {
    if (coded > 255) std::abort();  // longer than a match can be (or shorter, wrapped)
    int slot = 27;
    while (kLengthBase[slot] > coded) --slot;
    return slot;
  }

  void announceTables() {
    if (!started_) {
      started_ = true;
      return;
    }
    if (audio_) putSymbol(audioCodes_[channel_], audioLengths_[channel_], 256);
    else putSymbol(mainCodes_, mainLengths_, 269);
  }

  void putSymbol(const std::vector<uint32_t>& codes, const std::vector<uint8_t>& lengths, int symbol) {
    if (lengths[size_t(symbol)] == 0) std::abort();  // the test asked for a symbol its table lacks
    bits_.put(codes[size_t(symbol)], lengths[size_t(symbol)]);
  }

  void remember(uint32_t distance, uint32_t length) {
    old_[oldPosition_++ & 3] = distance;
    lastDistance_ = distance;
    lastLength_ = length;
    if (distance == 0 || distance > output_.size()) {
      if (!allowBroken_) std::abort();  // the test asked for a match with nothing to copy
      return;
    }
    for (uint32_t i = 0; i < length; ++i) output_.push_back(output_[output_.size() - distance]);
  }

  // The pre-code: lengths as changes to the previous table (0-15), runs of the previous
  // length (16) and runs of zeros (17, 18).
  void writeLengths(const std::vector<uint8_t>& lengths, bool keep) {
    if (!keep) previous_.assign(previous_.size(), 0);
    const std::vector<uint8_t> pre = codeLengths(19, allSymbols(19));
    const std::vector<uint32_t> preCodes = canonicalCodes(pre);
    for (uint8_t l : pre) bits_.put(l, 4);
    size_t i = 0;
    while (i < lengths.size()) {
      size_t run = 1;
      while (i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
      if (lengths[i] == 0 && run >= 11) {
        run = std::min<size_t>(run, 138);
        bits_.put(preCodes[18], pre[18]);
        bits_.put(uint32_t(run - 11), 7);
      } else if (lengths[i] == 0 && run >= 3) {
        run = std::min<size_t>(run, 10);
        bits_.put(preCodes[17], pre[17]);
        bits_.put(uint32_t(run - 3), 3);
      } else if (i > 0 && lengths[i] == lengths[i - 1] && run >= 3) {
        run = std::min<size_t>(run, 6);
        bits_.put(preCodes[16], pre[16]);
        bits_.put(uint32_t(run - 3), 2);
      } else {
        run = 1;
        const int change = (lengths[i] - previous_[i]) & 0xF;
        bits_.put(preCodes[size_t(change)], pre[size_t(change)]);
      }
      i += run;
    }
    for (size_t j = 0; j < lengths.size(); ++j) previous_[j] = lengths[j];
  }

  BitWriter bits_;
  bool allowBroken_ = false;
  bool started_ = false;
  bool audio_ = false;
  std::vector<uint8_t> previous_ = std::vector<uint8_t>(kAudio * 4, 0);
  std::vector<uint8_t> mainLengths_, distanceLengths_, lengthLengths_, audioLengths_[4];
  std::vector<uint32_t> mainCodes_, distanceCodes_, lengthCodes_, audioCodes_[4];
  uint32_t old_[4] = {};
  unsigned oldPosition_ = 0;
  uint32_t lastDistance_ = 0, lastLength_ = 0;
  Channel audio_state_[4];
  int channels_ = 1, channel_ = 0, channelDelta_ = 0;
  std::vector<uint8_t> output_;
  size_t entryStart_ = 0;
};

}  // namespace vkdtest
