#include "effects/StandaloneParts.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/Error.h"
#include "base/Parallel.h"
#include "base/Random.h"
#include "effects/ScreenQuad.h"
#include "engine/FragmentProgram.h"
#include "engine/VertexProgram.h"
#include "resources/ImageLibrary.h"
#include "resources/Texture.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;

void registerColour(Effect& effect, FloatVariable& red, FloatVariable& green, FloatVariable& blue,
                    FloatVariable& alpha) {
  red.value = green.value = blue.value = alpha.value = 1;
  effect.registerVariable(&red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  effect.registerVariable(&green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  effect.registerVariable(&blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  effect.registerVariable(&alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");
}

// rand() / 32767 − 0.5 of the 15-bit generator: −0.5 … 0.5.
float centredRandom() { return static_cast<float>(demoRand()) / 32767.0f - 0.5f; }

}  // namespace

// [SECTION] Molecules

namespace {

constexpr glm::vec3 kGravity{0.0f, -0.001f, 0.0f};
// Balls are 0.12 across; closer than that they are pushed apart, unless they sit almost
// on top of each other, where the contact normal would be noise.
constexpr float kContactDistanceSq = 0.0144f;
constexpr float kCoincidentSq = 0.0002f;
constexpr float kBallDiameter = 0.12f;
constexpr float kTransfer = 0.96f;
constexpr float kSlowSq = 0.0001f;  // a ball this slow hands on no momentum
constexpr float kBounce = -0.96f;
constexpr glm::vec3 kWallLow{-1.0f, -1.1f, -0.35f};
constexpr glm::vec3 kWallHigh{1.0f, 1.1f, 0.35f};

void collide(Molecules::Ball& j, Molecules::Ball& k) {
  const glm::vec3 apart = j.position - k.position;
  const float d2 = glm::dot(apart, apart);
  if (!(d2 < kContactDistanceSq && d2 > kCoincidentSq)) return;
  const float d = std::sqrt(d2);
  const float overlap = kBallDiameter - d;
  const glm::vec3 n = (k.position - j.position) / d;
  j.position -= overlap * n;
  k.position += overlap * n;
  glm::vec3 a = j.velocity, b = k.velocity;
  if (glm::dot(j.velocity, j.velocity) > kSlowSq) {
    const float impulse = kTransfer * glm::dot(j.velocity, n);
    a -= impulse * n;
    b += impulse * n;
  }
  if (glm::dot(k.velocity, k.velocity) > kSlowSq) {
    const float impulse = kTransfer * glm::dot(k.velocity, n);
    a += impulse * n;
    b -= impulse * n;
  }
  j.velocity = a;
  k.velocity = b;
}

void bounceOffWalls(Molecules::Ball& ball) {
  for (int axis = 0; axis < 3; ++axis) {
    float& p = ball.position[axis];
    if (p < kWallLow[axis] || p > kWallHigh[axis]) {
      ball.velocity[axis] *= kBounce;
      p = p < kWallLow[axis] ? kWallLow[axis] : kWallHigh[axis];
    }
  }
}

}  // namespace

Molecules::Molecules(const std::string& name) : Effect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  for (Ball& ball : balls) {
    const float r1 = centredRandom(), r2 = centredRandom(), r3 = centredRandom(), r4 = centredRandom();
    ball.position = 0.7f * glm::vec3(0.4f * r1 + 0.6f, 0.4f * r2 + 0.8f, 0.0f);
    ball.velocity = 0.05f * glm::vec3(r3 + 0.4f, r4 - 0.2f, 0.0f);
  }
}

void Molecules::step() {
  // Every ordered pair: a contact is met from both balls' side, the second time usually
  // already resolved by the first.
  for (int j = 0; j < kBallCount; ++j)
    for (int k = 0; k < kBallCount; ++k)
      if (j != k) collide(balls[size_t(j)], balls[size_t(k)]);
  for (Ball& ball : balls) bounceOffWalls(ball);
  for (Ball& ball : balls) {
    ball.velocity += kGravity;
    ball.position += ball.velocity;
  }
}

void Molecules::render(uint32_t) {
  step();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);
  glPointSize(16);
  glEnable(GL_POINT_SMOOTH);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90, 1.33, 0.1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0, 0, 2, 0, 0, 0, 0, 1, 0);
  glBegin(GL_POINTS);
  for (int k = 0; k < kBallCount; ++k) {
    const float grey = static_cast<float>(k) / kBallCount;
    glColor3f(grey, grey, grey);
    glVertex3fv(glm::value_ptr(balls[size_t(k)].position));
  }
  glEnd();
  glColor4f(1, 1, 1, 1);
  glDisable(GL_POINT_SMOOTH);
  glPointSize(1);
  glDisable(GL_BLEND);
}

// [SECTION] Spheres

glm::vec3 Spheres::lightPoint{0.0f, 0.0f, 1.0f};
glm::vec3 Spheres::lightVelocity{0.005f, 0.003f, 0.003f};

namespace {

constexpr glm::vec3 kLightLow{-1.0f, -1.0f, 0.0f};
constexpr glm::vec3 kLightHigh{1.0f, 1.0f, 1.0f};

void bindUnit(GLenum unit, const Texture* texture) {
  glActiveTexture(unit);
  if (!texture) return;  // a missing picture leaves that unit untextured
  texture->bind();
  glEnable(GL_TEXTURE_2D);
}

void releaseUnit(GLenum unit) {
  glActiveTexture(unit);
  glDisable(GL_TEXTURE_2D);
}

}  // namespace

Spheres::Spheres(const std::string& name) : Effect(name) {
  TextureManager& textures = TextureManager::instance();
  sprite = textures.getTexture("data/textures/sphere_black.png", "", GL_TEXTURE_2D, 0);
  normals = textures.getTexture("data/textures/sphere_normals.png", "", GL_TEXTURE_2D, 0);
  size_t i = 0;
  for (int ix = 0; ix < kLattice; ++ix)
    for (int iy = 0; iy < kLattice; ++iy) {
      // 0.0003051851 is 10 / 32767: heights 1 … 11.
      const float height = 1.0f + static_cast<float>(demoRand()) * 0.0003051851f;
      instances[i++] = {-1.5f + 0.1f * static_cast<float>(ix), -1.5f + 0.1f * static_cast<float>(iy), height};
    }
}

void Spheres::moveLight() {
  lightPoint += lightVelocity;
  // Each component heads back inside once it is out. (Only flipping the sign could leave a
  // component that starts out, or is rounded out, turning back and forth outside for good.)
  for (int axis = 0; axis < 3; ++axis) {
    if (lightPoint[axis] < kLightLow[axis]) lightVelocity[axis] = std::fabs(lightVelocity[axis]);
    else if (lightPoint[axis] > kLightHigh[axis]) lightVelocity[axis] = -std::fabs(lightVelocity[axis]);
  }
}

void Spheres::render(uint32_t) {
  moveLight();
  const float t = scaledTime;
  const glm::vec3& light = lightPoint;

  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, kAlphaReference);
  // Without a program on a stage that stage stays fixed-function.
  if (vertexProgram) {
    vertexProgram->bind();
    vertexProgram->setParameter4f(vertexProgram->factors, light.x, light.y, light.z, 0);
  }
  if (fragmentProgram) {
    fragmentProgram->bind();
    fragmentProgram->setParameter4f(fragmentProgram->factors, light.x, light.y, light.z, 0);
  }
  bindUnit(GL_TEXTURE1, normals);
  bindUnit(GL_TEXTURE0, sprite);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, 1.33, 0.01, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, -1, -5);
  glRotatef(0.01f * t, 0, 0, 1);
  for (size_t i = 0; i < instances.size(); ++i) {
    const Instance& s = instances[i];
    lift[i] = std::sin(6 * s.y + 3 * s.x + 0.01f * t) * 0.5f + s.height + 0.55f;
    drawOrder[i] = static_cast<uint16_t>(i);
  }
  // The lift only moves a ball towards the camera (the turn is about the view axis).
  std::sort(drawOrder.begin(), drawOrder.end(), [this](uint16_t a, uint16_t b) { return lift[a] > lift[b]; });
  for (const uint16_t i : drawOrder) {
    const Instance& s = instances[i];
    const float c = lift[i];
    // The lift is undone by popping rather than by translating back, so 900 lifts leave
    // no rounding behind in the matrix.
    glPushMatrix();
    glTranslatef(0, 0, 0.3f * c);
    if (vertexProgram) vertexProgram->setModelViewProj();
    const float f = 0.02f * c + 0.03f;
    drawRectMultiTex({s.x - f / 2, s.y - f / 2, f, f}, {0, 0, 1, 1});
    glPopMatrix();
  }

  releaseUnit(GL_TEXTURE1);
  releaseUnit(GL_TEXTURE0);
  if (vertexProgram) vertexProgram->unbind();
  if (fragmentProgram) fragmentProgram->unbind();
  glDisable(GL_ALPHA_TEST);
  glColor4f(1, 1, 1, 1);
  glDisable(GL_BLEND);
}

// [SECTION] TestHdr

namespace {

// Reports of this effect name the module the way its makers named it.
constexpr const char* kTestHdrModule = "effects/test_hdr";
// The probe is read from the file system (RGBE pictures bypass the archive); its
// low-dynamic-range twin comes through the texture cache.
constexpr const char* kProbeHdr = "data\\grace_probe.hdr";
constexpr const char* kProbePng = "data\\grace_probe.png";

}  // namespace

TestHdr::TestHdr(const std::string& name) : Effect(name) {
  // Owned here until the upload; an authoring load may unwind out of the assertion.
  const std::unique_ptr<Image> probe(loadImage(kProbeHdr, ""));
  // A probe that cannot be read (missing, or not an RGBE picture) cannot be shown.
  assertTrue(probe != nullptr && probe->width > 0 && probe->height > 0 &&
                 probe->floatData.size() == size_t(probe->width) * size_t(probe->height) * 3,
             kTestHdrModule, __LINE__);
  glGenTextures(1, &probeTexture);
  glBindTexture(GL_TEXTURE_2D, probeTexture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(probe->format), probe->width, probe->height, 0, GL_RGB,
               GL_FLOAT, probe->floatData.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  TextureManager::instance().getTexture(kProbePng, "", GL_TEXTURE_2D, 0);
}

TestHdr::~TestHdr() { glDeleteTextures(1, &probeTexture); }

void TestHdr::render(uint32_t time) {
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, probeTexture);
  glEnable(GL_TEXTURE_2D);
  if (fragmentProgram) {
    fragmentProgram->bind();
    fragmentProgram->setParameter4f(fragmentProgram->factors, Factor0.evaluate(time), Factor1.evaluate(time),
                                    Factor2.evaluate(time), Factor3.evaluate(time));
  }
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  setOrthoUnit();
  drawRectTex({0, 0, 1, 1}, {0, 0, 1, 1});
  glDisable(GL_TEXTURE_2D);
  if (fragmentProgram) fragmentProgram->unbind();
  glDisable(GL_BLEND);
}

// [SECTION] SeriesFlower

namespace {

// The colour every point adds.
constexpr float kFlowerColour[3] = {0.01f, 0.03f, 0.2f};

// The texel that n of the flower's points leave on one pixel of a black frame of `bits` (8 or
// 10) bits a channel, for n = 0 … 255, packed as the sum's texture of that depth takes it
// (RGBA8, or 2_10_10_10_REV with red lowest). Each additive point is stored in the frame
// before the next one adds, rounded from the colour the way the driver rounds: in eight bits
// every point adds 3, 8 and 51 (for 2.55, 7.65 and 51), in ten bits the steps need not all be
// alike. So the table is what GL itself leaves: 255 points added one by one, once, to a cleared
// 8 × 8 target of that depth, read back after each. From 255 points on every channel is
// saturated.
using FlowerSums = std::array<uint32_t, 256>;
FlowerSums measurePointByPoint(int bits) {
  GLint drawFramebuffer = 0, readFramebuffer = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  const GLenum type = bits == 10 ? GL_UNSIGNED_INT_2_10_10_10_REV : GL_UNSIGNED_BYTE;
  GLuint texture = 0, framebuffer = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, bits == 10 ? GL_RGB10_A2 : GL_RGBA8, 8, 8, 0, GL_RGBA, type, nullptr);
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  glViewport(0, 0, 8, 8);
  for (GLenum cap : {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_SCISSOR_TEST, GL_ALPHA_TEST, GL_TEXTURE_2D, GL_LIGHTING,
                     GL_FOG, GL_CULL_FACE, GL_POINT_SMOOTH})
    glDisable(cap);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glBlendFunc(GL_ONE, GL_ONE);
  glColor4f(kFlowerColour[0], kFlowerColour[1], kFlowerColour[2], 1);
  glPointSize(static_cast<float>(SeriesFlower::kPointSize));
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  FlowerSums table{};
  for (size_t n = 1; n < table.size(); ++n) {
    glBegin(GL_POINTS);
    glVertex2f(0, 0);  // the middle of the target: the point covers pixels 1 … 6
    glEnd();
    glReadPixels(4, 4, 1, 1, GL_RGBA, type, &table[n]);
  }
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteTextures(1, &texture);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
  return table;
}

// Measured on first use, in the context the effect draws in (the process has one).
const FlowerSums& flowerSums(int bits) {
  if (bits == 10) {
    static const FlowerSums ten = measurePointByPoint(10);
    return ten;
  }
  static const FlowerSums eight = measurePointByPoint(8);
  return eight;
}

}  // namespace

SeriesFlower::SeriesFlower(const std::string& name)
    : Effect(name), points(size_t(2) * kPointCount) {
  registerColour(*this, Red, Green, Blue, Alpha);
}

SeriesFlower::~SeriesFlower() {
  for (SumTexture& texture : sumTextures)
    if (texture.id != 0) glDeleteTextures(1, &texture.id);
}

int SeriesFlower::computePoints(uint32_t time) {
  const float a = 0.00001f * static_cast<float>(time) + 0.3f;
  float x = 1, y = 0;
  for (int i = 0; i < kPointCount; ++i) {
    // The orbit is bounded while a stays below 2 (past 170 s of demo time it is not):
    // once it has run off to infinity nothing more is drawn.
    if (!std::isfinite(x) || !std::isfinite(y)) return i;
    points[size_t(2) * i] = 0.025f * x;
    points[size_t(2) * i + 1] = 0.025f * y;
    const float next = 5 / (x * x + 1) + y + a * x;
    y = -x;
    x = next;
  }
  return kPointCount;
}

SeriesFlower::SumTexture& SeriesFlower::reserve(int width, int height, int bits) {
  const size_t size = size_t(width) * size_t(height);
  if (size > pixels.size()) {
    for (std::vector<uint16_t>& h : hits) h.resize(size);
    pixels.resize(size);
    ++allocations;
  }
  SumTexture& texture = sumTextures[bits == 10 ? 1 : 0];
  if (width <= texture.width && height <= texture.height) return texture;
  texture.width = std::max(width, texture.width);
  texture.height = std::max(height, texture.height);
  if (texture.id == 0) glGenTextures(1, &texture.id);
  glBindTexture(GL_TEXTURE_2D, texture.id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  if (bits == 10)
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB10_A2, texture.width, texture.height, 0, GL_RGBA,
                 GL_UNSIGNED_INT_2_10_10_10_REV, nullptr);
  else
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texture.width, texture.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  ++allocations;
  return texture;
}

const SeriesFlower::SumTexture& SeriesFlower::splat(int count, float degrees, int width, int height, int bits) {
  SumTexture& texture = reserve(width, height, bits);
  const size_t area = size_t(width) * size_t(height);
  // Where GL puts each point, worked out as it does, so that every point covers the very
  // pixels it would: the rotation's sine and cosine of the angle in single precision; the
  // drawing's matrices (the unit square's projection times the translation to its middle and
  // the rotation) multiplied into one, whose translation cancels; each vertex through it
  // (products summed in order, not fused) and the viewport transform; then the window
  // position snapped to 1/256 of a pixel. A square point of even size covers the pixels
  // round the pixel corner nearest that position.
  const float radians = static_cast<float>(static_cast<double>(degrees) * 3.14159265358979323846 / 180.0);
  const float c = std::cos(radians), s = std::sin(radians);
  const float m00 = 2 * c, m01 = -2 * s, m10 = 2 * s, m11 = 2 * c;
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  const float halfWidth = w / 2, halfHeight = h / 2;
  const auto corner = [](float window) {
    return ((static_cast<int>(std::lrint(window * 256.0f)) + 128) >> 8) - kPointSize / 2;
  };

  // Each half of the points into its own count buffer (either core may take either half).
  const int half = (count + 1) / 2;
  parallelFor(2, 1, [&](int first, int last) {
    for (int part = first; part < last; ++part) {
      uint16_t* counts = hits[size_t(part)].data();
      std::fill(counts, counts + area, uint16_t(0));
      const int end = std::min(count, (part + 1) * half);
      for (int i = part * half; i < end; ++i) {
        const float px = points[size_t(2) * i], py = points[size_t(2) * i + 1];
        const float wx = (px * m00 + py * m01) * halfWidth + halfWidth;
        const float wy = (px * m10 + py * m11) * halfHeight + halfHeight;
        // A point whose centre is off the viewport is clipped whole, as GL clips points.
        if (!(wx >= 0 && wx <= w && wy >= 0 && wy <= h)) continue;
        const int x0 = corner(wx), y0 = corner(wy);
        const int xa = std::max(x0, 0), xb = std::min(x0 + kPointSize, width);
        const int ya = std::max(y0, 0), yb = std::min(y0 + kPointSize, height);
        for (int y = ya; y < yb; ++y) {
          uint16_t* row = counts + size_t(y) * width;
          for (int x = xa; x < xb; ++x) ++row[x];
        }
      }
    }
  });

  const FlowerSums& sums = flowerSums(bits);
  parallelFor(height, 16, [&](int first, int last) {
    for (size_t i = size_t(first) * width, end = size_t(last) * width; i < end; ++i)
      pixels[i] = sums[std::min(uint32_t(hits[0][i]) + hits[1][i], 255u)];
  });
  glBindTexture(GL_TEXTURE_2D, texture.id);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA,
                  bits == 10 ? GL_UNSIGNED_INT_2_10_10_10_REV : GL_UNSIGNED_BYTE, pixels.data());
  return texture;
}

void SeriesFlower::render(uint32_t time) {
  const int count = computePoints(time);
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  if (viewport[2] <= 0 || viewport[3] <= 0) return;
  // The frame the points would be added into: ten bits a channel (as some windows have) or
  // eight (render targets, most windows).
  GLint redBits = 8;
  glGetIntegerv(GL_RED_BITS, &redBits);
  const SumTexture& texture = splat(count, 0.01f * static_cast<float>(time), viewport[2], viewport[3], redBits);

  // The sum goes on additively, so every point adds, also where an earlier one already
  // wrote the same depth: the faint colour only shows where thousands of points pile up.
  setOrthoUnit();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_TEXTURE_2D);
  // The sum fills the lower left width × height texels of a texture that only grows; its rows
  // run bottom to top, as GL's.
  const float u = static_cast<float>(viewport[2]) / static_cast<float>(texture.width);
  const float v = static_cast<float>(viewport[3]) / static_cast<float>(texture.height);
  drawRectTex({0, 0, 1, 1}, {0, v, u, -v});
  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);

  glColor4f(1, 1, 1, 1);
  glLineWidth(1);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}
