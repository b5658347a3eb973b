#include "demos/EffectList.h"

#include "base/Error.h"
#include "demoSystem/Effect.h"
#include "effects/Blur.h"
#include "effects/Boids.h"
#include "effects/Distort.h"
#include "effects/Effect3D.h"
#include "effects/Grids.h"
#include "effects/LayerEffects.h"
#include "effects/MusicReactive.h"
#include "effects/NoiseTextures.h"
#include "effects/PostProcess.h"
#include "effects/SceneSimulations.h"
#include "effects/Smoke.h"
#include "effects/SceneParts.h"
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

// The fixed order of the type names; a name not in the table stops the script with
// "EffectType not found".
const EffectType kTypes[] = {
    {"Scene", make<Effect3D>},
    {"Blur", make<Blur>},
    {"Clear", makeClear},
    {"Fade", make<FadeEffect>},
    {"Flash", make<FlashEffect>},
    {"GridExp", make<GridExp>},
    {"GridWater", make<GridWater>},
    {"Image", make<ImageEffect>},
    {"Metaballs", make<Metaballs>},
    {"LineDistortion", make<LineDistortionEffect>},
    {"Mosaic", make<MosaicEffect>},
    {"Noise", make<NoiseEffect>},
    {"OmniShadowTest", make<Effect3D>},
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
    {"ThreadObject", make<ThreadObject>},
    {"Tiles", make<TilesEffect>},
    {"TypeWriter", make<TypeWriter>},
    {"ViewFPS", make<ViewFPS>},
    {"TestHdr", make<TestHdr>},
    {"SeriesFlower", make<SeriesFlower>},
    {"Boids", make<Boids>},
    {"BoidScene", make<BoidScene>},
    {"Smoke", make<Smoke>},
    {"SmokeScene", make<SmokeScene>},
    {"SmokeCube", make<SmokeCube>},
    {"Molecules", make<Molecules>},
    {"FontMachine", make<FontMachine>},
    {"ArmScene", make<ArmScene>},
    {"SwimBoid", make<SwimBoid>},
    {"GrowScene", make<GrowScene>},
    {"ParticleTest", make<ParticleTest>},
};
static_assert(std::size(kTypes) == 42, "the type table has 42 fixed rows");

}  // namespace

std::span<const EffectType> builtInEffectTypes() { return kTypes; }

EffectList::EffectList(std::span<const EffectType> types, FatalTextReport fail)
    : types(types), fail(fail) {}

// Only the effects go: a registry that lives to the end of the process is destroyed after
// the types' shared state (built later, destroyed earlier), which must not be touched then.
EffectList::~EffectList() {
  for (Effect* effect : list) delete effect;
}

bool EffectList::insertEffect(const std::string& instanceName, const std::string& typeName) {
  for (const EffectType& type : types) {
    if (typeName != type.name) continue;
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

namespace {

// What the effect types share across their instances (and a simulation's shared field)
// goes back to its start with the last instance: the next load then plays from the same
// state as a fresh start, not from wherever the demo before it stopped.
void resetSharedEffectState() {
  LineDistortionEffect::phase = 0;
  RippleEffect::centreX = RippleEffect::centreY = 0.5f;
  NoiseEffect::noiseRect = {0, 0, 1, 1};
  PNoiseEffect::marbleZ = 0;
  PNoiseEffect::marbleOctaves = 1;
  PNoiseEffect::marbleEveryFrame = true;
  exposure = 32.0f;
  Spheres::lightPoint = {0.0f, 0.0f, 1.0f};
  Spheres::lightVelocity = {0.005f, 0.003f, 0.003f};
  GridWater::shared() = GridWater::Shared{};
}

}  // namespace

void EffectList::clear() {
  for (Effect* effect : list) delete effect;
  list.clear();
  resetSharedEffectState();
}

void EffectList::releaseWithoutDestroying() { std::vector<Effect*>().swap(list); }
