// The script loader on arbitrary text: tokens, comments, sections, includes, expressions,
// value texts and every statement, with inert effects (nothing is drawn or loaded) and
// fatal reports recorded instead of ending the process; then the same text once more in the
// collecting load of the authoring modes, which goes on past every problem.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "demoSystem/Effect.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"

namespace {

// The base variables only, no GL and no files.
class InertEffect : public Effect {
 public:
  explicit InertEffect(const std::string& name) : Effect(name) {
    Choice.choiceCount = 11;
    registerVariable(&Value, "Value", Variable::kNoStringTable, Variable::kFloat);
    registerVariable(&Choice, "Choice", Variable::kNoStringTable, Variable::kInteger);
    registerVariable(&Datafile, "Datafile", 0, Variable::kInteger);
  }
  void render(uint32_t) override {}

  FloatVariable Value;
  IntVariable Choice;
  IntVariable Datafile;
};

Effect* createInert(const std::string& name) { return new InertEffect(name); }

// Every compiled-in type name, each making an inert effect.
std::vector<EffectType> inertTypes() {
  std::vector<EffectType> types;
  for (const EffectType& type : builtInEffectTypes()) types.push_back({type.name, createInert});
  types.push_back({"Inert", createInert});
  return types;
}

void ignoreFailure(const char*, int, const char*, const char*) {}

// Files an input may include: plain, nested, and one that includes itself.
const std::map<std::string, std::string> kIncludes = {
    {"a.script", "DEFINE A 100\nDEFINE_DEMO_PART A\n__TIMELINE__\n"},
    {"b.script", "INCLUDE \"a.script\"\nA + 5 i x\n__LINETIME__\nnever read\n"},
    {"self.script", "INCLUDE \"self.script\"\n"},
};

bool readInclude(const std::string& path, std::string& text) {
  const auto found = kIncludes.find(path);
  if (found == kIncludes.end()) return false;
  text = found->second;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<EffectType> types = inertTypes();
  static EffectList effects(types, ignoreFailure);
  static EventList events;

  // Process-wide values a load keeps start fresh for every input.
  partTimes.clear();
  demoEndTime = 0;
  ScriptLoader loader(ignoreFailure);
  loader.setFileReader(readInclude);
  loader.loadText(std::string_view(reinterpret_cast<const char*>(data), size), effects, events);

  // The collecting load resynchronises after every problem: it must always make progress
  // and place each problem on a line of the file it names.
  static EffectList collected(types, ScriptLoader::reportToCollectingLoad);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ScriptLoader collecting(ignoreFailure);
  collecting.setFileReader(readInclude);
  collecting.collect({[&](const ScriptProblem& problem) {
                        const auto included = kIncludes.find(problem.file);
                        const std::string_view file = included != kIncludes.end() ? std::string_view(included->second)
                                                      : problem.file == "script" ? text
                                                                                 : std::string_view();
                        const auto lines = static_cast<int>(std::count(file.begin(), file.end(), '\n')) + 1;
                        if (problem.line < 0 || problem.line > lines) __builtin_trap();
                      },
                      [](int32_t, const std::string&) {}});
  collecting.loadText(text, collected, events);

  // Walk what was built the way a frame would, without drawing.
  for (Effect* effect : effects.effects()) {
    effect->active.evaluateBool(500);
    for (Variable* variable : effect->getVariables()) {
      variable->evaluate(500);
      variable->evaluateString(500);
    }
  }
  while (events.hasDue(0xFFFFFFFFu)) events.takeNext();
  return 0;
}
