#include "base/Random.h"

#include <gtest/gtest.h>

namespace {

// The first values of the classic 15-bit generator after srand(1), as published for the
// C runtime the effects' constants were written for.
TEST(Random15, ReproducesTheClassicSequenceAndStaysWithinFifteenBits) {
  Random15 random(1);
  for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
    EXPECT_EQ(random.next(), expected);
  int highest = 0;
  for (int i = 0; i < 100000; ++i) highest = std::max(highest, random.next());
  EXPECT_EQ(highest, Random15::kMax);
}

TEST(Random15, ReseedingRepeatsTheSequenceForEveryUser) {
  demoSrand(4242);
  const int a = demoRand(), b = demoRand();
  demoSrand(4242);
  EXPECT_EQ(demoRand(), a);
  EXPECT_EQ(demoRand(), b);
  Random15 local(4242);
  EXPECT_EQ(local.next(), a);
  EXPECT_FLOAT_EQ(Random15(1).unit(), 41.0f / 32767.0f);
}

}  // namespace
