#include "demos/EffectList.h"

#include "base/Error.h"
#include "demoSystem/Effect.h"
#include "effects/LayerEffects.h"

namespace {

template <class T>
Effect* make(const std::string& instanceName) {
  return new T(instanceName);
}

Effect* makeClear(const std::string& instanceName) {
  return new ClearEffect(instanceName, 0, 0, 0, 1);
}

// The fixed order of the type names. Types still to be built take their rows at their
// places between these, so the first match stays the same.
const EffectType kTypes[] = {
    // 1 "Scene", 2 "Blur"
    {"Clear", makeClear},
    {"Fade", make<FadeEffect>},
    {"Flash", make<FlashEffect>},
    // 6 "GridExp", 7 "GridWater"
    {"Image", make<ImageEffect>},
    // 9 "Metaballs" ... 42 "ParticleTest"
};

}  // namespace

std::span<const EffectType> builtInEffectTypes() { return kTypes; }

void reportFatalText(const char* sourceFile, int line, const char* message, const char* detail) {
  if (detail) reportErrorText(sourceFile, line, message, detail, true);
  else reportError(sourceFile, line, message, true);
}

EffectList::EffectList(std::span<const EffectType> types, FatalTextReport fail)
    : types(types), fail(fail) {}

EffectList::~EffectList() { clear(); }

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

void EffectList::clear() {
  for (Effect* effect : list) delete effect;
  list.clear();
}
