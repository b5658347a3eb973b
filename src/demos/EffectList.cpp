#include "demos/EffectList.h"

#include "base/Error.h"
#include "demoSystem/Effect.h"
#include "effects/Blur.h"
#include "effects/Distort.h"
#include "effects/LayerEffects.h"
#include "effects/MusicReactive.h"
#include "effects/NoiseTextures.h"
#include "effects/PostProcess.h"
#include "effects/StandaloneParts.h"
#include "effects/Text.h"

namespace {

template <class T>
Effect* make(const std::string& instanceName) {
  return new T(instanceName);
}

Effect* makeClear(const std::string& instanceName) {
  return new ClearEffect(instanceName, 0, 0, 0, 1);
}

// The fixed order of the type names. A row without a constructor is a type that is not
// built yet: a script naming it stops with "EffectType not found", as for any unknown name.
const EffectType kTypes[] = {
    {"Scene", nullptr},
    {"Blur", make<Blur>},
    {"Clear", makeClear},
    {"Fade", make<FadeEffect>},
    {"Flash", make<FlashEffect>},
    {"GridExp", nullptr},
    {"GridWater", nullptr},
    {"Image", make<ImageEffect>},
    {"Metaballs", nullptr},
    {"LineDistortion", make<LineDistortionEffect>},
    {"Mosaic", make<MosaicEffect>},
    {"Noise", make<NoiseEffect>},
    {"OmniShadowTest", nullptr},
    {"Osc", make<OscEffect>},
    {"PNoise", make<PNoiseEffect>},
    {"ShaderRTT", make<ShaderRTT>},
    {"ShaderRTT_HDR", make<ShaderRTT_HDR>},
    {"ShaderDOF", make<ShaderDOF>},
    {"Spectrum", make<SpectrumEffect>},
    {"Spheres", make<Spheres>},
    {"Ripple", make<RippleEffect>},
    {"RotoZoom", make<RotoZoomEffect>},
    {"TargetTexture", make<TargetTexture>},
    {"TargetTextureHDR", make<TargetTextureHDR>},
    {"TechnoNoise", make<TechnoNoiseEffect>},
    {"ThreadObject", nullptr},
    {"Tiles", make<TilesEffect>},
    {"TypeWriter", make<TypeWriter>},
    {"ViewFPS", make<ViewFPS>},
    {"TestHdr", make<TestHdr>},
    {"SeriesFlower", make<SeriesFlower>},
    {"Boids", nullptr},
    {"BoidScene", nullptr},
    {"Smoke", nullptr},
    {"SmokeScene", nullptr},
    {"SmokeCube", nullptr},
    {"Molecules", make<Molecules>},
    {"FontMachine", nullptr},
    {"ArmScene", nullptr},
    {"SwimBoid", nullptr},
    {"GrowScene", nullptr},
    {"ParticleTest", nullptr},
};
static_assert(std::size(kTypes) == 42, "the type table has 42 fixed rows");

}  // namespace

std::span<const EffectType> builtInEffectTypes() { return kTypes; }

EffectList::EffectList(std::span<const EffectType> types, FatalTextReport fail)
    : types(types), fail(fail) {}

EffectList::~EffectList() { clear(); }

bool EffectList::insertEffect(const std::string& instanceName, const std::string& typeName) {
  for (const EffectType& type : types) {
    if (typeName != type.name) continue;
    if (!type.create) break;  // a type whose row is not filled yet reads as unknown
    Effect* effect = type.create(instanceName);
    effect->active.setKey(0, 0);
    list.push_back(effect);
    return true;
  }
  fail(DE_HERE, "EffectType not found", typeName.c_str());
  return false;
}

Effect* EffectList::findEffect(const std::string& instanceName) const {
  for (Effect* effect : list)
    if (effect->getName() == instanceName) return effect;
  return nullptr;
}

void EffectList::clear() {
  for (Effect* effect : list) delete effect;
  list.clear();
}

void EffectList::releaseWithoutDestroying() { std::vector<Effect*>().swap(list); }
