#pragma once
// Render-to-texture post-processing: each type renders its source effect into a target every
// frame and draws that image over the screen, filtered by GLSL fragment programs.
//   ShaderRTT         multiply/subtract and blur programs, glow, additive repetition
//   ShaderRTT_HDR     the same from a floating-point target, converted to fixed point by the
//                     exposure and tone-mapped on the way to the screen
//   ShaderDOF         blur weighted by the scene's depth-information image ("scenedepth")
//   TargetTexture     the plain rendered image, scrolled, tinted and blended, optionally with
//   TargetTextureHDR  a second texture and the effect's own fragment program
//
// The programs' parameter `factors` carries the settings; data/shaders/fp_*.cg say how.

#include <cstdint>

#include "demoSystem/Effect.h"

class FragmentProgram;
class RenderTarget;
class Texture;

// [SECTION] Passes

// Clears `destination`, then draws `source`'s colour texture over it with whatever fragment
// program is bound (depth test and writes off for the draw, projection (0, 1, 1, 0)).
void copyPass(RenderTarget* source, RenderTarget* destination);

// The scene's depth-information target, by its name "scenedepth" (1024², with depth): every
// target of that name shares its colour texture, so this reads what the scene's depth pass
// drew. Created on first use.
RenderTarget& sceneDepthTarget();

// The process-wide exposure of ShaderRTT_HDR (event 58), 32 at start.
extern float exposure;

// [SECTION] ShaderRTT and ShaderRTT_HDR

class ShaderRTT : public Effect {
 public:
  static constexpr int32_t kSelectPair = 39;  // value < 512: the 128² pair, else the 512² pair

  explicit ShaderRTT(const std::string& name);

  void start(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  void handleEvent(const TimelineEvent& event) override;

  // The targets one type's instances share: the source target, the conversion target (HDR
  // only), the small pair and the large pair, and which pair is selected.
  struct Targets {
    RenderTarget* first;
    RenderTarget* convert;
    RenderTarget* pairs[4];  // small A, small B, large A, large B
    bool large;
    RenderTarget* a() const { return pairs[large ? 2 : 0]; }
    RenderTarget* b() const { return pairs[large ? 3 : 1]; }
  };
  Targets& targets() const { return *shared; }

  RenderTarget* result = nullptr;
  BoolVariable DoBlur, DoMulSub, DoGlow;
  FloatVariable Subtract, Multiply, BlurFactorX, BlurFactorY;
  IntVariable NumAdditivePasses;
  bool doBlur = false, doMulSub = false, doGlow = false;

 protected:
  ShaderRTT(const std::string& name, bool hdr);

  bool hdr;
  Targets* shared;
  FragmentProgram* blurProgram = nullptr;
  FragmentProgram* mulSubProgram = nullptr;
  FragmentProgram* convertProgram = nullptr;  // HDR only
  FragmentProgram* toneMapProgram = nullptr;  // HDR only
};

class ShaderRTT_HDR : public ShaderRTT {
 public:
  static constexpr int32_t kExposure = 58;

  explicit ShaderRTT_HDR(const std::string& name);
  void handleEvent(const TimelineEvent& event) override;
};

// [SECTION] ShaderDOF

class ShaderDOF : public Effect {
 public:
  explicit ShaderDOF(const std::string& name);

  void start(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;

  // D1 (the source, 1024²), D2 and D3 (512², clamped), D4 (the source at 768², for the
  // passes alone).
  static RenderTarget& target(int index);
  // The target the source is drawn into: D1 when the glow shows it sharp on the screen (or
  // the reduced source is switched off), else D4. The passes are 512²: a 768² source gives
  // them the same picture within a level or two on nearly every pixel, for 56 % of the fill.
  RenderTarget* sourceTarget() const;

  RenderTarget* result = nullptr;
  BoolVariable DoBlur, DoGlow;
  FloatVariable BlurFactorX, BlurFactorY;
  IntVariable NumAdditivePasses;
  bool doBlur = false, doGlow = false;

 private:
  FragmentProgram* dofProgram = nullptr;
};

// Whether ShaderDOF draws its source at the reduced size when the glow is off (true, the
// default). For the benchmark and the tolerance test.
void setDofReducedSource(bool enabled);

// [SECTION] TargetTexture and TargetTextureHDR

class TargetTexture : public Effect {
 public:
  static constexpr int32_t kSecondTexture = 26;

  explicit TargetTexture(const std::string& name);

  void start(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  void handleEvent(const TimelineEvent& event) override;

  RenderTarget& target() const { return *own; }

  FloatVariable FactorX, FactorY;
  FloatVariable Red, Green, Blue, Alpha;
  Texture* texture = nullptr;  // the optional second texture, on unit 1

 protected:
  TargetTexture(const std::string& name, bool hdr);

  RenderTarget* own;
};

class TargetTextureHDR : public TargetTexture {
 public:
  explicit TargetTextureHDR(const std::string& name) : TargetTexture(name, true) {}
};
