#pragma once
// The layer effects: whole-frame operations a script stacks between the others.
//   Clear  clears colour, stencil and depth with a keyed colour
//   Fade   a coloured full-screen quad whose opacity follows the scaled time
//   Flash  a full-screen flash on the steps of the beat pattern
//   Image  a picture drawn as a placed, rotated, scaled and tinted quad

#include <array>

#include "demoSystem/Effect.h"

class Texture;

// [SECTION] Clear

class ClearEffect : public Effect {
 public:
  ClearEffect(const std::string& name, float red, float green, float blue, float alpha);
  void render(uint32_t time) override;

  FloatVariable Red, Green, Blue, Alpha;
  BoolVariable ClearColor, ClearStencil, ClearDepth;
};

// [SECTION] Fade

class FadeEffect : public Effect {
 public:
  static constexpr int32_t kSetDuration = 22;  // "Speed" = 1 / value: the fade lasts 5 × value ms
  static constexpr int32_t kSetFadeOut = 27;   // fadeOut = value > 0

  explicit FadeEffect(const std::string& name);
  void render(uint32_t time) override;
  void handleEvent(const TimelineEvent& event) override;

  FloatVariable Red, Green, Blue, Alpha;  // Alpha is registered; the quad's alpha is the time
  Texture* texture = nullptr;
  bool fadeOut = true;
};

// [SECTION] Flash

class FlashEffect : public Effect {
 public:
  explicit FlashEffect(const std::string& name);
  void render(uint32_t time) override;
  void onPatternStep(float scaledTime) override;

  BoolVariable Add;
  BoolVariable Repeat;  // registered for scripts, not read by the drawing
  Texture* texture = nullptr;
  float flashStart = 0;
};

// [SECTION] Image

class ImageEffect : public Effect {
 public:
  static constexpr int32_t kAlphaPulse = 5;
  static constexpr int32_t kPosition = 7;
  static constexpr int32_t kRotation = 8;
  static constexpr int32_t kScale = 9;
  static constexpr int32_t kDrift = 10;
  static constexpr int32_t kRotationSpeed = 11;
  static constexpr int32_t kScaleSpeed = 12;
  static constexpr int32_t kGrow = 23;
  static constexpr int32_t kShrink = 24;
  static constexpr int32_t kLoadTexture = 26;
  static constexpr int32_t kPulseScale = 28;
  static constexpr int32_t kAlpha = 29;

  using Vec3 = std::array<float, 3>;

  explicit ImageEffect(const std::string& name);
  void start(uint32_t time) override;
  void render(uint32_t time) override;
  void handleEvent(const TimelineEvent& event) override;
  void onStringAdded(int32_t table, const std::string& text, int32_t count) override;

  FloatVariable Red, Green, Blue, Alpha;
  IntVariable Datafile;
  Texture* texture = nullptr;
  Vec3 position{0, 0, 0};
  Vec3 rotation{0, 0, 0};  // degrees
  Vec3 scale{1, 1, 1};
  Vec3 drift{0, 0, 0};
  Vec3 rotationSpeed{0, 0, 0};
  Vec3 scaleSpeed{0, 0, 0};
  bool growing = true;
  float alphaBoost = 0;
  float pulseScale = 0;

 private:
  void resetTransform();
};
