#pragma once
// The text effects.
//   TypeWriter  a picture of a line of text typed in from the left in fixed steps, its
//               newest edge fading in, a cursor line at the edge
//   ViewFPS     the diagnostic overlay shown while F2 is on: the frame-rate bar, the render
//               statistics, the timeline with the parts, and one lamp per effect

#include <array>

#include "demoSystem/Effect.h"

class Texture;

// [SECTION] TypeWriter

class TypeWriter : public Effect {
 public:
  static constexpr int32_t kPosition = 7;
  static constexpr int32_t kRotation = 8;
  static constexpr int32_t kScale = 9;
  static constexpr int32_t kRotationSpeed = 11;
  static constexpr int32_t kScaleSpeed = 12;
  static constexpr int32_t kNotDone = 13;
  static constexpr int32_t kDone = 14;
  static constexpr int32_t kGrow = 23;
  static constexpr int32_t kShrink = 24;
  static constexpr int32_t kLoadPicture = 26;
  static constexpr int32_t kCursorStart = 44;
  static constexpr int32_t kCursorEnd = 45;
  static constexpr int32_t kStep = 46;

  using Vec3 = std::array<float, 3>;

  explicit TypeWriter(const std::string& name);
  // The typing starts again: edge 0.55, no fade, not done, the last step now.
  void start(uint32_t time) override;
  void render(uint32_t time) override;
  // The typing and the fade advance per drawn frame; a start begins them again.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceStart; }
  void handleEvent(const TimelineEvent& event) override;
  // A file name in table 0 becomes the picture (the edge stays where it is).
  void onStringAdded(int32_t table, const std::string& text, int32_t count) override;

  // Registered for scripts; the drawing takes its colour from "maxvalue".
  FloatVariable Red, Green, Blue, Alpha;
  IntVariable Datafile;
  // Registered under the base's names after them, so scripts reach the base's; the drawing
  // sets its own blending.
  IntVariable OwnBlendSrc, OwnBlendDst, OwnBlendEquation;
  FloatVariable timerate;  // ms between two typing steps
  FloatVariable lstartx;   // the cursor shows while lstartx < edge < lendx
  FloatVariable lendx;
  FloatVariable maxvalue;  // brightness and largest alpha of the quad

  Texture* texture = nullptr;
  Vec3 position{0, 0, 0};
  Vec3 rotation{0, 0, 0};  // degrees
  Vec3 scale{1, 1, 1};
  Vec3 rotationSpeed{0, 0, 0};
  Vec3 scaleSpeed{0, 0, 0};
  bool growing = true;
  float edge = 0.55f;
  float step = 0.05f;
  // When the last step was due; fractional so that a rate of, say, 62.5 ms keeps its pace.
  double lastStepTime = 0;
  float fade = 0;
  bool done = false;
  float cursorStart = 1.0f;  // heights of the cursor line, 1 at the top of the quad
  float cursorEnd = 0.0f;

 private:
  void advance(uint32_t time);
  void loadPicture(const std::string& file);
};

// [SECTION] ViewFPS

class ViewFPS : public Effect {
 public:
  explicit ViewFPS(const std::string& name);
  // Starts the frame-rate counter: batches of 100 frames, no log.
  void start(uint32_t time) override;
  // One tick of the counter, on the demo clock's tick source (in a capture, the frames).
  void update(uint32_t time) override;
  // Draws only while the statistics overlay is on.
  void render(uint32_t time) override;

  // The timeline's colour; the bar, its marks, the statistics and the lamps keep their own.
  FloatVariable Red, Green, Blue, Alpha;

  // The rate the bar shows: 1 / the interval since the previous drawing, at most 100.
  float getShownFps() const { return shownFps; }

 private:
  double previousRenderMs = -1;  // none yet
  float shownFps = 0;
};
