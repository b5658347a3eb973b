#pragma once
// The RAR 2.0 block cipher: 16-byte blocks, 32 Feistel-like rounds over four 32-bit words,
// a byte substitution table shuffled by the password, and four round keys that change
// after every block with the CRC32 table entries of that block's ciphertext bytes. The
// state after keying is the starting state of every entry: keys restart per file.

#include <cstddef>
#include <cstdint>

namespace rar {

class Rar20Cipher {
 public:
  static constexpr size_t kBlockSize = 16;
  // Only this many password bytes take part in the key (longer passwords are cut).
  static constexpr size_t kMaxPasswordLength = 127;

  Rar20Cipher() = default;
  Rar20Cipher(const char* password, size_t length) { setPassword(password, length); }

  void setPassword(const char* password, size_t length);

  // Both work in place on whole blocks; `size` must be a multiple of kBlockSize.
  void decrypt(uint8_t* data, size_t size);
  void encrypt(uint8_t* data, size_t size);

 private:
  void encryptBlock(uint8_t* block);
  void decryptBlock(uint8_t* block);
  template <int kLanes>
  void decryptLanes(uint8_t* data);
  void updateKeys(const uint8_t* ciphertext);
  uint32_t substitute(uint32_t value) const;
  void runRounds(uint8_t* block, bool backwards) const;

  uint32_t keys_[4] = {};
  uint8_t table_[256] = {};
};

}  // namespace rar
