#pragma once
// The effect-type reference a demo maker reads (--types and docs/effect-types.md): each type
// of a table with what an instance of it really registers (its variables with kind,
// default, the values a script writes and their meaning; the event codes it answers; the
// strings its set-up SIGNALs take), so the text cannot drift from the code. Building an
// instance needs the GL context the effects are built in.

#include <span>
#include <string>
#include <vector>

#include "demoSystem/EffectRegistry.h"

class Effect;

// One variable as the reference prints it, in the script's terms.
struct VariableFacts {
  std::string name;
  std::string kind;          // "float", "bool", "choice" or "string"
  std::string defaultText;   // as a SIGNAL would write it
  std::string values;        // the range or choices a SIGNAL writes
  std::string meaning;
  int stringTable = 0;       // 0 or 1000: set-up SIGNALs add file names to it; else none
};

// The variables a script reaches on `effect`: the registered ones in registration order,
// a name registered twice once (the loader takes the first).
std::vector<VariableFacts> variableFacts(Effect& effect);

// --types: every type of the table, one line each.
std::string effectTypeList(std::span<const EffectType> types);
// --types NAME (any letter case): that type in full; empty when no type has the name.
std::string effectTypeDetails(std::span<const EffectType> types, const std::string& name);
// The whole reference as Markdown (docs/effect-types.md).
std::string effectTypeReference(std::span<const EffectType> types);
