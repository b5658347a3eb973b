#include "base/Random.h"

Random15& demoRandom() {
  static Random15 generator(1);
  return generator;
}
