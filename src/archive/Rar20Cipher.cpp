#include "archive/Rar20Cipher.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "archive/RarCrc.h"

namespace rar {

namespace {

// The fixed starting permutation of the substitution table and the four starting keys,
// constants of the RAR 2.0 format.
constexpr uint8_t kInitialTable[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,
    232, 1,   177, 233, 14,  88,  219, 25,  223, 195, 244, 90,  87,  239, 153, 137,
    255, 199, 147, 70,  92,  66,  246, 13,  216, 40,  62,  29,  217, 230, 86,  6,
    71,  24,  171, 196, 101, 113, 218, 123, 93,  91,  163, 178, 202, 67,  44,  235,
    107, 250, 75,  234, 49,  167, 125, 211, 83,  114, 157, 144, 32,  193, 143, 36,
    158, 124, 247, 187, 89,  214, 141, 47,  121, 228, 61,  130, 213, 194, 174, 251,
    97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245, 63,  11,
    164, 200, 31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,
    207, 120, 189, 210, 8,   226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,
    122, 38,  155, 170, 69,  172, 252, 238, 39,  134, 59,  128, 236, 27,  240, 80,
    131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201, 133, 74,  64,  20,  129,
    224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180, 58,  10,
    118, 26,  102, 12,  50,  132, 22,  191, 136, 111, 162, 179, 45,  4,   148, 108,
    161, 56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241, 181, 190, 77,  225,
    0,   46,  169, 186, 68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,
    116, 184, 160, 96,  109, 37,  30,  106, 140, 104, 150, 5,   204, 117, 112, 84};

constexpr uint32_t kInitialKeys[4] = {0xD3A3B879u, 0x3F6D12F7u, 0x7515A235u, 0xA4E7F123u};
constexpr int kRounds = 32;

inline uint32_t load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void store32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

inline uint32_t rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

}  // namespace

void Rar20Cipher::setPassword(const char* password, size_t length) {
  std::copy(std::begin(kInitialKeys), std::end(kInitialKeys), keys_);
  std::memcpy(table_, kInitialTable, sizeof table_);

  // One spare zero byte past the longest password: the shuffle reads pairs of bytes.
  uint8_t bytes[kMaxPasswordLength + 1] = {};
  length = std::min(length, kMaxPasswordLength);
  if (length > 0) std::memcpy(bytes, password, length);

  for (unsigned j = 0; j < 256; ++j) {
    for (size_t i = 0; i < length; i += 2) {
      const unsigned stop = kCrcTable[(bytes[i + 1] + j) & 0xFF] & 0xFF;
      unsigned n = kCrcTable[(bytes[i] - j) & 0xFF] & 0xFF;
      for (unsigned k = 1; n != stop; n = (n + 1) & 0xFF, ++k)
        std::swap(table_[n], table_[(n + i + k) & 0xFF]);
    }
  }
  // Encrypting the password itself moves the keys on to their per-entry starting values.
  for (size_t i = 0; i < length; i += kBlockSize) encryptBlock(bytes + i);
}

uint32_t Rar20Cipher::substitute(uint32_t v) const {
  return uint32_t(table_[v & 0xFF]) | uint32_t(table_[(v >> 8) & 0xFF]) << 8 |
         uint32_t(table_[(v >> 16) & 0xFF]) << 16 | uint32_t(table_[v >> 24]) << 24;
}

void Rar20Cipher::updateKeys(const uint8_t* ciphertext) {
  for (int i = 0; i < 16; i += 4)
    for (int j = 0; j < 4; ++j) keys_[j] ^= kCrcTable[ciphertext[i + j]];
}

// One pass of the Feistel network over a block in place. Decryption is the same network
// with the round keys taken in reverse order.
void Rar20Cipher::runRounds(uint8_t* block, bool backwards) const {
  uint32_t a = load32(block) ^ keys_[0], b = load32(block + 4) ^ keys_[1];
  uint32_t c = load32(block + 8) ^ keys_[2], d = load32(block + 12) ^ keys_[3];
  for (int i = 0; i < kRounds; ++i) {
    const uint32_t key = keys_[(backwards ? kRounds - 1 - i : i) & 3];
    const uint32_t nextC = a ^ substitute((c + rotl(d, 11)) ^ key);
    const uint32_t nextD = b ^ substitute((d ^ rotl(c, 17)) + key);
    a = c;
    b = d;
    c = nextC;
    d = nextD;
  }
  store32(block, c ^ keys_[0]);
  store32(block + 4, d ^ keys_[1]);
  store32(block + 8, a ^ keys_[2]);
  store32(block + 12, b ^ keys_[3]);
}

// The keys always move on with the ciphertext of the block.
void Rar20Cipher::encryptBlock(uint8_t* block) {
  runRounds(block, false);
  updateKeys(block);
}

void Rar20Cipher::decryptBlock(uint8_t* block) {
  uint8_t ciphertext[kBlockSize];
  std::memcpy(ciphertext, block, kBlockSize);
  runRounds(block, true);
  updateKeys(ciphertext);
}

// Decrypting is a chain of 32 dependent rounds per block, but the keys of the next block
// depend only on this block's ciphertext, which is known up front: several blocks can go
// through their rounds side by side.
template <int kLanes>
void Rar20Cipher::decryptLanes(uint8_t* data) {
  uint32_t keys[kLanes][4];
  uint32_t a[kLanes], b[kLanes], c[kLanes], d[kLanes];
  for (int lane = 0; lane < kLanes; ++lane) {
    uint8_t* block = data + lane * kBlockSize;
    std::copy(std::begin(keys_), std::end(keys_), keys[lane]);
    a[lane] = load32(block) ^ keys_[0];
    b[lane] = load32(block + 4) ^ keys_[1];
    c[lane] = load32(block + 8) ^ keys_[2];
    d[lane] = load32(block + 12) ^ keys_[3];
    updateKeys(block);
  }
  for (int round = kRounds - 1; round >= 0; --round) {
    for (int lane = 0; lane < kLanes; ++lane) {
      const uint32_t key = keys[lane][round & 3];
      const uint32_t nextC = a[lane] ^ substitute((c[lane] + rotl(d[lane], 11)) ^ key);
      const uint32_t nextD = b[lane] ^ substitute((d[lane] ^ rotl(c[lane], 17)) + key);
      a[lane] = c[lane];
      b[lane] = d[lane];
      c[lane] = nextC;
      d[lane] = nextD;
    }
  }
  for (int lane = 0; lane < kLanes; ++lane) {
    uint8_t* block = data + lane * kBlockSize;
    store32(block, c[lane] ^ keys[lane][0]);
    store32(block + 4, d[lane] ^ keys[lane][1]);
    store32(block + 8, a[lane] ^ keys[lane][2]);
    store32(block + 12, b[lane] ^ keys[lane][3]);
  }
}

void Rar20Cipher::decrypt(uint8_t* data, size_t size) {
  constexpr int kLanes = 4;
  size_t i = 0;
  for (; i + kLanes * kBlockSize <= size; i += kLanes * kBlockSize) decryptLanes<kLanes>(data + i);
  for (; i + kBlockSize <= size; i += kBlockSize) decryptBlock(data + i);
}

void Rar20Cipher::encrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i + kBlockSize <= size; i += kBlockSize) encryptBlock(data + i);
}

}  // namespace rar
