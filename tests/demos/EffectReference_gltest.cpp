// The effect-type reference against the types themselves: for every row of the table, what
// --types NAME prints (asked in another letter case) lists exactly the variables an instance
// built by the registry registers, in order, each with its kind and a meaning, and the
// event codes it answers. Built in the sample demo, whose files the types load.
#include "demos/EffectReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "demoSystem/Effect.h"
#include "demos/EffectList.h"
#include "support/SampleDemo.h"

namespace {

struct Printed {
  std::vector<std::string> names, kinds, meanings;
  std::vector<int> codes;
};

// The variable and event lines of `--types NAME`: "  Name (kind, ...): meaning", "  code NAME: ...".
Printed parse(const std::string& text) {
  Printed printed;
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.rfind("  ", 0) != 0) {
      section = line.substr(0, line.find(' '));
      continue;
    }
    if (section == "Variables") {
      const size_t open = line.find(" ("), comma = line.find(',', open), colon = line.find("): ");
      printed.names.push_back(line.substr(2, open - 2));
      printed.kinds.push_back(line.substr(open + 2, comma - open - 2));
      printed.meanings.push_back(colon == std::string::npos ? "" : line.substr(colon + 3));
    } else if (section == "Events" && std::isdigit(static_cast<unsigned char>(line[2]))) {
      printed.codes.push_back(std::stoi(line.substr(2)));
    }
  }
  return printed;
}

class EffectReference : public SampleDemoTest<EffectList>, public testing::WithParamInterface<std::string> {};

TEST_P(EffectReference, PrintsTheVariablesAndEventsAnInstanceRegisters) {
  std::string asked = GetParam();
  for (char& c : asked) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Printed printed = parse(effectTypeDetails(builtInEffectTypes(), asked));

  ASSERT_TRUE(registry.insertEffect("fx", GetParam()));
  const Effect& fx = *registry.findEffect("fx");
  std::vector<std::string> names, kinds;
  for (const Variable* v : fx.getVariables()) {
    if (std::find(names.begin(), names.end(), v->name) != names.end()) continue;  // the loader finds the first
    names.push_back(v->name);
    kinds.push_back(v->kind == Variable::kFloat ? "float" : v->kind == Variable::kBool ? "bool"
                    : v->kind == Variable::kInteger ? "choice" : "string");
  }
  EXPECT_EQ(printed.names, names);
  EXPECT_EQ(printed.kinds, kinds);
  for (size_t i = 0; i < printed.meanings.size(); ++i) EXPECT_NE(printed.meanings[i], "") << printed.names[i];
  std::set<int> codes;
  for (const EffectEventInfo& e : fx.getEvents()) codes.insert(e.code);
  EXPECT_EQ(printed.codes, std::vector<int>(codes.begin(), codes.end()));
  // Base variables and, but for the one type that ignores every event, the base events.
  EXPECT_EQ(printed.names.front(), "Speed");
  EXPECT_EQ(printed.codes.empty(), GetParam() == "PNoise");
}

std::vector<std::string> typeNames() {
  std::vector<std::string> names;
  for (const EffectType& type : builtInEffectTypes()) names.push_back(type.name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(AllTypes, EffectReference, testing::ValuesIn(typeNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(EffectReferenceList, HasOneLineForEachOfTheFortyTwoTypesAndNoDetailsForAnUnknownName) {
  const std::string list = effectTypeList(builtInEffectTypes());
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 42);
  EXPECT_EQ(list.rfind("Scene ", 0), 0u);
  EXPECT_EQ(effectTypeDetails(builtInEffectTypes(), "NoSuchType"), "");
}

}  // namespace
