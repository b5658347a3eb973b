// Plays through SDL's "disk" audio driver, which writes every mixed buffer to a file, and
// reads back what a listener would have heard.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "demoSystem/MusicTestTone.h"
#include "demoSystem/VelkorMusic.h"
#include "platform/AudioDevice.h"

namespace {

constexpr int kBlock = platform::kAudioBufferFrames;

// Waits until the driver has written `blocks` more buffers to `path` (or five seconds pass):
// a loaded machine may not run the audio thread for a while, so a fixed sleep could let a
// state (ducked, paused) pass without one buffer written in it.
void waitForBlocks(const std::string& path, int blocks) {
  namespace fs = std::filesystem;
  auto size = [&] {
    std::error_code ec;
    const auto n = fs::file_size(path, ec);
    return ec ? std::uintmax_t{0} : n;
  };
  const std::uintmax_t target = size() + std::uintmax_t(blocks) * kBlock * 4;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (size() < target && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::vector<int16_t> readRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

struct Block {
  enum Kind { Silence, Music, Unknown } kind = Unknown;
  int64_t position = -1;
  int volume = 0;
};

TEST(MusicDiskOutput, TheWrittenSamplesAreTheToneWithTheDuckSeekAndPause) {
  testtone::TempDir dir;
  const std::string ogg = dir.file("soundtrack.ogg");
  const std::string raw = dir.file("out.raw");
  ASSERT_TRUE(testtone::encodeOgg(ogg, testtone::sines(3.0, 440, 660, 0.5, 0.3)));
  const std::vector<int16_t> reference = testtone::decodeOgg(ogg);
  const int64_t length = static_cast<int64_t>(reference.size() / 2);

  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  closeSound();
  setAudioDevice(nullptr);
  ASSERT_TRUE(initSound());
  ASSERT_TRUE(openMusic(ogg.c_str()));
  // The driver's file is buffered: counting a few blocks more than needed makes sure each
  // state has reached the file, not only the buffer.
  waitForBlocks(raw, 3);
  playMusic();
  waitForBlocks(raw, 8);
  duckMusic();
  waitForBlocks(raw, 8);
  restoreMusicVolume();
  waitForBlocks(raw, 8);
  setMusicTime(2000);
  waitForBlocks(raw, 5);
  pauseMusic();
  waitForBlocks(raw, 5);
  playMusic();
  waitForBlocks(raw, 5);
  closeSound();
  setenv("SDL_AUDIODRIVER", "dummy", 1);

  const std::vector<int16_t> out = readRaw(raw);
  ASSERT_GT(out.size(), 2u * 30 * kBlock);
  ASSERT_EQ(out.size() % (2 * kBlock), 0u);

  // Does the block equal the track from `position` at `volume`?
  auto matches = [&](const int16_t* block, int64_t position, int volume) {
    for (int i = 0; i < 2 * kBlock; ++i) {
      const int64_t frame = position + i / 2;
      const int16_t want = frame < length ? reference[2 * frame + i % 2] : int16_t{0};
      if (block[i] != want * volume / 255) return false;
    }
    return true;
  };

  std::vector<Block> blocks;
  int64_t next = 0;
  for (size_t b = 0; b < out.size() / (2 * kBlock); ++b) {
    const int16_t* block = out.data() + b * 2 * kBlock;
    Block k;
    if (std::all_of(block, block + 2 * kBlock, [](int16_t s) { return s == 0; })) {
      k.kind = Block::Silence;
    } else {
      for (int64_t position : {next, int64_t{88200}}) {
        for (int volume : {255, 63}) {
          if (k.kind == Block::Unknown && matches(block, position, volume)) {
            k = {Block::Music, position, volume};
            next = position + kBlock;
          }
        }
      }
    }
    ASSERT_NE(k.kind, Block::Unknown) << "block " << b << " is neither silence nor the track in step";
    blocks.push_back(k);
  }

  // The sequence: silence (opened, not yet playing), the track from 0 at full volume, ducked,
  // full again, the jump to 2000 ms, silence while paused, and the track on from there.
  std::string story;
  for (const Block& k : blocks) {
    char c = k.kind == Block::Silence ? 's' : (k.position == 88200 ? 'J' : (k.volume == 255 ? 'F' : 'q'));
    if (story.empty() || story.back() != c) story += c;
  }
  EXPECT_EQ(story, "sFqFJFsF");
  EXPECT_EQ(blocks.back().kind, Block::Music);
  EXPECT_GT(blocks.back().position, 88200);  // resumed where the pause left it, not from 0
}

}  // namespace
