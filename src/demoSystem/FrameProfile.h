#pragma once
// Where a frame's time goes: while a profile is open, the timeline measures every effect's
// update and render and the profile writes one CSV row per effect and frame. With no
// profile open the timeline pays one pointer test per effect and nothing else.
//
//   FrameProfile profile;
//   if (!profile.open("frames.csv", &error)) ...;
//   frameProfile = &profile;     // renderFrame measures from its next call on
//   ...
//   frameProfile = nullptr; profile.close(&error);
//
// The file, one row per effect that was updated or rendered in a frame (a frame in which
// no effect ran still gets one row, with an empty effect):
//
//   frame,demo_ms,part,part_start_ms,frame_ms,effect,update_ms,render_ms
//
// frame counts the frames profiled from 0; part is the number of the part (1 for the
// first DEFINE_DEMO_PART time, 0 before it) and part_start_ms its time; frame_ms is the
// timeline's whole frame (events, updates, renders) until the driver has finished drawing
// it. To charge each effect with the drawing it caused, the frame waits for the driver
// after every render while profiling, so a profiled run is a little slower than a plain one.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class Effect;

class FrameProfile {
 public:
  using Clock = std::chrono::steady_clock;

  FrameProfile();
  ~FrameProfile();
  FrameProfile(const FrameProfile&) = delete;
  FrameProfile& operator=(const FrameProfile&) = delete;

  // Creates (or truncates) the file and writes the header; false with the reason.
  bool open(const std::string& path, std::string* error);
  // Writes what is buffered and closes; false with the reason when the data did not all
  // reach the file (a full disk). Closing a closed profile is fine.
  bool close(std::string* error);
  bool isOpen() const { return file != nullptr; }
  int64_t framesWritten() const { return frameIndex; }

  // [SECTION] Called by the timeline's frame, in this order
  // `effectCount` slots, kept from frame to frame (they grow only with the effect list).
  void beginFrame(uint32_t demoTime, size_t effectCount);
  void recordUpdate(size_t slot, const Effect* effect, Clock::duration spent);
  void recordRender(size_t slot, const Effect* effect, Clock::duration spent);
  // Waits for the driver, then writes the frame's rows.
  void endFrame();

 private:
  struct Slot {
    const Effect* effect = nullptr;
    Clock::duration update{};
    Clock::duration render{};
  };
  void writeRow(const Effect* effect, Clock::duration update, Clock::duration render);
  void put(const char* text, size_t length);
  void putMilliseconds(Clock::duration d);
  void putInteger(int64_t value);

  std::FILE* file = nullptr;
  std::unique_ptr<char[]> fileBuffer;
  std::vector<Slot> slots;
  size_t slotsUsed = 0;
  int64_t frameIndex = 0;
  uint32_t demoTime = 0;
  uint32_t part = 0;
  uint32_t partStart = 0;
  Clock::time_point frameStart{};
  Clock::duration frameTime{};
};

// The profile the timeline writes to; null (the default) measures nothing.
extern FrameProfile* frameProfile;
