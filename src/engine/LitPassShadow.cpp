#include "engine/LitPassShadow.h"

#include <glm/gtc/matrix_access.hpp>

#include "base/Display.h"
#include "engine/Material.h"

namespace {

LitPassShadow* current = nullptr;

constexpr GLenum kCoords[4] = {GL_S, GL_T, GL_R, GL_Q};
constexpr GLenum kGenerate[4] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};

int fixedFunctionUnits() {
  if (glCaps.maxTextureUnits == 0) glGetIntegerv(GL_MAX_TEXTURE_UNITS, &glCaps.maxTextureUnits);
  return glCaps.maxTextureUnits;
}

}  // namespace

bool LitPassShadow::available() {
  static const bool combine3 = epoxy_has_gl_extension("GL_ATI_texture_env_combine3");
  return combine3;
}

LitPassShadow* LitPassShadow::active() { return current; }

LitPassShadow::LitPassShadow(const glm::mat4& shadowTexMatrix, GLuint depthTexture, float keeps)
    : depthTexture(depthTexture), keeps(keeps), units(fixedFunctionUnits()), previous(current) {
  current = this;
  GLint activeUnit = GL_TEXTURE0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
  // GL keeps eye planes in the eye space of the modelview they were given under: the
  // camera's, as the apply pass gives them.
  for (int u = 0; u < units; ++u) {
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
    for (int i = 0; i < 4; ++i) {
      const glm::vec4 plane = glm::row(shadowTexMatrix, i);
      glTexGenfv(kCoords[i], GL_EYE_PLANE, glm::value_ptr(plane));
    }
  }
  glActiveTexture(static_cast<GLenum>(activeUnit));
}

LitPassShadow::~LitPassShadow() { current = previous; }

int LitPassShadow::freeUnit(const Material& material) const {
  if (!available()) return -1;
  // The stage replaces the fragment's alpha and blends: a material that needs either draws
  // as it is and takes the apply pass.
  if (material.isTransparent() || material.blend || material.alphaTest) return -1;
  const int free = material.textureUnitsUsed();
  return free < units ? free : -1;
}

bool LitPassShadow::serve(const Material& material, bool applied, bool receiver, bool fixedFunction) {
  if (applied || prepared != &material) {
    prepared = &material;
    unit = freeUnit(material);
    if (unit >= 0) prepare(unit);
    on = false;
  }
  const bool served = receiver && fixedFunction && unit >= 0;
  if (receiver && !served) ++left;
  switchOn(served);
  return served;
}

void LitPassShadow::prepare(int stageUnit) {
  glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + stageUnit));
  glBindTexture(GL_TEXTURE_2D, depthTexture);
  for (int i = 0; i < 4; ++i) {
    glTexGeni(kCoords[i], GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    glEnable(kGenerate[i]);
  }
  // Colour: passed on. Alpha: lit × (1 − keeps) + keeps, lit being the comparison's result
  // (the depth texture reads as intensity).
  const GLfloat constant[4] = {0.0f, 0.0f, 0.0f, keeps};
  glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
  glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_REPLACE);
  glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_PREVIOUS);
  glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
  glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE_ADD_ATI);  // a0 × a2 + a1
  glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_ALPHA, GL_TEXTURE);
  glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
  glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_ALPHA, GL_CONSTANT);
  glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA, GL_SRC_ALPHA);
  glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_ALPHA, GL_CONSTANT);
  glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glTexEnvi(GL_TEXTURE_ENV, GL_RGB_SCALE, 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1);
  // Set up switched off, whatever was drawn since the material was applied.
  glDisable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
  glDisable(GL_BLEND);
}

void LitPassShadow::switchOn(bool wanted) {
  if (wanted == on) return;
  on = wanted;
  glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
  if (on) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
  } else {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
  }
  glActiveTexture(GL_TEXTURE0);
}

void LitPassShadow::standAside() {
  if (prepared && unit >= 0) {
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
    glDisable(GL_TEXTURE_2D);
    for (const GLenum generate : kGenerate) glDisable(generate);
    glActiveTexture(GL_TEXTURE0);
    if (on) glDisable(GL_BLEND);
  }
  on = false;
  prepared = nullptr;
}

void LitPassShadow::suspend() const {
  if (!on) return;
  glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
  glDisable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  glDisable(GL_BLEND);
}
