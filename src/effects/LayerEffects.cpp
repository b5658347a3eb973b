#include "effects/LayerEffects.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>

#include "effects/ScreenQuad.h"
#include "resources/Texture.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;
constexpr ScreenRect kFullScreen{0, 0, 1, 1};

void registerColour(Effect& effect, FloatVariable& red, FloatVariable& green, FloatVariable& blue,
                    FloatVariable& alpha) {
  effect.registerVariable(&red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  effect.registerVariable(&green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  effect.registerVariable(&blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  effect.registerVariable(&alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");
}

// The state every full-screen layer draws in; the quad goes over everything already there.
void beginOverlay() {
  glDepthMask(GL_FALSE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
}

// Back to what the next effect expects.
void endOverlay() {
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
}

}  // namespace

// [SECTION] Clear

ClearEffect::ClearEffect(const std::string& name, float red, float green, float blue, float alpha)
    : Effect(name) {
  Red.value = red;
  Green.value = green;
  Blue.value = blue;
  Alpha.value = alpha;
  ClearColor.value = ClearStencil.value = ClearDepth.value = true;
  registerColour(*this, Red, Green, Blue, Alpha);
  registerVariable(&ClearColor, "ClearColor", kNoTable, Variable::kBool, "clear the colour buffer");
  registerVariable(&ClearStencil, "ClearStencil", kNoTable, Variable::kBool, "clear the stencil buffer");
  registerVariable(&ClearDepth, "ClearDepth", kNoTable, Variable::kBool, "clear the depth buffer");
}

void ClearEffect::render(uint32_t time) {
  glClearColor(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  GLbitfield mask = 0;
  if (ClearColor.evaluateBool(time)) mask |= GL_COLOR_BUFFER_BIT;
  if (ClearStencil.evaluateBool(time)) mask |= GL_STENCIL_BUFFER_BIT;
  if (ClearDepth.evaluateBool(time)) mask |= GL_DEPTH_BUFFER_BIT;
  glClear(mask);  // an empty mask clears nothing, and is still issued
}

// [SECTION] Fade

FadeEffect::FadeEffect(const std::string& name) : Effect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  registerEvent(kSetDuration, "DURATION", "the fade lasts 5 × value ms (Speed = 1 / value)");
  registerEvent(kSetFadeOut, "FADE_OUT", "fades out while value > 0, else in");
}

void FadeEffect::render(uint32_t time) {
  const float a = fadeOut ? 1 - scaledTime : scaledTime;
  if (a < 0) return;
  if (fadeOut) glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  else glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), a);
  setOrthoUnit();
  beginOverlay();
  drawTexturedRect(texture, kFullScreen);
  endOverlay();
}

void FadeEffect::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  switch (event.code) {
    case kSetDuration:
      // The speed factor is Speed × 0.2 per millisecond, so the fade runs 5 × value ms.
      if (std::fabs(event.value) > 0.0001f) Speed.value = 1 / event.value;
      break;
    case kSetFadeOut:
      fadeOut = event.value > 0;
      break;
    default:
      break;
  }
}

// [SECTION] Flash

FlashEffect::FlashEffect(const std::string& name) : Effect(name) {
  patternEnabled = true;
  Add.value = true;
  Repeat.value = true;
  registerVariable(&Add, "Add", kNoTable, Variable::kBool, "additive blending");
  registerVariable(&Repeat, "Repeat", kNoTable, Variable::kBool, "registered, not read by the drawing");
}

void FlashEffect::onPatternStep(float stepScaledTime) { flashStart = stepScaledTime; }

void FlashEffect::render(uint32_t time) {
  if (getPatternValue() == '0') return;
  // k counts down from 255 at the step in 1/255 units of scaled time, so the intensity
  // starts at 1 and falls by a factor e per unit.
  // (Clamped only so that a flash left running for hours, or a nonsensical speed, cannot
  // overflow the integer.)
  const float raw = (scaledTime - flashStart) * 255;
  const float elapsed = std::isnan(raw) ? 0.0f : std::clamp(raw, -1e9f, 1e9f);
  const int k = 255 - static_cast<int>(std::trunc(elapsed));
  const float intensity = std::exp(static_cast<float>(k) / 255 - 1);
  if (Add.evaluateBool(time)) glBlendFunc(GL_ONE, GL_ONE);
  else glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(intensity, intensity, intensity, intensity);
  setOrthoUnit();
  beginOverlay();
  drawTexturedRect(texture, kFullScreen);
  endOverlay();
}

// [SECTION] Image

ImageEffect::ImageEffect(const std::string& name) : Effect(name) {
  Red.value = Green.value = Blue.value = Alpha.value = 1;
  Datafile.stringIndexed = true;
  registerColour(*this, Red, Green, Blue, Alpha);
  registerVariable(&Datafile, "Datafile", 0, Variable::kInteger, "picture, by the file name given at set-up");
  registerEvent(kAlphaPulse, "PULSE", "alpha boost = pulse scale × value (besides the base pulse)");
  registerEvent(kPosition, "POSITION", "position = the three numbers");
  registerEvent(kRotation, "ROTATION", "rotation in degrees = the three numbers");
  registerEvent(kScale, "SCALE", "scale = the three numbers");
  registerEvent(kDrift, "DRIFT", "drift per ms = the three numbers");
  registerEvent(kRotationSpeed, "ROTATION_SPEED", "rotation speed = the three numbers");
  registerEvent(kScaleSpeed, "SCALE_SPEED", "scale speed = the three numbers");
  registerEvent(kGrow, "GROW", "the scale speed grows the picture");
  registerEvent(kShrink, "SHRINK", "the scale speed shrinks the picture");
  registerEvent(kLoadTexture, "TEXTURE", "loads the picture file named by the text");
  registerEvent(kPulseScale, "PULSE_SCALE", "pulse scale = value");
  registerEvent(kAlpha, "ALPHA", "the constant of Alpha = value");
}

void ImageEffect::resetTransform() {
  position = {0, 0, 0};
  rotation = {0, 0, 0};
  scale = {1, 1, 1};
  drift = {0, 0, 0};
  rotationSpeed = {0, 0, 0};
  scaleSpeed = {0, 0, 0};
  growing = true;
  alphaBoost = 0;
  pulseScale = 0;
}

void ImageEffect::start(uint32_t time) {
  Effect::start(time);
  resetTransform();
}

void ImageEffect::render(uint32_t time) {
  const float s = scaledTime;
  glDepthMask(GL_FALSE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(blendSrcFactor, blendDstFactor);
  glBlendEquation(blendEquationMode);
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time),
            Alpha.evaluate(time) + alphaBoost);

  setOrthoUnit();
  glTranslatef(position[0], position[1], position[2]);
  // Rotation and scale act about the centre of the unit square.
  glTranslatef(0.5f, 0.5f, 0);
  glRotatef(rotationSpeed[0] * s + rotation[0], 1, 0, 0);
  glRotatef(rotationSpeed[1] * s + rotation[1], 0, 1, 0);
  glRotatef(rotationSpeed[2] * s + rotation[2], 0, 0, 1);
  // Shrinking runs through zero into a mirrored picture; that is kept.
  const float sign = growing ? 1.0f : -1.0f;
  glScalef(scale[0] + sign * scaleSpeed[0] * s, scale[1] + sign * scaleSpeed[1] * s,
           scale[2] + sign * scaleSpeed[2] * s);
  glTranslatef(-0.5f, -0.5f, 0);
  drawTexturedRect(texture, {drift[0] * s, drift[1] * s, 1, 1});

  glColor4f(1, 1, 1, 1);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
}

void ImageEffect::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  switch (event.code) {
    case kAlphaPulse: alphaBoost = pulseScale * event.value; break;
    case kPosition: position = event.params; break;
    case kRotation: rotation = event.params; break;
    case kScale: scale = event.params; break;
    case kDrift: drift = event.params; break;
    case kRotationSpeed: rotationSpeed = event.params; break;
    case kScaleSpeed: scaleSpeed = event.params; break;
    case kGrow: growing = true; break;
    case kShrink: growing = false; break;
    case kLoadTexture:
      texture = TextureManager::instance().getTexture(event.text, "", GL_TEXTURE_2D, 0);
      break;
    case kPulseScale: pulseScale = event.value; break;
    case kAlpha: Alpha.value = event.value; break;
    default: break;
  }
}

void ImageEffect::onStringAdded(int32_t table, const std::string& text, int32_t) {
  // Each file name the script gives is loaded at once; the last one read is drawn.
  if (table == 0) texture = TextureManager::instance().getTexture(text, "", GL_TEXTURE_2D, 0);
}
