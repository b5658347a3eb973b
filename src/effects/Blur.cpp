#include "effects/Blur.h"

#include <epoxy/gl.h>

#include <algorithm>

#include "base/RenderTarget.h"
#include "effects/ScreenQuad.h"
#include "engine/ShaderManager.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;
constexpr ScreenRect kFull{0, 0, 1, 1};

// [SECTION] The one-draw blur program

// The sum the literal pass draws: per copy the texel times the weight, clamped and rounded to
// 8 bits as the blend into the 8-bit target takes it, then added up and clamped. Copy i along x
// samples at +offset − i·step pixels, along y at −offset + i·step (the pixel projection runs y
// downward while texture rows run upward).
constexpr const char* kSingleDrawSource = R"(#version 120
uniform sampler2D source0;
uniform vec4 taps;    // first x offset, first y offset, x step, y step: texture units
uniform vec2 axes;    // 1 where the copies along that axis are drawn
uniform float count;  // copies per axis
uniform float weight;
// A shifted copy covers only the pixels its quad still covers: none where the sample would
// come from beyond the picture's edge (pixel centres on the quad's far edges stay outside).
vec3 copyAt(vec2 at) {
  if (at.x < 0.0 || at.x >= 1.0 || at.y < 0.0 || at.y >= 1.0) return vec3(0.0);
  vec3 v = clamp(texture2D(source0, at).rgb * weight, 0.0, 1.0) * 255.0;
  // To the nearest step, ties to even, as the driver stores colours.
  vec3 r = floor(v + 0.5);
  r -= step(0.5, r - v) * mod(r, 2.0);
  return r / 255.0;
}
void main() {
  vec2 tc = gl_TexCoord[0].st;
  vec3 sum = vec3(0.0);
  for (int i = 0; i < 16; ++i) {
    if (float(i) >= count) break;
    if (axes.x > 0.5) sum += copyAt(tc + vec2(taps.x + float(i) * taps.z, 0.0));
    if (axes.y > 0.5) sum += copyAt(tc + vec2(0.0, taps.y + float(i) * taps.w));
  }
  gl_FragColor = vec4(min(sum, 1.0), 1.0);
}
)";
constexpr int kSingleDrawMaxTaps = 16;

struct SingleDrawProgram {
  GLuint program = 0;
  GLint taps = -1, axes = -1, count = -1, weight = -1;
};

bool singleDrawWanted = true;

// Compiled on first use; a driver that refuses it leaves program 0 and the literal draws.
const SingleDrawProgram& singleDrawProgram() {
  static SingleDrawProgram p = [] {
    SingleDrawProgram made;
    const GLuint program = glCreateShaderProgramv(GL_FRAGMENT_SHADER, 1, &kSingleDrawSource);
    GLint linked = GL_FALSE;
    if (program != 0) glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
      if (program != 0) glDeleteProgram(program);
      while (glGetError() != GL_NO_ERROR) {
      }
      return made;
    }
    made.program = program;
    made.taps = glGetUniformLocation(program, "taps");
    made.axes = glGetUniformLocation(program, "axes");
    made.count = glGetUniformLocation(program, "count");
    made.weight = glGetUniformLocation(program, "weight");
    glProgramUniform1i(program, glGetUniformLocation(program, "source0"), 0);
    return made;
  }();
  return p;
}

// [SECTION] Pass helpers

// The s × s quad of the pixel projection with texture coordinates running up the rows.
void pixelQuad(float s) {
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(0, s);
  glTexCoord2f(1, 0);
  glVertex2f(s, s);
  glTexCoord2f(1, 1);
  glVertex2f(s, 0);
  glTexCoord2f(0, 1);
  glVertex2f(0, 0);
  glEnd();
}

// Binds the destination, the source's texture and the pixel projection; clears.
float beginBlurPass(RenderTarget* source, RenderTarget* destination) {
  destination->bind();
  glBindTexture(GL_TEXTURE_2D, source->getColorTextureId());
  const float s = static_cast<float>(destination->getWidth());
  glEnable(GL_TEXTURE_2D);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, s, s, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  return s;
}

void endBlurPass(RenderTarget* destination) {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  destination->unbind();
}

void drawSingleDraw(const SingleDrawProgram& p, float s, int taps, float step, float offset,
                    float weight, bool onlyX, bool onlyY) {
  glProgramUniform4f(p.program, p.taps, offset / s, -offset / s, -step / s, step / s);
  glProgramUniform2f(p.program, p.axes, onlyY ? 0.0f : 1.0f, onlyX ? 0.0f : 1.0f);
  glProgramUniform1f(p.program, p.count, static_cast<float>(taps));
  // The literal draws take the weight as a vertex colour, which GL clamps to 0..1.
  glProgramUniform1f(p.program, p.weight, std::clamp(weight, 0.0f, 1.0f));
  ShaderManager& shaders = ShaderManager::instance();
  shaders.useStage(GL_FRAGMENT_SHADER, p.program);
  pixelQuad(s);
  shaders.useStage(GL_FRAGMENT_SHADER, 0);
}

void drawLiteral(float s, int taps, float step, float offset, float weight, bool onlyX, bool onlyY) {
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glColor4f(weight, weight, weight, weight);
  if (!onlyY) {
    glPushMatrix();
    glTranslatef(-offset, 0, 0);
    for (int i = 0; i < taps; ++i) {
      pixelQuad(s);
      glTranslatef(step, 0, 0);
    }
    glPopMatrix();
  }
  if (!onlyX) {
    glTranslatef(0, -offset, 0);
    for (int i = 0; i < taps; ++i) {
      pixelQuad(s);
      glTranslatef(0, step, 0);
    }
  }
}

}  // namespace

// [SECTION] Passes

void setBlurSingleDraw(bool enabled) { singleDrawWanted = enabled; }

bool blurSingleDraw() { return singleDrawWanted && singleDrawProgram().program != 0; }

void blurPassLiteral(RenderTarget* source, RenderTarget* destination, int taps, float step,
                     float offset, float weight, bool onlyX, bool onlyY) {
  const float s = beginBlurPass(source, destination);
  drawLiteral(s, taps, step, offset, weight, onlyX, onlyY);
  endBlurPass(destination);
}

void blurPass(RenderTarget* source, RenderTarget* destination, int taps, float step, float offset,
              float weight, bool onlyX, bool onlyY) {
  if (!blurSingleDraw() || taps > kSingleDrawMaxTaps) {
    blurPassLiteral(source, destination, taps, step, offset, weight, onlyX, onlyY);
    return;
  }
  const float s = beginBlurPass(source, destination);
  // With both axes left out nothing is added: the cleared target is the result.
  if (taps > 0 && !(onlyX && onlyY))
    drawSingleDraw(singleDrawProgram(), s, taps, step, offset, weight, onlyX, onlyY);
  endBlurPass(destination);
}

void mulSubPass(RenderTarget* source, RenderTarget* destination, float subtract, float multiply) {
  destination->bind();
  // Culling is switched back to what it was (the pass ends with it on otherwise, which the
  // effects updated after this one would inherit).
  const GLboolean culling = glIsEnabled(GL_CULL_FACE);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  setOrthoUnitFlipped();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, source->getColorTextureId());
  drawRectTex(kFull, kFull);  // in the current colour: a copy of the source

  glColor4f(subtract, subtract, subtract, subtract);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
  drawRectTex(kFull, kFull);
  glBlendEquation(GL_FUNC_ADD);
  if (multiply > 0) {
    glBlendFunc(GL_DST_COLOR, GL_ONE);
    glColor4f(multiply, multiply, multiply, multiply);
    for (int i = 0; i < 4; ++i) drawRectTex(kFull, kFull);
  }
  glBlendEquation(GL_FUNC_ADD);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  if (culling) glEnable(GL_CULL_FACE);
  destination->unbind();
}

// [SECTION] Blur

RenderTarget& Blur::target(int index) {
  static RenderTarget targets[4];
  return targets[index - 1];
}

Blur::Blur(const std::string& name) : Effect(name) {
  Subtract.value = 0.4f;
  Multiply.value = 1.0f;
  BlurFactor.value = 0.5f;
  GlowStrength.value = 1.0f;
  BlurAmount.value = 1;
  registerVariable(&DoBlur, "DoBlur", kNoTable, Variable::kBool);
  registerVariable(&DoMulSub, "DoMulSub", kNoTable, Variable::kBool);
  registerVariable(&DoGlow, "DoGlow", kNoTable, Variable::kBool);
  registerVariable(&Subtract, "Subtract", kNoTable, Variable::kFloat);
  registerVariable(&Multiply, "Multiply", kNoTable, Variable::kFloat);
  registerVariable(&BlurFactor, "BlurFactor", kNoTable, Variable::kFloat);
  registerVariable(&GlowStrength, "GlowStrength", kNoTable, Variable::kFloat);
  registerVariable(&BlurAmount, "BlurAmount", kNoTable, Variable::kInteger);
  registerVariable(&BlurOnlyX, "BlurOnlyX", kNoTable, Variable::kBool);
  registerVariable(&BlurOnlyY, "BlurOnlyY", kNoTable, Variable::kBool);

  // Every instance re-creates the shared targets under its own name: the last one built owns
  // the buffers all of them draw into (they never run their passes at the same time).
  target(1).init(name + "_1", 1024, 1024, RenderTarget::kDepth);
  target(2).init(name + "_2", 512, 512, 0);
  target(3).init(name + "_3", 512, 512, 0);
  target(4).init(name + "_4", 512, 512, 0);
}

void Blur::start(uint32_t time) {
  Effect::start(time);
  if (sourceEffect) sourceEffect->start(time);
}

void Blur::update(uint32_t time) {
  Effect::update(time);
  if (!sourceEffect) return;
  doGlow = DoGlow.evaluateBool(time);
  doBlur = DoBlur.evaluateBool(time);
  doMulSub = DoMulSub.evaluateBool(time);
  result = nullptr;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);

  RenderTarget* t1 = &target(1);
  RenderTarget* t2 = &target(2);
  RenderTarget* t3 = &target(3);
  RenderTarget* t4 = &target(4);
  renderSourceToTarget(t1, time);
  glViewport(0, 0, t4->getWidth(), t4->getHeight());

  RenderTarget* current = t1;
  if (doMulSub) {
    mulSubPass(t1, t4, Subtract.evaluate(time), Multiply.evaluate(time));
    current = t4;
    result = t4;  // shown when no blur pass follows
  }
  if (doBlur) {
    const uint32_t amount = BlurAmount.evaluateInt(time);
    onlyX = BlurOnlyX.evaluateBool(time);
    onlyY = BlurOnlyY.evaluateBool(time);
    // Divided by the number of copies a pass adds up, so a flat field keeps its level at
    // BlurFactor 0.5 without a beat.
    const float copies = (onlyX || onlyY) ? 6.0f : 12.0f;
    const float weight = BlurFactor.evaluate(time) * (2 * pulse + 1) * 2 / copies;
    blurPass(current, t2, 6, 1.0f, 2.5f, weight, onlyX, onlyY);
    result = t2;
    if (amount > 0) {
      blurPass(t2, t3, 6, 3.0f, 6.5f, weight, onlyX, onlyY);
      result = t3;
    }
    if (amount > 1) {
      blurPass(t3, t4, 6, 5.0f, 12.5f, weight, onlyX, onlyY);
      result = t4;
    }
    if (amount > 2) {
      blurPass(t4, t2, 6, 7.0f, 17.5f, weight, onlyX, onlyY);
      result = t2;
    }
  }
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void Blur::render(uint32_t time) {
  if (!sourceEffect) return;
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  setOrthoUnitFlipped();
  glColor4f(1, 1, 1, 1);
  if (doGlow) {
    glBindTexture(GL_TEXTURE_2D, target(1).getColorTextureId());
    drawRectTex(kFull, kFull);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    const float g = GlowStrength.evaluate(time);
    glColor4f(g, g, g, g);
  }
  // Without any pass this frame the source itself is shown.
  glBindTexture(GL_TEXTURE_2D, (result ? result : &target(1))->getColorTextureId());
  drawRectTex(kFull, kFull);
  if (doGlow) glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glColor4f(1, 1, 1, 1);
}
