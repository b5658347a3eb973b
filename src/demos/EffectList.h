#pragma once
// The effect registry: creates effects by type name for the script's INSERT_EFFECT and
// holds every instance in creation order, which is also the drawing order.

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "demoSystem/EffectRegistry.h"

// The compiled-in types: all 42 rows in the fixed table order (the first matching name
// wins), each with its constructor.
std::span<const EffectType> builtInEffectTypes();

class EffectList final : public EffectRegistry {
 public:
  explicit EffectList(std::span<const EffectType> types = builtInEffectTypes(),
                      FatalTextReport fail = reportFatalText);
  ~EffectList() override;
  EffectList(const EffectList&) = delete;
  EffectList& operator=(const EffectList&) = delete;

  bool insertEffect(const std::string& instanceName, const std::string& typeName) override;
  Effect* findEffect(const std::string& instanceName) const override;
  const std::vector<Effect*>& effects() const override { return list; }
  void clear() override;
  void releaseWithoutDestroying() override;

 private:
  std::span<const EffectType> types;
  FatalTextReport fail;
  std::vector<Effect*> list;  // owned
};
