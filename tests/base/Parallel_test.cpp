#include "base/Parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

TEST(ParallelFor, VisitsEveryIndexExactlyOnceWhateverTheChunk) {
  for (int count : {0, 1, 7, 100, 1000})
    for (int chunk : {0, 1, 3, 64, 5000}) {
      std::vector<std::atomic<int>> visits(size_t(count) + 1);
      parallelFor(count, chunk, [&](int first, int last) {
        ASSERT_LE(0, first);
        ASSERT_LT(first, last);
        ASSERT_LE(last, count);
        for (int i = first; i < last; ++i) ++visits[size_t(i)];
      });
      for (int i = 0; i < count; ++i) EXPECT_EQ(visits[size_t(i)], 1) << count << "/" << chunk << " at " << i;
    }
}

TEST(ParallelFor, ANestedCallRunsItsRangeOnTheCaller) {
  std::atomic<int> inner{0};
  parallelFor(8, 1, [&](int first, int last) {
    for (int i = first; i < last; ++i) parallelFor(10, 1, [&](int a, int b) { inner += b - a; });
  });
  EXPECT_EQ(inner, 80);
}

TEST(ParallelFor, ManyCallsInARowEachFinishBeforeReturning) {
  std::vector<int> values(64);
  for (int round = 1; round <= 500; ++round) {
    parallelFor(64, 4, [&](int first, int last) {
      for (int i = first; i < last; ++i) values[size_t(i)] = round;
    });
    for (int v : values) ASSERT_EQ(v, round);
  }
}

}  // namespace
