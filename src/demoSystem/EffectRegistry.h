#pragma once
// What the script loader and the timeline know of the effect registry: a list of effect
// instances in creation order (also the drawing order) that creates instances by type
// name. The table of compiled-in types and the list that uses it live above the effects
// (demos/EffectList); the launcher creates that list and hands it to the timeline.

#include <string>
#include <vector>

class Effect;

// One row of a type table: the exact, case-sensitive name a script uses, the
// constructor, called with the instance name, and one line for the demo maker (--types).
// A row whose type is not built has no constructor and behaves like an unknown name.
struct EffectType {
  const char* name;
  Effect* (*create)(const std::string& instanceName);
  const char* description = "";
};

// How the registry and the script loader report a fatal script error (detail null for a
// plain message): the fatal error report by default; a parse-only run (fuzzing, tests)
// substitutes a recorder and the load stops instead of the process.
using FatalTextReport = void (*)(const char* sourceFile, int line, const char* message,
                                 const char* detail);
void reportFatalText(const char* sourceFile, int line, const char* message, const char* detail);

class EffectRegistry {
 public:
  virtual ~EffectRegistry() = default;

  // Creates the named type, keys its `active` off over the whole demo and appends it.
  // An unknown type is the fatal "EffectType not found" with the type name (then false).
  virtual bool insertEffect(const std::string& instanceName, const std::string& typeName) = 0;
  // The first instance, in creation order, of exactly that name; null when there is none.
  virtual Effect* findEffect(const std::string& instanceName) const = 0;
  virtual const std::vector<Effect*>& effects() const = 0;
  // Destroys every instance.
  virtual void clear() = 0;
  // Empties the list and gives back its storage without destroying the instances: at quit,
  // once the GL context whose objects they hold is gone.
  virtual void releaseWithoutDestroying() = 0;
};

// The process's registry: the launcher's effect list, handed over at start-up and kept for
// the run (null before). Effects find their sources in it.
extern EffectRegistry* effectRegistry;
