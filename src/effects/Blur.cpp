#include "effects/Blur.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <string>

#include "effects/ScreenQuad.h"
#include "engine/ShaderManager.h"
#include "resources/RenderTarget.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;
constexpr ScreenRect kFull{0, 0, 1, 1};

// [SECTION] The one-draw blur program

// The sum the literal pass draws: per copy the texel times the weight, clamped and rounded to
// 8 bits as the blend into the 8-bit target stores it, then added up and clamped. Copy i along
// x samples at +offset − i·step pixels, along y at −offset + i·step (the pixel projection runs y
// downward while texture rows run upward). A copy covers only the pixels its shifted quad still
// covers: none where the sample would come from beyond the picture's edge.
//
// With half-pixel offsets every copy samples on a texel boundary of the destination grid.
// Where the source has the destination's size that is the mean of two texels, which the
// software renderer forms in 8-bit steps with the half rounded up: the program fetches the two
// texels and does the same, which costs far less than the filtered sample (the repeat wrap
// the sample would apply is applied by hand). From any other size (the first pass reads the
// 1024² source) two plain draws first take those boundary samples themselves, once for every
// boundary of the grid, into a target shifted by half a pixel along x and one along y, and the
// program fetches them.
constexpr const char* kSingleDrawBody = R"(
uniform float weight;
uniform ivec4 first;  // copy 0 relative to the pixel, x then y; the steps between copies
uniform int size;     // of the destination, a power of two
#if PAIRS
uniform sampler2D source0;
#else
uniform sampler2D shiftedX0;
uniform sampler2D shiftedY1;
#endif

// One copy, as the blend stores it: the colour times the weight, clamped, then to the nearest
// step, ties to even. The products are formed in the order the fixed-function draw forms
// them (the min between them keeps the compiler from regrouping them), so ties fall alike.
vec3 settle(vec3 c) { return roundEven(min(c * weight, 1.0) * 255.0); }

#if EDGES
#define COVERS(b) (b >= 0 && b < size)
#define WRAP(t) ((t) & (size - 1))
#else
#define COVERS(b) true
#define WRAP(t) (t)
#endif

#if PAIRS
// The filtered sample between texels a and b of the source: their mean in 8-bit steps, the
// half rounded up. (a + b) * 255 lies within a hair of the whole number of steps s: ceil(s/2).
vec3 between(ivec2 a, ivec2 b) {
  vec3 sum = texelFetch(source0, WRAP(a), 0).rgb + texelFetch(source0, WRAP(b), 0).rgb;
  return ceil(sum * 127.5 - 0.25) * (1.0 / 255.0);
}
#endif

void main() {
  ivec2 p = ivec2(gl_FragCoord.xy);
  vec3 sum = vec3(0.0);
  for (int i = 0; i < 6; ++i) {
#if AXIS_X
    int x = p.x + first.x + i * first.z;  // the boundary the copy samples on
    if (COVERS(x)) {
#if PAIRS
      sum += settle(between(ivec2(x - 1, p.y), ivec2(x, p.y)));
#else
      sum += settle(texelFetch(shiftedX0, ivec2(x, p.y), 0).rgb);
#endif
    }
#endif
#if AXIS_Y
    int y = p.y + first.y + i * first.w;
    if (COVERS(y)) {
#if PAIRS
      sum += settle(between(ivec2(p.x, y - 1), ivec2(p.x, y)));
#else
      sum += settle(texelFetch(shiftedY1, ivec2(p.x, y), 0).rgb);
#endif
    }
#endif
  }
  gl_FragColor = vec4(min(sum, 255.0) / 255.0, 1.0);
}
)";
constexpr int kSingleDrawTaps = 6;

struct SingleDrawProgram {
  GLuint program = 0;
  GLint weight = -1, first = -1, size = -1;
};

bool singleDrawWanted = true;

// Variant index: axes (1 x, 2 y, 3 both), + 4 for a source of the destination's size, + 8
// for the pixels near the edges, whose copies may fall outside (or wrap round) the picture.
constexpr int kPairs = 4;
constexpr int kEdges = 8;

SingleDrawProgram compileSingleDraw(int variant) {
  SingleDrawProgram made;
  const std::string header = std::string("#version 130\n#define AXIS_X ") + ((variant & 1) ? "1" : "0") +
                             "\n#define AXIS_Y " + ((variant & 2) ? "1" : "0") +
                             "\n#define PAIRS " + ((variant & kPairs) ? "1" : "0") +
                             "\n#define EDGES " + ((variant & kEdges) ? "1" : "0") + "\n";
  const char* sources[] = {header.c_str(), kSingleDrawBody};
  const GLuint program = glCreateShaderProgramv(GL_FRAGMENT_SHADER, 2, sources);
  GLint linked = GL_FALSE;
  if (program != 0) glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (!linked) {
    if (program != 0) glDeleteProgram(program);
    while (glGetError() != GL_NO_ERROR) {
    }
    return made;
  }
  made.program = program;
  made.weight = glGetUniformLocation(program, "weight");
  made.first = glGetUniformLocation(program, "first");
  made.size = glGetUniformLocation(program, "size");
  for (const char* sampler : {"source0", "shiftedX0"})
    glProgramUniform1i(program, glGetUniformLocation(program, sampler), 0);
  glProgramUniform1i(program, glGetUniformLocation(program, "shiftedY1"), 1);
  return made;
}

// Compiled on first use; a driver that refuses one leaves program 0, and the literal draws.
const SingleDrawProgram& singleDrawProgram(int variant) {
  static SingleDrawProgram programs[16];
  static bool compiled[16] = {};
  if (!compiled[variant]) {
    programs[variant] = compileSingleDraw(variant);
    compiled[variant] = true;
  }
  return programs[variant];
}

bool isWhole(float v) { return v == static_cast<float>(static_cast<int>(v)); }

// [SECTION] Pass helpers

void pixelProjection(float s) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, s, s, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The s × s quad of the pixel projection with texture coordinates running up the rows, moved
// by (du, dv).
void pixelQuad(float s, float du = 0, float dv = 0) {
  glBegin(GL_QUADS);
  glTexCoord2f(du, dv);
  glVertex2f(0, s);
  glTexCoord2f(1 + du, dv);
  glVertex2f(s, s);
  glTexCoord2f(1 + du, 1 + dv);
  glVertex2f(s, 0);
  glTexCoord2f(du, 1 + dv);
  glVertex2f(0, 0);
  glEnd();
}

// Binds the destination, the source's texture and the pixel projection; clears with the
// current clear colour and sets up the additive blend the copies go onto it with. Both ways
// of drawing a pass start here, so whatever state the source effect (or any effect before)
// left behind, blending, blend equation, texture mode, shows in neither.
float beginBlurPass(RenderTarget* source, RenderTarget* destination) {
  destination->bind();
  glBindTexture(GL_TEXTURE_2D, source->getColorTextureId());
  const float s = static_cast<float>(destination->getWidth());
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  pixelProjection(s);
  glEnable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glBlendFunc(GL_ONE, GL_ONE);
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

// [SECTION] One draw

// The boundary samples of a source of another size, for a destination of s × s: target 0 holds
// at pixel (x, y) the sample on the boundary left of x, target 1 the one below y.
RenderTarget& shiftedTarget(int axis, int s) {
  static RenderTarget targets[2];
  static int sizes[2] = {};
  if (sizes[axis] != s) {
    targets[axis].init(axis == 0 ? "blur_boundaries_x" : "blur_boundaries_y", s, s, 0);
    sizes[axis] = s;
  }
  return targets[axis];
}

void takeBoundarySamples(RenderTarget* source, int s, bool alongX, bool alongY) {
  const float size = static_cast<float>(s);
  for (int axis = 0; axis < 2; ++axis) {
    if (!(axis == 0 ? alongX : alongY)) continue;
    RenderTarget& shifted = shiftedTarget(axis, s);
    shifted.bind();
    glBindTexture(GL_TEXTURE_2D, source->getColorTextureId());
    glEnable(GL_TEXTURE_2D);
    // The samples as they are: not tinted by the current colour, not blended with the last
    // frame's (the quad covers every pixel).
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    pixelProjection(size);
    pixelQuad(size, axis == 0 ? -0.5f / size : 0, axis == 1 ? -0.5f / size : 0);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    shifted.unbind();
  }
}

// The pixels [x0, x1) × [y0, y1) of the pixel projection over an s × s target, rows upward.
void pixelRect(float s, int x0, int y0, int x1, int y1) {
  if (x0 >= x1 || y0 >= y1) return;
  glBegin(GL_QUADS);
  glVertex2f(float(x0), s - float(y0));
  glVertex2f(float(x1), s - float(y0));
  glVertex2f(float(x1), s - float(y1));
  glVertex2f(float(x0), s - float(y1));
  glEnd();
}

// Draws the pass in one draw when it can (six copies on half-pixel offsets, a power-of-two
// square destination, the programs compiled); false leaves it to the literal draws.
bool drawSingle(RenderTarget* source, RenderTarget* destination, int taps, float step, float offset,
                float weight, bool onlyX, bool onlyY) {
  if (!singleDrawWanted || taps != kSingleDrawTaps || !isWhole(step) || !isWhole(offset - 0.5f))
    return false;
  const int s = destination->getWidth();
  if (destination->getHeight() != s || (s & (s - 1)) != 0) return false;
  const bool pairs = source->getWidth() == s && source->getHeight() == s;
  const int variant = (onlyY ? 0 : 1) | (onlyX ? 0 : 2) | (pairs ? kPairs : 0);
  const SingleDrawProgram& inner = singleDrawProgram(variant);
  const SingleDrawProgram& edges = singleDrawProgram(variant | kEdges);
  if (inner.program == 0 || edges.program == 0) return false;

  if (!pairs) takeBoundarySamples(source, s, !onlyY, !onlyX);
  // The sum is added onto the cleared destination, as the copies are.
  beginBlurPass(source, destination);
  if (!pairs) {
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, onlyX ? 0 : shiftedTarget(1, s).getColorTextureId());
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, onlyY ? 0 : shiftedTarget(0, s).getColorTextureId());
  } else {
    glBindTexture(GL_TEXTURE_2D, source->getColorTextureId());
  }
  // Copy 0's boundary: the pixel's left edge plus `offset` along x, its lower edge minus
  // `offset` along y; the rest follow `step` apart.
  const int whole = static_cast<int>(step);
  const int firstX = static_cast<int>(offset + 0.5f), firstY = static_cast<int>(0.5f - offset);
  for (const SingleDrawProgram* p : {&inner, &edges}) {
    glProgramUniform4i(p->program, p->first, firstX, firstY, -whole, whole);
    glProgramUniform1i(p->program, p->size, s);
    // The literal draws take the weight as a vertex colour, which GL clamps to 0..1.
    glProgramUniform1f(p->program, p->weight, std::clamp(weight, 0.0f, 1.0f));
  }
  // Inside, every boundary a copy samples on lies within the picture, with the texels either
  // side of it; the strips along the edges check.
  const int lastOffset = (kSingleDrawTaps - 1) * whole;
  const int need = pairs ? 1 : 0;  // texels before the boundary
  const int x0 = onlyY ? 0 : std::clamp(need - (firstX - lastOffset), 0, s);
  const int x1 = onlyY ? s : std::clamp(s - firstX, x0, s);
  const int y0 = onlyX ? 0 : std::clamp(need - firstY, 0, s);
  const int y1 = onlyX ? s : std::clamp(s - (firstY + lastOffset), y0, s);
  const float size = static_cast<float>(s);
  ShaderManager& shaders = ShaderManager::instance();
  shaders.useStage(GL_FRAGMENT_SHADER, inner.program);
  pixelRect(size, x0, y0, x1, y1);
  shaders.useStage(GL_FRAGMENT_SHADER, edges.program);
  pixelRect(size, 0, 0, s, y0);
  pixelRect(size, 0, y1, s, s);
  pixelRect(size, 0, y0, x0, y1);
  pixelRect(size, x1, y0, s, y1);
  shaders.useStage(GL_FRAGMENT_SHADER, 0);
  endBlurPass(destination);
  return true;
}

// [SECTION] The glow in one draw

// The glow's two draws (the sharp picture, then the result added at the glow strength, which
// as a vertex colour is clamped to 0..1) summed in 8-bit steps as the blend stores them.
constexpr const char* kGlowSource = R"(#version 130
uniform sampler2D sharp0;
uniform sampler2D glow1;
uniform float strength;
void main() {
  vec2 tc = gl_TexCoord[0].st;
  vec3 sharp = roundEven(texture2D(sharp0, tc).rgb * 255.0);
  vec3 added = roundEven(min(texture2D(glow1, tc).rgb * strength, 1.0) * 255.0);
  gl_FragColor = vec4(min(sharp + added, 255.0) / 255.0, 1.0);
}
)";

struct GlowProgram {
  GLuint program = 0;
  GLint strength = -1;
};

const GlowProgram& glowProgram() {
  static const GlowProgram p = [] {
    GlowProgram made;
    const GLuint program = glCreateShaderProgramv(GL_FRAGMENT_SHADER, 1, &kGlowSource);
    GLint linked = GL_FALSE;
    if (program != 0) glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
      if (program != 0) glDeleteProgram(program);
      while (glGetError() != GL_NO_ERROR) {
      }
      return made;
    }
    made.program = program;
    made.strength = glGetUniformLocation(program, "strength");
    glProgramUniform1i(program, glGetUniformLocation(program, "sharp0"), 0);
    glProgramUniform1i(program, glGetUniformLocation(program, "glow1"), 1);
    return made;
  }();
  return p;
}

// Draws the glow in one draw when the one-draw passes are on and the program compiled.
bool drawGlowSingle(GLuint sharp, GLuint glow, float strength) {
  const GlowProgram& p = glowProgram();
  if (!singleDrawWanted || p.program == 0) return false;
  glProgramUniform1f(p.program, p.strength, std::clamp(strength, 0.0f, 1.0f));
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, glow);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, sharp);
  ShaderManager& shaders = ShaderManager::instance();
  shaders.useStage(GL_FRAGMENT_SHADER, p.program);
  drawRectTex(kFull, kFull);
  shaders.useStage(GL_FRAGMENT_SHADER, 0);
  return true;
}

// [SECTION] The literal draws

void drawLiteral(float s, int taps, float step, float offset, float weight, bool onlyX, bool onlyY) {
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

bool blurSingleDraw() { return singleDrawWanted && singleDrawProgram(3 | kPairs).program != 0; }

void blurPassLiteral(RenderTarget* source, RenderTarget* destination, int taps, float step,
                     float offset, float weight, bool onlyX, bool onlyY) {
  const float s = beginBlurPass(source, destination);
  drawLiteral(s, taps, step, offset, weight, onlyX, onlyY);
  endBlurPass(destination);
}

void blurPass(RenderTarget* source, RenderTarget* destination, int taps, float step, float offset,
              float weight, bool onlyX, bool onlyY) {
  // With both axes left out nothing is added: the cleared target is the result.
  if (onlyX && onlyY) {
    beginBlurPass(source, destination);
    endBlurPass(destination);
    return;
  }
  if (!drawSingle(source, destination, taps, step, offset, weight, onlyX, onlyY))
    blurPassLiteral(source, destination, taps, step, offset, weight, onlyX, onlyY);
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
  // A plain copy of the source, whatever colour and blending the source effect left.
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
  drawRectTex(kFull, kFull);

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
  registerVariable(&DoBlur, "DoBlur", kNoTable, Variable::kBool, "run the blur passes");
  registerVariable(&DoMulSub, "DoMulSub", kNoTable, Variable::kBool, "run the multiply/subtract pass");
  registerVariable(&DoGlow, "DoGlow", kNoTable, Variable::kBool, "draw the sharp picture and add the blurred one on top");
  registerVariable(&Subtract, "Subtract", kNoTable, Variable::kFloat, "strength of the subtract step");
  registerVariable(&Multiply, "Multiply", kNoTable, Variable::kFloat, "strength of the multiply step");
  registerVariable(&BlurFactor, "BlurFactor", kNoTable, Variable::kFloat, "overall blur gain");
  registerVariable(&GlowStrength, "GlowStrength", kNoTable, Variable::kFloat, "brightness of the added glow layer");
  registerVariable(&BlurAmount, "BlurAmount", kNoTable, Variable::kInteger, "blur passes beyond the first (0–3 used)");
  registerVariable(&BlurOnlyX, "BlurOnlyX", kNoTable, Variable::kBool, "horizontal taps only");
  registerVariable(&BlurOnlyY, "BlurOnlyY", kNoTable, Variable::kBool, "vertical taps only");

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
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  setOrthoUnitFlipped();
  glColor4f(1, 1, 1, 1);
  // The picture replaces what is under it, whichever way the glow is drawn: blending left
  // on by the source (when no pass ran) or an effect before must not mix it in.
  glDisable(GL_BLEND);
  // Without any pass this frame the source itself is shown.
  const GLuint shown = (result ? result : &target(1))->getColorTextureId();
  const GLuint sharp = target(1).getColorTextureId();
  if (doGlow && drawGlowSingle(sharp, shown, GlowStrength.evaluate(time))) {
    // drawn
  } else if (doGlow) {
    glBindTexture(GL_TEXTURE_2D, sharp);
    drawRectTex(kFull, kFull);
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_ONE, GL_ONE);
    const float g = GlowStrength.evaluate(time);
    glColor4f(g, g, g, g);
    glBindTexture(GL_TEXTURE_2D, shown);
    drawRectTex(kFull, kFull);
    glDisable(GL_BLEND);
  } else {
    glBindTexture(GL_TEXTURE_2D, shown);
    drawRectTex(kFull, kFull);
  }
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glColor4f(1, 1, 1, 1);
}
