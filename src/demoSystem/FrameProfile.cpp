#include "demoSystem/FrameProfile.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "demoSystem/DemoValues.h"
#include "demoSystem/Effect.h"
#include "platform/Files.h"

FrameProfile* frameProfile = nullptr;

namespace {

// Rows go out through a large stdio buffer, so a frame costs a copy into memory and the
// disk sees a write every few hundred frames.
constexpr size_t kFileBufferSize = 1 << 20;
constexpr size_t kInitialSlots = 64;

}  // namespace

FrameProfile::FrameProfile() { slots.reserve(kInitialSlots); }

FrameProfile::~FrameProfile() {
  std::string ignored;
  close(&ignored);
}

bool FrameProfile::open(const std::string& path, std::string* error) {
  close(error);
  file = platform::openFile(path, "wb");
  if (!file) {
    *error = "--profile " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!fileBuffer) fileBuffer = std::make_unique<char[]>(kFileBufferSize);
  std::setvbuf(file, fileBuffer.get(), _IOFBF, kFileBufferSize);
  static constexpr char kHeader[] = "frame,demo_ms,part,part_start_ms,frame_ms,effect,update_ms,render_ms\n";
  put(kHeader, sizeof kHeader - 1);
  frameIndex = 0;
  return true;
}

bool FrameProfile::close(std::string* error) {
  if (!file) return true;
  const bool failed = std::ferror(file) != 0;
  const bool closed = std::fclose(file) == 0;
  file = nullptr;
  if (failed || !closed) {
    *error = "the frame profile could not be written completely";
    return false;
  }
  return true;
}

void FrameProfile::beginFrame(uint32_t time, size_t effectCount) {
  // What the frame before left in the driver (the swap, a capture's read-back) is not
  // this frame's first effect's.
  glFinish();
  demoTime = time;
  const auto after = std::upper_bound(partTimes.begin(), partTimes.end(), time);
  part = static_cast<uint32_t>(after - partTimes.begin());
  partStart = part == 0 ? 0 : partTimes[part - 1];
  if (slots.size() < effectCount) slots.resize(effectCount);
  std::fill_n(slots.begin(), effectCount, Slot{});
  slotsUsed = effectCount;
  frameStart = Clock::now();
}

void FrameProfile::recordUpdate(size_t slot, const Effect* effect, Clock::duration spent) {
  if (slot >= slotsUsed) return;
  slots[slot].effect = effect;
  slots[slot].update = spent;
}

void FrameProfile::recordRender(size_t slot, const Effect* effect, Clock::duration spent) {
  if (slot >= slotsUsed) return;
  slots[slot].effect = effect;
  slots[slot].render = spent;
}

void FrameProfile::endFrame() {
  glFinish();
  frameTime = Clock::now() - frameStart;
  if (!file) return;
  bool any = false;
  for (size_t i = 0; i < slotsUsed; ++i) {
    if (!slots[i].effect) continue;
    writeRow(slots[i].effect, slots[i].update, slots[i].render);
    any = true;
  }
  if (!any) writeRow(nullptr, {}, {});
  ++frameIndex;
}

void FrameProfile::writeRow(const Effect* effect, Clock::duration update, Clock::duration render) {
  putInteger(frameIndex);
  put(",", 1);
  putInteger(demoTime);
  put(",", 1);
  putInteger(part);
  put(",", 1);
  putInteger(partStart);
  put(",", 1);
  putMilliseconds(frameTime);
  put(",", 1);
  if (effect) {
    // Instance names are script tokens; one with a comma or a quote is quoted as CSV wants.
    const std::string& name = effect->getName();
    if (name.find_first_of(",\"") == std::string::npos) {
      put(name.data(), name.size());
    } else {
      put("\"", 1);
      for (char c : name) {
        if (c == '"') put("\"", 1);
        put(&c, 1);
      }
      put("\"", 1);
    }
  }
  put(",", 1);
  putMilliseconds(update);
  put(",", 1);
  putMilliseconds(render);
  put("\n", 1);
}

void FrameProfile::put(const char* text, size_t length) { std::fwrite(text, 1, length, file); }

void FrameProfile::putMilliseconds(Clock::duration d) {
  // Microsecond resolution, written as milliseconds with three decimals.
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
  putInteger(us / 1000);
  char fraction[4] = {'.', static_cast<char>('0' + us % 1000 / 100), static_cast<char>('0' + us % 100 / 10),
                      static_cast<char>('0' + us % 10)};
  put(fraction, sizeof fraction);
}

void FrameProfile::putInteger(int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  put(digits, static_cast<size_t>(result.ptr - digits));
}
