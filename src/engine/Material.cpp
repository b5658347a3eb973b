#include "engine/Material.h"

#include <algorithm>

#include "base/Error.h"
#include "resources/RenderTarget.h"
#include "resources/Texture.h"

// Index
// [SECTION] Construction and setters
// [SECTION] Choosing the shade model
// [SECTION] Texture units of the shade models
// [SECTION] apply / restore and the material in effect

namespace {

Material* appliedMaterial = nullptr;

// The texture units the shade models use; every one starts from "nothing enabled".
constexpr int kUnitsUsed = 3;

void selectUnit(int unit) { glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit)); }

// What glEnable takes for a texture (depth textures are sampled as 2D ones).
GLenum enableTarget(const Texture& texture) {
  const GLenum target = texture.getTarget();
  return target == GL_DEPTH_COMPONENT ? GL_TEXTURE_2D : target;
}

// Enables the texture's own target on `unit` and binds it there.
void bindOnUnit(int unit, const Texture* texture) {
  if (!texture) return;
  selectUnit(unit);
  glEnable(enableTarget(*texture));
  texture->bind();
}

void setEnvMode(int unit, GLint mode) {
  selectUnit(unit);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode);
}

// A combiner stage whose RGB is `function` of the given sources (alpha keeps the default
// MODULATE of texture and previous).
void setCombine(int unit, GLint function, GLint source0, GLint source1) {
  selectUnit(unit);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
  glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, function);
  glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, source0);
  glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
  glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, source1);
  glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
}

void disableAllTargets(int unit) {
  selectUnit(unit);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_CUBE_MAP);
}

}  // namespace

// [SECTION] Construction and setters

Material::Material(int id, const std::string& name) : id(id), name(name) {}

Material::~Material() {
  if (appliedMaterial == this) appliedMaterial = nullptr;
}

void Material::setShininess(float glossiness, float level) {
  shininess = glossiness * 128.0f;
  specularLevel = level;
}

void Material::setOpacity(float value) {
  opacity = value;
  transparent = additive || opacity < 1.0f;
}

void Material::setAdditive(bool on) {
  additive = on;
  transparent = additive || opacity < 1.0f;
}

void Material::setShadeModel(int model) { shadeModel = model; }

void Material::setCubeMap(Texture* texture) {
  cubeMap = texture;
  chooseShadeModel();
}

void Material::setSourceTarget(RenderTarget* target) {
  sourceTarget = target;
  shadeModel = 13;
  // The target's picture is laid on with the first coordinate set, whatever the material
  // drew before.
  usesTexCoords = true;
}

void Material::setOpacityMap(Texture*) {
  assertTrue(false, DE_HERE);  // opacity maps (map type 6) are not supported
}

// [SECTION] Choosing the shade model

void Material::chooseShadeModel() {
  // The flags describe the slots as they are now: a cube map that was removed again must
  // not leave its texture generation behind.
  usesTexCoords = usesLightMapCoords = needsReflectionCoords = false;
  usesSecondTexCoords = lit = cubeTexGen = false;
  // The DOT3 models dot the normalisation cube map with the primary colour, which the mesh
  // feeds with its eye-space normals whenever a normal map could be in use.
  needsLightVectors = normalMap != nullptr;

  if (cubeMap) {
    shadeModel = 11;
    cubeTexGen = true;
  } else if (diffuseMap && reflectionMap) {
    shadeModel = 4;
    needsReflectionCoords = usesSecondTexCoords = usesTexCoords = lit = true;
  } else if (diffuseMap && lightMap) {
    shadeModel = 5;
    usesSecondTexCoords = usesLightMapCoords = usesTexCoords = true;
  } else if (lightMap) {
    shadeModel = 6;
    usesLightMapCoords = true;
  } else if (diffuseMap) {
    shadeModel = 1;
    usesTexCoords = lit = true;
  } else if (reflectionMap && normalMap) {
    shadeModel = 8;
    usesSecondTexCoords = needsReflectionCoords = true;
  } else if (reflectionMap) {
    shadeModel = 2;
    needsReflectionCoords = lit = true;
  } else if (sourceTarget) {
    shadeModel = 13;
    usesTexCoords = lit = true;
  } else {
    shadeModel = 0;
    lit = true;
  }
}

// [SECTION] Texture units of the shade models

int Material::textureUnitsUsed() const {
  int used = 0;
  switch (shadeModel) {
    case 1: case 2: case 3: case 6: case 9: case 11: case 13: used = 1; break;
    case 4: case 7: case 10: case 12: used = 2; break;
    case 5: used = moreLight ? 3 : 2; break;
    case 8: used = 3; break;
    default: break;
  }
  // Unit 0 also serves the unlit maps, the texture matrix and reflection-map generation.
  return unlit || textureTransform || cubeTexGen ? std::max(used, 1) : used;
}

void Material::setColours() const {
  const glm::vec4 specularColour(glm::vec3(specular) * specularLevel, 1.0f);
  const glm::vec4 diffuseColour(glm::vec3(diffuse), opacity);
  if (shadeModel == 0) {
    const glm::vec4 ambientColour(glm::vec3(ambient), 1.0f);
    glMaterialfv(GL_FRONT, GL_AMBIENT, glm::value_ptr(ambientColour));
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, glm::value_ptr(diffuseColour));
    glMaterialfv(GL_FRONT, GL_SPECULAR, glm::value_ptr(specularColour));
    glMaterialf(GL_FRONT, GL_SHININESS, shininess);
    return;
  }
  const glm::vec4 ambientColour(glm::vec3(ambient), 0.0f);
  glMaterialfv(GL_FRONT, GL_AMBIENT, glm::value_ptr(ambientColour));
  glMaterialfv(GL_FRONT, GL_DIFFUSE, glm::value_ptr(diffuseColour));
  glMaterialfv(GL_FRONT, GL_SPECULAR, glm::value_ptr(specularColour));
  glMaterialf(GL_FRONT, GL_SHININESS, shininess);
  if (shadeModel == 1 || shadeModel == 13)
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
}

void Material::setTextureUnits() const {
  // Whatever texturing was on before the material is not part of it.
  for (int unit = 0; unit < kUnitsUsed; ++unit) disableAllTargets(unit);

  switch (shadeModel) {
    case 0:
      break;
    case 1:
      if (diffuseMap) {
        bindOnUnit(0, diffuseMap);
        setEnvMode(0, GL_MODULATE);
      }
      break;
    case 2:
    case 3:
      if (reflectionMap) {
        bindOnUnit(0, reflectionMap);
        setEnvMode(0, GL_MODULATE);
      }
      break;
    case 4:
      if (diffuseMap && reflectionMap) {
        bindOnUnit(0, diffuseMap);
        setEnvMode(0, GL_MODULATE);
        bindOnUnit(1, reflectionMap);
        setEnvMode(1, GL_ADD);
      }
      break;
    case 5:
      if (diffuseMap && lightMap) {
        bindOnUnit(0, diffuseMap);
        setEnvMode(0, GL_MODULATE);
        if (moreLight) {
          bindOnUnit(1, lightMap);
          setCombine(1, GL_ADD_SIGNED, GL_PREVIOUS, GL_TEXTURE);
          bindOnUnit(2, lightMap);
          setEnvMode(2, GL_MODULATE);
        } else {
          bindOnUnit(1, lightMap);
          setEnvMode(1, GL_MODULATE);
        }
      }
      break;
    case 6:
      if (lightMap) {
        bindOnUnit(0, lightMap);
        setEnvMode(0, GL_MODULATE);
      }
      break;
    case 7:
    case 8:
      if (normalMap && (shadeModel == 7 ? diffuseMap != nullptr : reflectionMap != nullptr)) {
        bindOnUnit(0, normalMap);
        setCombine(0, GL_REPLACE, GL_TEXTURE, GL_PREVIOUS);
        if (normalisationCubeMap != 0) {
          selectUnit(1);
          glEnable(GL_TEXTURE_CUBE_MAP);
          glBindTexture(GL_TEXTURE_CUBE_MAP, normalisationCubeMap);
          setCombine(1, GL_DOT3_RGB, GL_TEXTURE, GL_PRIMARY_COLOR);
        }
        if (shadeModel == 8) {
          bindOnUnit(2, reflectionMap);
          setEnvMode(2, GL_MODULATE);
        }
      }
      break;
    case 9:
      if (rampTexture) {
        bindOnUnit(0, rampTexture);
        setEnvMode(0, GL_MODULATE);
      }
      break;
    case 10:
      if (rampTexture && diffuseMap) {
        bindOnUnit(0, rampTexture);
        setEnvMode(0, GL_MODULATE);
        bindOnUnit(1, diffuseMap);
        setCombine(1, GL_ADD_SIGNED, GL_PREVIOUS, GL_TEXTURE);
      }
      break;
    case 11:
      if (cubeMap) {
        bindOnUnit(0, cubeMap);
        setEnvMode(0, GL_MODULATE);
      }
      break;
    case 12:
      if (cubeMap) {
        bindOnUnit(0, cubeMap);
        setEnvMode(0, GL_MODULATE);
        if (reflectionMap) {
          bindOnUnit(1, reflectionMap);
          setEnvMode(1, GL_ADD);
        }
      }
      break;
    case 13:
      // The target's picture stands in for the diffuse map, so the target alone is needed.
      if (sourceTarget) {
        selectUnit(0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, sourceTarget->getColorTextureId());
        setEnvMode(0, GL_MODULATE);
      }
      break;
    default:
      break;
  }
  selectUnit(0);
}

void Material::setStateSwitches() const {
  if ((lit || forceLighting) && !noLighting) glEnable(GL_LIGHTING);
  if ((!lit || noLighting) && !forceLighting) glDisable(GL_LIGHTING);

  if (stencil) {
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(stencilFunc, stencilRef, stencilMask);
    glStencilOp(stencilFail, stencilZFail, stencilZPass);
  }
  if (alphaTest) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, alphaRef);
  }
  if (opacity < 1.0f) {
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  glEnable(GL_CULL_FACE);
  if (twoSided) {
    glDisable(GL_CULL_FACE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
  }
  // Additive wins over opacity; the blend switch, last, wins over both.
  if (additive) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_DEPTH_TEST);
  }
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  if (wireframe) glPolygonMode(GL_FRONT, GL_LINE);
}

// [SECTION] apply / restore and the material in effect

void Material::apply() {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  if (shadeModel < 0 || shadeModel >= kShadeModelCount)
    reportErrorValue(DE_HERE, "Material cannot handle this shademodel", shadeModel, true);

  setColours();
  setTextureUnits();
  setStateSwitches();

  // The texture matrix is not an attribute: it is pushed here and popped by restore(), or
  // it would stay on every texture drawn after the material.
  pushedTextureMatrix = textureTransform;
  if (textureTransform) {
    selectUnit(0);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(texTranslation.x, texTranslation.y, texTranslation.z);
    glRotatef(texRotation.x, 1, 0, 0);
    glRotatef(texRotation.y, 0, 1, 0);
    glRotatef(texRotation.z, 0, 0, 1);
    glScalef(texScale.x, texScale.y, texScale.z);
    glMatrixMode(GL_MODELVIEW);
  }

  if (unlit) {
    glDisable(GL_LIGHTING);
    selectUnit(0);
    glEnable(GL_TEXTURE_2D);
    if (diffuseMap) diffuseMap->bind();
    if (lightMap) lightMap->bind();
  }
}

void Material::restore() {
  if (pushedTextureMatrix) {
    selectUnit(0);
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    pushedTextureMatrix = false;
  }
  // Also brings back the active unit and the matrix mode.
  glPopAttrib();
}

Material* Material::applied() { return appliedMaterial; }

bool Material::use() {
  if (appliedMaterial == this) return false;
  if (appliedMaterial) appliedMaterial->restore();
  apply();
  appliedMaterial = this;
  return true;
}

void Material::releaseApplied() {
  if (!appliedMaterial) return;
  appliedMaterial->restore();
  appliedMaterial = nullptr;
}
