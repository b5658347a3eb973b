#include "effects/NoiseTextures.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/Random.h"
#include "demoSystem/EffectRegistry.h"
#include "engine/FragmentProgram.h"
#include "resources/Texture.h"
#include "resources/TextureTools.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;
constexpr ScreenRect kFullScreen{0, 0, 1, 1};

void registerFloat(Effect& effect, FloatVariable& variable, const char* name, float value, const char* meaning) {
  variable.value = value;
  effect.registerVariable(&variable, name, kNoTable, Variable::kFloat, meaning);
}

void registerColour(Effect& effect, FloatVariable& red, FloatVariable& green, FloatVariable& blue,
                    FloatVariable& alpha) {
  registerFloat(effect, red, "Red", 1, "red of the colour it draws with (0–1)");
  registerFloat(effect, green, "Green", 1, "green of the colour (0–1)");
  registerFloat(effect, blue, "Blue", 1, "blue of the colour (0–1)");
  registerFloat(effect, alpha, "Alpha", 1, "alpha of the colour (0–1)");
}

Texture* createRgba(const char* name, int size) {
  return TextureManager::instance().createTexture(name, size, size, GL_TEXTURE_2D, GL_RGBA, 0);
}

// Texturing on `unit` with `texture` (a GL name); unit 0 is left active.
void bindOnUnit(GLenum unit, GLuint texture) {
  glActiveTexture(unit);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glActiveTexture(GL_TEXTURE0);
}

void texturingOffOnBothUnits() {
  glActiveTexture(GL_TEXTURE1);
  glDisable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  glDisable(GL_TEXTURE_2D);
}

}  // namespace

// [SECTION] Noise

ScreenRect NoiseEffect::noiseRect{0, 0, 1, 1};

NoiseEffect::NoiseEffect(const std::string& name) : Effect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  registerVariable(&Animate, "Animate", kNoTable, Variable::kBool, "shift the noise to a new random offset every frame");
  grain = createRgba("noisetexture", 1024);
  clearTexture(grain);
  randomTexture(grain);
  fineGrain = createRgba("noisetexture2", 512);
  clearTexture(fineGrain);
  randomTexture(fineGrain);
}

void NoiseEffect::render(uint32_t time) {
  glDepthMask(GL_FALSE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time) + pulse);
  if (Animate.evaluateBool(time)) {
    noiseRect.x = float(demoRand()) / 32767;
    noiseRect.y = float(demoRand()) / 32767;
  }
  if (fragmentProgram) fragmentProgram->bind();
  // The default texture environment multiplies the two grains (and the colour).
  bindOnUnit(GL_TEXTURE0, grain->getId());
  bindOnUnit(GL_TEXTURE1, fineGrain->getId());
  setOrthoUnit();
  drawRectMultiTex(kFullScreen, noiseRect);
  texturingOffOnBothUnits();
  if (fragmentProgram) fragmentProgram->unbind();
  glColor4f(1, 1, 1, 1);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
}

// [SECTION] PNoise

double PNoiseEffect::marbleZ = 0;
int PNoiseEffect::marbleOctaves = 1;
bool PNoiseEffect::marbleEveryFrame = true;

PNoiseEffect::PNoiseEffect(const std::string& name) : Effect(name) {
  marble = createRgba("pnoisetexture", 256);
  forgetEvents();  // handleEvent answers nothing, not even the base codes
  clearTexture(marble);
}

void PNoiseEffect::handleEvent(const TimelineEvent&) {}

void PNoiseEffect::render(uint32_t) {
  marbleZ += 0.1;
  if (marbleEveryFrame) {
    // Limited before use: every octave is another 65,536 noise samples per frame.
    marbleOctaves = std::min(marbleOctaves, kMaxOctaves);
    marbleTexture(marble, 20, 20, float(marbleZ), 0, 0, marbleOctaves);
  }
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_TEXTURE_2D);
  marble->bind();
  setOrthoUnit();
  drawRectTex(kFullScreen, kFullScreen);
  glDisable(GL_TEXTURE_2D);
}

// [SECTION] TechnoNoise

namespace {

// Every TechnoNoise, to tell whether another one shares the targets in a frame.
std::vector<TechnoNoiseEffect*>& technoNoiseInstances() {
  static std::vector<TechnoNoiseEffect*> instances;
  return instances;
}

bool skipUnseenScanLines = true;

// The state every effect leaves behind, under which a quad's colour is the vertex colour
// times the texture: then a colour of 0 adds 0.
bool restingColourState() {
  GLint mode = 0, program = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glActiveTexture(GL_TEXTURE1);
  const bool secondUnit = glIsEnabled(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  return mode == GL_MODULATE && program == 0 && !secondUnit && !glIsEnabled(GL_LIGHTING) &&
         !glIsEnabled(GL_FOG) && !glIsEnabled(GL_COLOR_SUM) && !glIsEnabled(GL_FRAGMENT_PROGRAM_ARB) &&
         !glIsEnabled(GL_VERTEX_PROGRAM_ARB) && !glIsEnabled(GL_COLOR_LOGIC_OP);
}

}  // namespace

void TechnoNoiseEffect::setSkipUnseenScanLines(bool enabled) { skipUnseenScanLines = enabled; }

RenderTarget& TechnoNoiseEffect::sourceTarget() {
  static RenderTarget target;
  return target;
}

RenderTarget& TechnoNoiseEffect::scanLineTarget() {
  static RenderTarget target;
  return target;
}

namespace {

// The wrap mode goes to the colour texture, the one that is drawn (after init the depth
// texture of the target could be the one bound).
void initWrapped(RenderTarget& target, const std::string& name, int flags, GLint wrap) {
  if (target.isInited()) return;
  target.init(name, 512, 512, flags);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  target.setTextureParameter(GL_TEXTURE_WRAP_S, wrap);
  target.setTextureParameter(GL_TEXTURE_WRAP_T, wrap);
}

}  // namespace

TechnoNoiseEffect::TechnoNoiseEffect(const std::string& name) : Effect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  registerFloat(*this, ScaleSizeX, "ScaleSizeX", 1.5f, "noise scale along x");
  registerFloat(*this, ScaleSizeY, "ScaleSizeY", 1.5f, "noise scale along y");
  registerFloat(*this, ScaleOffsetX, "ScaleOffsetX", 0.5f, "noise offset along x");
  registerFloat(*this, ScaleOffsetY, "ScaleOffsetY", 0.5f, "noise offset along y");
  registerFloat(*this, ScaleAlpha, "ScaleAlpha", 1.0f, "alpha of the noise layer");

  constexpr int kSize = 512;
  scanLines = createRgba("technonoisetexture", kSize);
  scanLines->setFilter(GL_NEAREST, GL_NEAREST);
  clearTexture(scanLines);
  std::vector<uint8_t> rows(size_t(kSize) * kSize * 4);
  for (int y = 1; y < kSize; y += 2)
    std::fill_n(rows.begin() + ptrdiff_t(y) * kSize * 4, kSize * 4, uint8_t(0xFF));
  uploadPixels(scanLines, rows.data());

  initWrapped(sourceTarget(), name + "_1", RenderTarget::kDepth | RenderTarget::kAlpha, GL_CLAMP_TO_EDGE);
  initWrapped(scanLineTarget(), name + "_2", RenderTarget::kDepth, GL_REPEAT);
  technoNoiseInstances().push_back(this);
}

TechnoNoiseEffect::~TechnoNoiseEffect() { std::erase(technoNoiseInstances(), this); }

bool TechnoNoiseEffect::scanLinesAddNothing(uint32_t time) {
  // The colour (a, a, a, a) is clamped to 0 for any a <= 0 (NaN is not).
  const float a = ScaleAlpha.evaluate(time);
  const bool keeps = blendEquationMode == GL_FUNC_ADD || blendEquationMode == GL_FUNC_REVERSE_SUBTRACT;
  return a <= 0 && keeps;
}

// Another TechnoNoise drawn in this frame (on the timeline, or as some effect's source) would
// read the shared scan-line target after this one's update: what it finds must not change.
bool TechnoNoiseEffect::otherInstanceMayDraw(uint32_t time) const {
  for (TechnoNoiseEffect* other : technoNoiseInstances()) {
    if (other == this) continue;
    if (other->active.evaluateBool(time)) return true;
    if (!effectRegistry) return true;
    for (Effect* effect : effectRegistry->effects())
      if (effect->sourceEffect == other) return true;
  }
  return false;
}

void TechnoNoiseEffect::start(uint32_t time) {
  Effect::start(time);
  if (sourceEffect) sourceEffect->start(time);
}

void TechnoNoiseEffect::update(uint32_t time) {
  Effect::update(time);
  // A source leading back here is not followed; its render inside this update reads the scan
  // lines as the last frame left them, so this one never leaves them out.
  if (drawingSource) feedsItself = true;
  if (!sourceEffect || drawingSource) return;
  drawingSource = true;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  renderSourceToTarget(&sourceTarget(), time);
  linesSkipped = skipUnseenScanLines && !feedsItself && scanLinesAddNothing(time) && !otherInstanceMayDraw(time);
  drawScanLines(!linesSkipped);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  drawingSource = false;
}

void TechnoNoiseEffect::drawScanLines(bool draw) {
  RenderTarget& source = sourceTarget();
  RenderTarget& lines = scanLineTarget();
  // The picture times the scan lines: every even row of the copy is black. Left out, the copy
  // still leaves the GL state as drawing it does, for the effects after this one.
  if (draw) {
    lines.bind();
    glViewport(0, 0, lines.getWidth(), lines.getHeight());
  }
  glClearColor(0, 0, 0, 0);
  if (draw) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  setOrthoUnitFlipped();
  glColor4f(1, 1, 1, 1);
  bindOnUnit(GL_TEXTURE0, source.getColorTextureId());
  bindOnUnit(GL_TEXTURE1, scanLines->getId());
  if (draw) {
    drawRectMultiTex(kFullScreen, kFullScreen);
  } else {
    // The quad's last corner's coordinates stay current.
    glMultiTexCoord2f(GL_TEXTURE0, kFullScreen.x, kFullScreen.y + kFullScreen.h);
    glMultiTexCoord2f(GL_TEXTURE1, kFullScreen.x, kFullScreen.y + kFullScreen.h);
  }
  texturingOffOnBothUnits();
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glColor4f(1, 1, 1, 1);
  if (draw) lines.unbind();
}

void TechnoNoiseEffect::render(uint32_t time) {
  if (!sourceEffect) return;
  const bool addNothing = linesSkipped && scanLinesAddNothing(time) && restingColourState();
  if (linesSkipped && !addNothing) {
    // Drawn now after all, leaving what the draws below do not set themselves as it was.
    GLint viewport[4], secondTexture = 0;
    GLfloat clearColour[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glActiveTexture(GL_TEXTURE1);
    const GLboolean secondUnit = glIsEnabled(GL_TEXTURE_2D);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &secondTexture);
    glActiveTexture(GL_TEXTURE0);
    drawScanLines(true);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(secondTexture));
    if (secondUnit) glEnable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
  }
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(blendSrcFactor, blendDstFactor);
  glBlendEquation(blendEquationMode);
  setOrthoUnitFlipped();
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  bindOnUnit(GL_TEXTURE0, sourceTarget().getColorTextureId());
  drawRectTex(kFullScreen, kFullScreen);

  // The scan-line copy added on top, grown about the offset point.
  glBlendFunc(GL_ONE, GL_ONE);
  const float offsetX = ScaleOffsetX.evaluate(time), offsetY = ScaleOffsetY.evaluate(time);
  glTranslatef(offsetX, offsetY, 0);
  glScalef(ScaleSizeX.evaluate(time), ScaleSizeY.evaluate(time), 1);
  glTranslatef(-offsetX, -offsetY, 0);
  const float a = ScaleAlpha.evaluate(time);
  glColor4f(a, a, a, a);
  glBindTexture(GL_TEXTURE_2D, scanLineTarget().getColorTextureId());
  if (!addNothing) drawRectTex(kFullScreen, kFullScreen);

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glColor4f(1, 1, 1, 1);
}
