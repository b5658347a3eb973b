#include "demos/EffectReference.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <set>

#include "base/Error.h"
#include "demoSystem/Effect.h"

namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A choice is keyed with what the loader multiplies by (choices − 1), so a script writes
// choice k of n as k / (n − 1); a choice without a count is written as the index itself.
void describeChoice(const IntVariable& variable, VariableFacts& facts) {
  const uint32_t n = variable.choiceCount;
  if (variable.stringIndexed) {
    facts.values = "a name its set-up SIGNAL gave (\"file\"), else the index";
    facts.defaultText = number(variable.value);
  } else if (n > 1) {
    facts.values = "0–1: choice k of " + number(n) + " is k/" + number(n - 1);
    facts.defaultText = number(static_cast<double>(variable.value) / (n - 1)) + " (choice " +
                        number(variable.value) + ")";
  } else {
    facts.values = "whole number ≥ 0 (truncated)";
    facts.defaultText = number(variable.value);
  }
}

VariableFacts factsOf(Variable& variable) {
  VariableFacts facts;
  facts.name = variable.name;
  facts.meaning = variable.meaning ? variable.meaning : "";
  facts.stringTable = variable.stringTable == Variable::kNoStringTable ? -1 : variable.stringTable;
  switch (variable.kind) {
    case Variable::kFloat:
      facts.kind = "float";
      facts.defaultText = number(static_cast<FloatVariable&>(variable).value);
      facts.values = "number";
      break;
    case Variable::kBool:
      facts.kind = "bool";
      facts.defaultText = static_cast<BoolVariable&>(variable).value ? "1" : "0";
      facts.values = "0 or 1 (on when > 0)";
      break;
    case Variable::kInteger:
      facts.kind = "choice";
      describeChoice(static_cast<IntVariable&>(variable), facts);
      break;
    default:
      facts.kind = "string";
      facts.defaultText = "\"" + static_cast<StringVariable&>(variable).value + "\"";
      facts.values = variable.isString ? "\"text\"" : "not keyed by a SIGNAL (the loader keys text only where a type asks)";
      break;
  }
  return facts;
}

struct EventRow {
  int32_t code;
  std::string name;
  std::string meaning;
};

struct TypeFacts {
  std::string unbuilt;  // why no instance could be built here (a file it loads is missing)
  std::vector<VariableFacts> variables;
  std::vector<EventRow> events;
};

TypeFacts factsOf(const EffectType& type) {
  TypeFacts facts;
  if (!type.create) return facts;
  std::unique_ptr<Effect> instance;
  if (const auto report = catchFatalReports([&] { instance.reset(type.create("fx")); })) {
    facts.unbuilt = report->message;
    return facts;
  }
  facts.variables = variableFacts(*instance);
  // A derived type's answer to a base code comes after the base's: one row per code.
  for (const EffectEventInfo& event : instance->getEvents()) {
    auto same = std::find_if(facts.events.begin(), facts.events.end(),
                             [&](const EventRow& e) { return e.code == event.code; });
    if (same == facts.events.end()) facts.events.push_back({event.code, event.name, event.meaning});
    else same->meaning += "; " + std::string(event.meaning);
  }
  std::stable_sort(facts.events.begin(), facts.events.end(),
                   [](const EventRow& a, const EventRow& b) { return a.code < b.code; });
  return facts;
}

const EffectType* findType(std::span<const EffectType> types, const std::string& name) {
  for (const EffectType& type : types)
    if (lower(type.name) == lower(name)) return &type;
  return nullptr;
}

std::string setupLine(const VariableFacts& v) {
  return "SIGNAL <instance> " + v.name + " \"file\" (string table " + number(v.stringTable) + "): " + v.meaning;
}

}  // namespace

std::vector<VariableFacts> variableFacts(Effect& effect) {
  std::vector<VariableFacts> out;
  std::set<std::string> seen;
  for (Variable* variable : effect.getVariables())
    if (seen.insert(variable->name).second) out.push_back(factsOf(*variable));
  return out;
}

std::string effectTypeList(std::span<const EffectType> types) {
  std::string text;
  for (const EffectType& type : types) {
    char line[256];
    std::snprintf(line, sizeof line, "%-18s %s\n", type.name, type.description ? type.description : "");
    text += line;
  }
  return text;
}

std::string effectTypeDetails(std::span<const EffectType> types, const std::string& name) {
  const EffectType* type = findType(types, name);
  if (!type) return {};
  const TypeFacts facts = factsOf(*type);
  std::string text = std::string(type->name) + ": " + type->description + "\n";
  if (!facts.unbuilt.empty()) return text + "\nNot built here (" + facts.unbuilt + "): run it where the demo's data is.\n";
  text += "\nVariables (<time> SIGNAL <instance> <Name> <value>):\n";
  for (const VariableFacts& v : facts.variables)
    text += "  " + v.name + " (" + v.kind + ", default " + v.defaultText + ", " + v.values + "): " + v.meaning + "\n";
  text += "\nEvents (DEFINE <NAME> <code>, then <time> TRIGGER <instance> <NAME> <value> [\"text\"]):\n";
  if (facts.events.empty()) text += "  none: every event is ignored\n";
  for (const EventRow& e : facts.events)
    text += "  " + number(e.code) + " " + e.name + ": " + e.meaning + "\n";
  text += "\nSIGNAL strings read at set-up (between __SETUP__ and __TIMELINE__):\n";
  bool any = false;
  for (const VariableFacts& v : facts.variables)
    if (v.stringTable >= 0) {
      text += "  " + setupLine(v) + "\n";
      any = true;
    }
  if (!any) text += "  none\n";
  return text;
}

std::string effectTypeReference(std::span<const EffectType> types) {
  std::string text =
      "# Effect types\n\n"
      "Generated by `demoengine --types --markdown` from the code that defines the types; do not edit by hand.\n"
      "A script inserts a type with `INSERT_EFFECT <Type> AS <instance>`. `SIGNAL` keys a variable in the\n"
      "timeline section (choices run 0–1 over their choices); `TRIGGER` sends an event code the script has\n"
      "named with `DEFINE`; set-up `SIGNAL`s with a quoted file name add it to the instance's string table.\n\n";
  for (const EffectType& type : types) text += std::string("- [") + type.name + "](#" + lower(type.name) + "): " + type.description + "\n";
  for (const EffectType& type : types) {
    const TypeFacts facts = factsOf(type);
    text += std::string("\n## ") + type.name + "\n\n" + type.description + "\n\n";
    if (!facts.unbuilt.empty()) {
      text += "Not built (" + facts.unbuilt + ").\n";
      continue;
    }
    text += "| Variable | Kind | Default | Values | Meaning |\n|---|---|---|---|---|\n";
    for (const VariableFacts& v : facts.variables)
      text += "| `" + v.name + "` | " + v.kind + " | " + v.defaultText + " | " + v.values + " | " + v.meaning + " |\n";
    text += "\n";
    if (facts.events.empty()) {
      text += "Events: none (every event is ignored).\n";
    } else {
      text += "| Event code | Usual name | What it does |\n|---|---|---|\n";
      for (const EventRow& e : facts.events)
        text += "| " + number(e.code) + " | `" + e.name + "` | " + e.meaning + " |\n";
    }
    bool any = false;
    for (const VariableFacts& v : facts.variables)
      if (v.stringTable >= 0) {
        if (!any) text += "\nSet-up strings:\n\n";
        text += "- `" + setupLine(v) + "`\n";
        any = true;
      }
  }
  return text;
}
