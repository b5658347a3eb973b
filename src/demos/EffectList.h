#pragma once
// The effect registry: creates effects by type name for the script's INSERT_EFFECT and
// holds every instance in creation order, which is also the drawing order.

#include <memory>
#include <span>
#include <string>
#include <vector>

class Effect;

// One row of the type table: the exact, case-sensitive name a script uses and the
// constructor, called with the instance name.
struct EffectType {
  const char* name;
  Effect* (*create)(const std::string& instanceName);
};

// The compiled-in types, in the fixed table order (the first matching name wins).
std::span<const EffectType> builtInEffectTypes();

// How the registry and the script loader report a fatal script error (detail null for a
// plain message): the fatal error report by default; a parse-only run (fuzzing, tests)
// substitutes a recorder and the load stops instead of the process.
using FatalTextReport = void (*)(const char* sourceFile, int line, const char* message,
                                 const char* detail);
void reportFatalText(const char* sourceFile, int line, const char* message, const char* detail);

class EffectList {
 public:
  explicit EffectList(std::span<const EffectType> types = builtInEffectTypes(),
                      FatalTextReport fail = reportFatalText);
  ~EffectList();
  EffectList(const EffectList&) = delete;
  EffectList& operator=(const EffectList&) = delete;

  // Creates the named type, keys its `active` off over the whole demo and appends it.
  // An unknown type is the fatal "EffectType not found" with the type name (then false).
  bool insertEffect(const std::string& instanceName, const std::string& typeName);
  // The first instance, in creation order, of exactly that name; null when there is none.
  Effect* findEffect(const std::string& instanceName) const;
  const std::vector<Effect*>& effects() const { return list; }
  // Destroys every instance.
  void clear();

 private:
  std::span<const EffectType> types;
  FatalTextReport fail;
  std::vector<Effect*> list;  // owned
};
