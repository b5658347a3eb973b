#pragma once
// The 15-bit pseudo-random generator that the effects' formulas are written for: values
// 0..32767 (so x / 32767.0f spans 0..1 and rand() % n has the spread the numbers assume).
// The C library's rand() on this platform gives 31 bits, which would put those constants
// off by a factor of 65536. Seeding reproduces a sequence exactly, as effects that reseed
// at reset rely on.

#include <cstdint>

class Random15 {
 public:
  static constexpr int kMax = 32767;

  explicit constexpr Random15(uint32_t seed = 1) : state(seed) {}
  constexpr void seed(uint32_t value) { state = value; }
  constexpr int next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  }
  // next() / 32767: 0..1 inclusive.
  constexpr float unit() { return static_cast<float>(next()) / static_cast<float>(kMax); }

 private:
  uint32_t state;
};

// The process-wide generator: one sequence shared by every effect, as the C library's
// generator is; demoRand() is the drop-in for rand() and demoSrand() for srand().
Random15& demoRandom();
inline int demoRand() { return demoRandom().next(); }
inline void demoSrand(uint32_t seed) { demoRandom().seed(seed); }
