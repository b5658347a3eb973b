#include "effects/PostProcess.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>

#include "effects/ScreenQuad.h"
#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "resources/RenderTarget.h"
#include "resources/Texture.h"

float exposure = 32.0f;

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;
constexpr ScreenRect kFull{0, 0, 1, 1};

constexpr const char* kBlurProgram = "data/shaders/fp_blur.cg";
constexpr const char* kMulSubProgram = "data/shaders/fp_submul.cg";
constexpr const char* kConvertProgram = "data/shaders/fp_convert_float_fixed.cg";
constexpr const char* kToneMapProgram = "data/shaders/fp_tonemap.cg";
constexpr const char* kDofProgram = "data/shaders/fp_dof.cg";

// Beyond 256 additive draws of an image into an 8-bit frame nothing changes any more (every
// non-zero channel has reached 255), so a script's runaway count, or the count + 1 wrapping
// to 0, is held here.
constexpr uint32_t kMostAdditiveDraws = 256;

// The offsets of the four filter rounds, in multiples of the per-axis unit: the inner and the
// outer ring of samples, each round reaching about twice as far as the one before.
constexpr float kRounds[4][2] = {{0.5f, 1.5f}, {1.5f, 3.5f}, {3.5f, 7.5f}, {7.5f, 15.5f}};

void setRoundFactors(FragmentProgram* program, int round, float unitX, float unitY) {
  const float inner = kRounds[round][0], outer = kRounds[round][1];
  program->setParameter4f(program->factors, inner * unitX, inner * unitY, outer * unitX,
                          outer * unitY);
}

void initClamped(RenderTarget& target, const std::string& name, int size, int flags) {
  target.init(name, size, size, flags);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  target.setTextureParameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  target.setTextureParameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

// copyPass with or without its clear (the conversion pass draws without).
void drawCopy(RenderTarget* source, RenderTarget* destination, bool clear) {
  destination->bind();
  if (clear) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glBindTexture(GL_TEXTURE_2D, source->getColorTextureId());
  glEnable(GL_TEXTURE_2D);
  setOrthoUnitFlipped();  // (0, 1, 1, 0)
  drawRectTex(kFull, kFull);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  destination->unbind();
}

// What the three filtering types draw: optionally the sharp glow layer, then `result` `draws`
// times, each added on top while the glow is on; `program` (may be null) shades the result.
void drawLayers(RenderTarget* glowLayer, RenderTarget* result, bool glow, uint32_t draws,
                FragmentProgram* program) {
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  setOrthoUnitFlipped();
  glColor4f(1, 1, 1, 1);
  if (glow) {
    glBindTexture(GL_TEXTURE_2D, glowLayer->getColorTextureId());
    drawRectTex(kFull, kFull);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
  }
  glBindTexture(GL_TEXTURE_2D, result->getColorTextureId());
  if (program) program->bind();
  for (uint32_t i = 0; i < std::min(draws, kMostAdditiveDraws); ++i) drawRectTex(kFull, kFull);
  if (program) program->unbind();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glColor4f(1, 1, 1, 1);
}

// The number of draws: count + 1 without wrapping.
uint32_t plusOne(uint32_t count) { return count < kMostAdditiveDraws ? count + 1 : kMostAdditiveDraws; }

// The exposure the passes use: a non-positive or non-finite one has no range at all and gives
// black, instead of a division by zero.
float usableExposure() { return exposure > 0 && std::isfinite(exposure) ? exposure : 0.0f; }

void startWithSource(Effect& effect, uint32_t time) {
  if (effect.sourceEffect) effect.sourceEffect->start(time);
}

}  // namespace

// [SECTION] Passes

void copyPass(RenderTarget* source, RenderTarget* destination) { drawCopy(source, destination, true); }

RenderTarget& sceneDepthTarget() {
  static RenderTarget target;
  if (!target.isInited()) target.init("scenedepth", 1024, 1024, RenderTarget::kDepth);
  return target;
}

// [SECTION] ShaderRTT and ShaderRTT_HDR

namespace {

ShaderRTT::Targets* sharedTargets(bool hdr) {
  static RenderTarget plain[5], floating[6];
  static ShaderRTT::Targets sets[2] = {
      {&plain[0], nullptr, {&plain[1], &plain[2], &plain[3], &plain[4]}, false},
      {&floating[0], &floating[5], {&floating[1], &floating[2], &floating[3], &floating[4]}, false},
  };
  return &sets[hdr ? 1 : 0];
}

}  // namespace

ShaderRTT::ShaderRTT(const std::string& name) : ShaderRTT(name, false) {}

ShaderRTT::ShaderRTT(const std::string& name, bool hdr) : Effect(name), hdr(hdr), shared(sharedTargets(hdr)) {
  Subtract.value = 0.4f;
  Multiply.value = 0.1f;
  BlurFactorX.value = 0.5f;
  BlurFactorY.value = 0.5f;
  registerVariable(&DoBlur, "DoBlur", kNoTable, Variable::kBool, "run the blur passes");
  registerVariable(&DoMulSub, "DoMulSub", kNoTable, Variable::kBool, "run the multiply/subtract pass");
  registerVariable(&DoGlow, "DoGlow", kNoTable, Variable::kBool, "add the blurred picture over the sharp one");
  registerVariable(&Subtract, "Subtract", kNoTable, Variable::kFloat, "strength of the subtract step");
  registerVariable(&Multiply, "Multiply", kNoTable, Variable::kFloat, "strength of the multiply step");
  registerVariable(&BlurFactorX, "BlurFactorX", kNoTable, Variable::kFloat, "horizontal blur spread");
  registerVariable(&BlurFactorY, "BlurFactorY", kNoTable, Variable::kFloat, "vertical blur spread");
  registerEvent(kSelectPair, "SELECT_PAIR", "value < 512: blur in the 128² pair of targets, else the 512² pair");
  if (hdr) registerEvent(ShaderRTT_HDR::kExposure, "EXPOSURE", "HDR exposure = value");
  registerVariable(&NumAdditivePasses, "NumAdditivePasses", kNoTable, Variable::kInteger, "additive blur passes");

  Targets& t = targets();
  if (hdr) {
    t.first->init(name + "_1", 1024, 1024,
                  RenderTarget::kDepth | RenderTarget::kAlpha | RenderTarget::kFloat);
    t.convert->init(name + "_convert", 512, 512,
                    RenderTarget::kDepth | RenderTarget::kAlpha | RenderTarget::k16Bit);
  } else {
    t.first->init(name + "_1", 1024, 1024, RenderTarget::kDepth | RenderTarget::kAlpha);
  }
  const int pairFlags = RenderTarget::kAlpha | (hdr ? RenderTarget::k16Bit : 0);
  initClamped(*t.pairs[0], name + "_2", 128, pairFlags);
  initClamped(*t.pairs[1], name + "_3", 128, pairFlags);
  initClamped(*t.pairs[2], name + "_4", 512, pairFlags);
  initClamped(*t.pairs[3], name + "_5", 512, pairFlags);
  t.large = false;

  blurProgram = getFragmentProgram(kBlurProgram);
  mulSubProgram = getFragmentProgram(kMulSubProgram);
  if (hdr) {
    convertProgram = getFragmentProgram(kConvertProgram);
    toneMapProgram = getFragmentProgram(kToneMapProgram);
  }
}

void ShaderRTT::start(uint32_t time) {
  Effect::start(time);
  startWithSource(*this, time);
}

void ShaderRTT::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  if (event.code == kSelectPair) targets().large = event.value >= 512;
}

void ShaderRTT::update(uint32_t time) {
  Effect::update(time);
  if (!sourceEffect) return;
  doGlow = DoGlow.evaluateBool(time);
  doBlur = DoBlur.evaluateBool(time);
  doMulSub = DoMulSub.evaluateBool(time);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);

  Targets& t = targets();
  RenderTarget* a = t.a();
  RenderTarget* b = t.b();
  renderSourceToTarget(t.first, time);
  RenderTarget* fixedImage = t.first;
  if (hdr) {
    // Into the 16-bit target with the exposure as its full scale: the exposure is applied
    // here, the tone map after the filtering shows the result.
    glViewport(0, 0, t.convert->getWidth(), t.convert->getHeight());
    glColor4f(1, 1, 1, 1);
    convertProgram->bind();
    const float e = usableExposure();
    convertProgram->setParameter4f(convertProgram->factors, e > 0 ? 1 / e : 0,
                                   1.0f / 4096, 0, 0);
    drawCopy(t.first, t.convert, false);
    convertProgram->unbind();
    fixedImage = t.convert;
  }
  result = b;
  glViewport(0, 0, a->getWidth(), a->getHeight());

  RenderTarget* current = t.first;
  if (doMulSub) {
    mulSubProgram->bind();
    mulSubProgram->setParameter4f(mulSubProgram->factors, Subtract.evaluate(time),
                                  Multiply.evaluate(time) * 10, 0, 0);
    if (hdr) glColor4f(1, 1, 1, 1);
    copyPass(fixedImage, b);
    mulSubProgram->unbind();
    current = b;
  }
  if (doBlur) {
    blurProgram->bind();
    const int n = a->getWidth();
    // Offsets in texture units of the pair, scaled so that both pairs reach equally far
    // across the picture.
    const int k = (hdr ? 512 : 1024) / n;
    const float unitX = 2 * BlurFactorX.evaluate(time) / static_cast<float>(k) / static_cast<float>(n);
    const float unitY = 2 * BlurFactorY.evaluate(time) / static_cast<float>(k) / static_cast<float>(n);
    if (hdr) glColor4f(1, 1, 1, 1);
    setRoundFactors(blurProgram, 0, unitX, unitY);
    copyPass(current, a);
    copyPass(a, b);
    for (int round = 1; round < 4; ++round) {
      setRoundFactors(blurProgram, round, unitX, unitY);
      copyPass(b, a);
      copyPass(a, b);
    }
    blurProgram->unbind();
  }
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void ShaderRTT::render(uint32_t time) {
  if (!sourceEffect || !result) return;
  const uint32_t draws = plusOne(NumAdditivePasses.evaluateInt(time));
  if (!hdr) {
    drawLayers(targets().first, result, doGlow, draws, nullptr);
    return;
  }
  toneMapProgram->setParameter4f(toneMapProgram->factors, exposure, 0, 0, 0);
  drawLayers(targets().first, result, doGlow, draws, toneMapProgram);
}

ShaderRTT_HDR::ShaderRTT_HDR(const std::string& name) : ShaderRTT(name, true) {}

void ShaderRTT_HDR::handleEvent(const TimelineEvent& event) {
  ShaderRTT::handleEvent(event);
  if (event.code == kExposure) exposure = event.value;
}

// [SECTION] ShaderDOF

namespace {

bool dofReducedSource = true;

}  // namespace

void setDofReducedSource(bool enabled) { dofReducedSource = enabled; }

RenderTarget& ShaderDOF::target(int index) {
  static RenderTarget targets[4];
  return targets[index - 1];
}

RenderTarget* ShaderDOF::sourceTarget() const {
  if (doGlow || !dofReducedSource) return &target(1);
  // Made when first drawn into, not while the demo loads: start-up only builds what the
  // first frame may need.
  RenderTarget& reduced = target(4);
  if (!reduced.isInited()) reduced.init(name + "_6", 768, 768, RenderTarget::kDepth | RenderTarget::kAlpha);
  return &reduced;
}

ShaderDOF::ShaderDOF(const std::string& name) : Effect(name) {
  BlurFactorX.value = 0.5f;
  BlurFactorY.value = 0.5f;
  NumAdditivePasses.value = 1;
  registerVariable(&DoBlur, "DoBlur", kNoTable, Variable::kBool, "run the blur passes");
  registerVariable(&DoGlow, "DoGlow", kNoTable, Variable::kBool, "add the blurred picture over the sharp one");
  registerVariable(&BlurFactorX, "BlurFactorX", kNoTable, Variable::kFloat, "horizontal blur spread");
  registerVariable(&BlurFactorY, "BlurFactorY", kNoTable, Variable::kFloat, "vertical blur spread");
  registerVariable(&NumAdditivePasses, "NumAdditivePasses", kNoTable, Variable::kInteger, "additive blur passes");

  target(1).init(name + "_1", 1024, 1024, RenderTarget::kDepth | RenderTarget::kAlpha);
  initClamped(target(2), name + "_4", 512, RenderTarget::kAlpha);
  initClamped(target(3), name + "_5", 512, RenderTarget::kAlpha);
  dofProgram = getFragmentProgram(kDofProgram);
  sceneDepthTarget();
}

void ShaderDOF::start(uint32_t time) {
  Effect::start(time);
  startWithSource(*this, time);
}

namespace {

// One filtering step of the depth of field: no clear, the program and projection already set.
void dofPass(RenderTarget* source, RenderTarget* destination) {
  destination->bind();
  glBindTexture(GL_TEXTURE_2D, source->getColorTextureId());
  drawRectTex(kFull, kFull);
  destination->unbind();
}

}  // namespace

void ShaderDOF::update(uint32_t time) {
  Effect::update(time);
  if (!sourceEffect) return;
  doGlow = DoGlow.evaluateBool(time);
  doBlur = DoBlur.evaluateBool(time);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  RenderTarget* d1 = sourceTarget();
  RenderTarget* d2 = &target(2);
  RenderTarget* d3 = &target(3);
  renderSourceToTarget(d1, time);
  result = d3;
  glViewport(0, 0, d2->getWidth(), d2->getHeight());

  if (doBlur) {
    dofProgram->bind();
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, sceneDepthTarget().getColorTextureId());
    glEnable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    setOrthoUnitFlipped();  // (0, 1, 1, 0)
    const float n = static_cast<float>(d2->getWidth());
    const float unitX = BlurFactorX.evaluate(time) / n;
    const float unitY = BlurFactorY.evaluate(time) / n;
    setRoundFactors(dofProgram, 0, unitX, unitY);
    dofPass(d1, d2);
    dofPass(d2, d3);
    for (int round = 1; round < 4; ++round) {
      setRoundFactors(dofProgram, round, unitX, unitY);
      dofPass(d3, d2);
      dofPass(d2, d3);
    }
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    dofProgram->unbind();
  }
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void ShaderDOF::render(uint32_t time) {
  if (!sourceEffect || !result) return;
  const uint32_t count = NumAdditivePasses.evaluateInt(time);
  drawLayers(&target(1), result, doGlow, count, nullptr);
}

// [SECTION] TargetTexture and TargetTextureHDR

namespace {

RenderTarget* ownTarget(bool hdr) {
  static RenderTarget plain, floating;
  return hdr ? &floating : &plain;
}

}  // namespace

TargetTexture::TargetTexture(const std::string& name) : TargetTexture(name, false) {}

TargetTexture::TargetTexture(const std::string& name, bool hdr) : Effect(name), own(ownTarget(hdr)) {
  FactorX.value = 1.0f;
  FactorY.value = 0.0f;
  Red.value = Green.value = Blue.value = Alpha.value = 1.0f;
  registerVariable(&FactorX, "FactorX", kNoTable, Variable::kFloat, "texture scroll speed along x");
  registerVariable(&FactorY, "FactorY", kNoTable, Variable::kFloat, "texture scroll speed along y");
  registerVariable(&Red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  registerVariable(&Green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  registerVariable(&Blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  registerEvent(kSecondTexture, "SECOND_TEXTURE", "loads the picture file named by the text as the second texture");
  registerVariable(&Alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");

  const int flags = RenderTarget::kDepth | RenderTarget::kAlpha | (hdr ? RenderTarget::kFloat : 0);
  own->init(name + "_1", 512, 512, flags);
  glBindTexture(GL_TEXTURE_2D, own->getColorTextureId());
  own->setTextureParameter(GL_TEXTURE_WRAP_S, GL_REPEAT);
  own->setTextureParameter(GL_TEXTURE_WRAP_T, GL_REPEAT);
}

void TargetTexture::start(uint32_t time) {
  Effect::start(time);
  startWithSource(*this, time);
}

void TargetTexture::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  if (event.code == kSecondTexture)
    texture = TextureManager::instance().getTexture(event.text, "", GL_TEXTURE_2D, 0);
}

void TargetTexture::update(uint32_t time) {
  Effect::update(time);
  if (!sourceEffect) return;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  renderSourceToTarget(own, time);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void TargetTexture::render(uint32_t time) {
  if (!sourceEffect) return;
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(blendSrcFactor, blendDstFactor);
  glBlendEquation(blendEquationMode);
  setOrthoUnitFlipped();
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  const float u = FactorX.evaluate(time) * scaledTime;
  const float v = FactorY.evaluate(time) * scaledTime;

  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, own->getColorTextureId());
  if (fragmentProgram) {
    fragmentProgram->bind();
    fragmentProgram->setParameter4f(fragmentProgram->factors, Factor0.evaluate(time),
                                    Factor1.evaluate(time), Factor2.evaluate(time),
                                    Factor3.evaluate(time));
  }
  if (texture) {
    glActiveTexture(GL_TEXTURE1);
    texture->bind();
    glEnable(GL_TEXTURE_2D);
    drawRectMultiTex(kFull, {u, v, 1, 1});
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
  } else {
    drawRectTex(kFull, {u, v, 1, 1});
  }
  glDisable(GL_TEXTURE_2D);
  if (fragmentProgram) fragmentProgram->unbind();
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glColor4f(1, 1, 1, 1);
  glDisable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
}
