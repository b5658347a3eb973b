#include "platform/Capture/FrameWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using platform::FrameSink;
using platform::FrameWriter;

constexpr int kWidth = 4, kHeight = 2;

// Notes what it is given; slow on purpose, and failing at one frame when told.
class NotingSink final : public FrameSink {
 public:
  bool write(int64_t index, int width, int height, const uint8_t* rgb, std::string* error) override {
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);
    std::this_thread::sleep_for(delay);
    indices.push_back(index);
    firstBytes.push_back(rgb[0]);
    lastBytes.push_back(rgb[kWidth * kHeight * 3 - 1]);
    if (index == failAt) {
      *error = "disk full";
      return false;
    }
    ++done;
    return true;
  }
  bool finish(std::string* error) override {
    ++finished;
    if (!finishFailure.empty()) *error = finishFailure;
    return finishFailure.empty();
  }

  std::chrono::milliseconds delay{0};
  int64_t failAt = -1;
  std::string finishFailure;
  std::vector<int64_t> indices;
  std::vector<int> firstBytes, lastBytes;
  std::atomic<int64_t> done{0};
  int finished = 0;
};

// Frame i is filled with the byte i.
bool submitFrame(FrameWriter& writer, int i) {
  uint8_t* slot = writer.nextSlot();
  if (!slot) return false;
  std::memset(slot, i, kWidth * kHeight * 3);
  writer.submit();
  return true;
}

TEST(FrameWriter, ASlowSinkGetsEveryFrameInOrderWhileTheProducerWaitsForFreeSlots) {
  constexpr int kSlots = 3, kFrames = 24;
  auto owned = std::make_unique<NotingSink>();
  NotingSink& sink = *owned;
  sink.delay = std::chrono::milliseconds(3);
  FrameWriter writer(std::move(owned), kWidth, kHeight, kSlots);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_NE(writer.nextSlot(), nullptr);
    // A slot is free only once the frame that had it is written: frame i waits for frame
    // i - kSlots, so no more than kSlots frames are ever held.
    EXPECT_GE(sink.done.load(), i - kSlots + 1) << "frame " << i;
    ASSERT_TRUE(submitFrame(writer, i));
  }
  std::string error;
  ASSERT_TRUE(writer.finish(&error)) << error;
  EXPECT_EQ(writer.framesWritten(), kFrames);
  EXPECT_EQ(sink.finished, 1);
  ASSERT_EQ(sink.indices.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(sink.indices[i], i);
    EXPECT_EQ(sink.firstBytes[i], i) << "frame " << i << " is not the one submitted " << i << "th";
    EXPECT_EQ(sink.lastBytes[i], i);
  }
}

TEST(FrameWriter, AFrameThatCannotBeWrittenStopsTheWritingAndFinishSaysWhy) {
  auto owned = std::make_unique<NotingSink>();
  NotingSink& sink = *owned;
  sink.failAt = 4;
  FrameWriter writer(std::move(owned), kWidth, kHeight, 2);
  int submitted = 0;
  while (submitted < 50 && submitFrame(writer, submitted)) ++submitted;
  EXPECT_LT(submitted, 50) << "the producer never learnt of the failure";
  EXPECT_TRUE(writer.failed());
  EXPECT_EQ(writer.failure(), "disk full");
  std::string error;
  EXPECT_FALSE(writer.finish(&error));
  EXPECT_EQ(error, "disk full");
  EXPECT_EQ(sink.indices, (std::vector<int64_t>{0, 1, 2, 3, 4}));  // nothing after the failed frame
  EXPECT_EQ(writer.framesWritten(), 4);
  EXPECT_EQ(sink.finished, 1);
  // Asked again, the same answer; the sink is not finished twice.
  error.clear();
  EXPECT_FALSE(writer.finish(&error));
  EXPECT_EQ(error, "disk full");
  EXPECT_EQ(sink.finished, 1);
}

TEST(FrameWriter, TheSinksOwnReasonAtTheEndComesFirst) {
  // As ffmpeg's: its frames stopped being taken with no reason, the reason comes when it ends.
  auto owned = std::make_unique<NotingSink>();
  owned->failAt = 1;
  owned->finishFailure = "ffmpeg could not write x.mp4 (exit status 1)";
  FrameWriter writer(std::move(owned), kWidth, kHeight);
  for (int i = 0; i < 3 && submitFrame(writer, i); ++i) {
  }
  std::string error;
  EXPECT_FALSE(writer.finish(&error));
  EXPECT_EQ(error, "ffmpeg could not write x.mp4 (exit status 1)");
}

TEST(FrameWriter, NoFramesStillFinishesTheSinkAndEndsTheThread) {
  auto owned = std::make_unique<NotingSink>();
  NotingSink& sink = *owned;
  FrameWriter writer(std::move(owned), kWidth, kHeight);
  EXPECT_TRUE(writer.finish(nullptr));
  EXPECT_EQ(sink.finished, 1);
  EXPECT_TRUE(sink.indices.empty());
  EXPECT_EQ(writer.framesWritten(), 0);
}

}  // namespace
