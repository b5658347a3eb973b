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
    {"Scene", make<Effect3D>, "a scene file (.vkg) drawn through its cameras and lights, with fog, shadows and depth of field"},
    {"Blur", make<Blur>, "draws its source blurred, multiplied/subtracted or glowing"},
    {"Clear", makeClear, "clears colour, depth and stencil (opaque black by default)"},
    {"Fade", make<FadeEffect>, "a full-screen colour fading in or out over the local time"},
    {"Flash", make<FlashEffect>, "a full-screen flash on every beat-pattern step"},
    {"GridExp", make<GridExp>, "a picture on a 50 × 50 grid bent by wave formulas"},
    {"GridWater", make<GridWater>, "a tiled floor under water drops (a rippling height field)"},
    {"Image", make<ImageEffect>, "a picture on a quad that moves, turns, scales and pulses"},
    {"Metaballs", make<Metaballs>, "marching-cubes metaballs in a scene"},
    {"LineDistortion", make<LineDistortionEffect>, "its source with every line shifted sideways by waves"},
    {"Mosaic", make<MosaicEffect>, "its source as coarse blocks over the fine picture"},
    {"Noise", make<NoiseEffect>, "full-screen random noise"},
    {"OmniShadowTest", make<Effect3D>, "a scene with omnidirectional shadows (the Scene type)"},
    {"Osc", make<OscEffect>, "an oscilloscope trace of the music in a box"},
    {"PNoise", make<PNoiseEffect>, "a marble texture from Perlin noise"},
    {"ShaderRTT", make<ShaderRTT>, "its source through render targets: blur, multiply/subtract, glow"},
    {"ShaderRTT_HDR", make<ShaderRTT_HDR>, "ShaderRTT on floating-point targets with exposure"},
    {"ShaderDOF", make<ShaderDOF>, "its source with depth of field"},
    {"Spectrum", make<SpectrumEffect>, "sends the music's loudness as a pulse (event 5) to other instances"},
    {"Spheres", make<Spheres>, "a lattice of 900 lit sphere sprites"},
    {"Ripple", make<RippleEffect>, "its source rippled around a centre"},
    {"RotoZoom", make<RotoZoomEffect>, "its source rotated and zoomed, tiled"},
    {"TargetTexture", make<TargetTexture>, "its source (or a picture) scrolled over the screen"},
    {"TargetTextureHDR", make<TargetTextureHDR>, "TargetTexture on a floating-point target"},
    {"TechnoNoise", make<TechnoNoiseEffect>, "its source mixed with striped noise"},
    {"ThreadObject", make<ThreadObject>, "a scene whose Dummy nodes are joined by threads"},
    {"Tiles", make<TilesEffect>, "its source in nine turning, fading tiles"},
    {"TypeWriter", make<TypeWriter>, "letters of a picture typed in one by one"},
    {"ViewFPS", make<ViewFPS>, "the frame rate and statistics overlay (F2)"},
    {"TestHdr", make<TestHdr>, "an HDR light probe on a float texture"},
    {"SeriesFlower", make<SeriesFlower>, "a point cloud of an iterated map"},
    {"Boids", make<Boids>, "a flock of boids on a sphere, drawn as lines"},
    {"BoidScene", make<BoidScene>, "a flock of birds in a scene"},
    {"Smoke", make<Smoke>, "a smoke simulation drawn as volume slices"},
    {"SmokeScene", make<SmokeScene>, "smoke flowing through a scene"},
    {"SmokeCube", make<SmokeCube>, "smoke in a cube with an obstacle"},
    {"Molecules", make<Molecules>, "50 bouncing balls"},
    {"FontMachine", make<FontMachine>, "the stand scene animated by sines"},
    {"ArmScene", make<ArmScene>, "an animated arm scene"},
    {"SwimBoid", make<SwimBoid>, "swimming creatures of chained segments"},
    {"GrowScene", make<GrowScene>, "a growing plant scene"},
    {"ParticleTest", make<ParticleTest>, "a particle system in a scene"},
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
