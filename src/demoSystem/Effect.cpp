#include "demoSystem/Effect.h"

#include "base/Error.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/EffectRegistry.h"
#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "resources/RenderTarget.h"

uint32_t lastPatternStep = 1000;

namespace {

constexpr int32_t kTable0 = 0;
constexpr int32_t kTable1000 = 1000;

}  // namespace

// [SECTION] Blend codes

GLenum blendFactorFromCode(uint32_t code) {
  static const GLenum factors[] = {
      GL_ZERO,      GL_ONE,       GL_SRC_COLOR,           GL_ONE_MINUS_SRC_COLOR,
      GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
      GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
  return code < std::size(factors) ? factors[code] : static_cast<GLenum>(code);
}

GLenum blendEquationFromCode(uint32_t code) {
  static const GLenum equations[] = {GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT};
  return code < std::size(equations) ? equations[code] : static_cast<GLenum>(code);
}

// [SECTION] Construction

Effect::Effect(const std::string& instanceName) : name(instanceName) {
  active.name = instanceName;
  for (FloatVariable* factor : {&Factor0, &Factor1, &Factor2, &Factor3})
    factor->interpolation = Variable::kEaseIn;
  Speed.value = 0.5f;
  Pattern.value = "1000";
  BlendSrc.value = 1;
  BlendDst.value = 0;
  BlendEquation.value = 0;

  const int32_t none = Variable::kNoStringTable;
  registerVariable(&Speed, "Speed", none, Variable::kFloat, "rate of the local clock: scaled time = Speed × 0.2 × ms since INIT");
  registerVariable(&SpectrumStr, "SpectrumStr", none, Variable::kFloat, "scales the pulse of event 5 (music-reactive kick)");
  registerVariable(&Pattern, "Pattern", none, Variable::kString, "beat pattern of pattern-following types, one character per DEMO_BEAT step");
  registerVariable(&Factor0, "Factor0", none, Variable::kFloat, "free parameter 0 (handed to the fragment program's factors where the type does)");
  registerVariable(&Factor1, "Factor1", none, Variable::kFloat, "free parameter 1");
  registerVariable(&Factor2, "Factor2", none, Variable::kFloat, "free parameter 2");
  registerVariable(&Factor3, "Factor3", none, Variable::kFloat, "free parameter 3");
  registerVariable(&BlendSrc, "BlendSrc", none, Variable::kInteger, "blend source factor code: 0 ZERO, 1 ONE, 2 SRC_COLOR, 3 1-SRC_COLOR, 4 SRC_ALPHA, 5 1-SRC_ALPHA, 6 DST_ALPHA, 7 1-DST_ALPHA, 8 DST_COLOR, 9 1-DST_COLOR, 10 SRC_ALPHA_SATURATE");
  registerVariable(&BlendDst, "BlendDst", none, Variable::kInteger, "blend destination factor code (as BlendSrc)");
  registerVariable(&BlendEquation, "BlendEquation", none, Variable::kInteger, "blend equation code: 0 add, 1 subtract, 2 reverse subtract");

  registerEvent(EffectEvent::kStart, "INIT", "restarts the local clock (also the INIT statement)");
  registerEvent(EffectEvent::kSetSource, "SOURCE", "takes the instance named by the text as the source it draws");
  registerEvent(EffectEvent::kPulse, "PULSE", "pulse = SpectrumStr × value");
  registerEvent(EffectEvent::kTimeOffset, "TIME_OFFSET", "local clock offset = value ms");
  registerEvent(EffectEvent::kVertexProgram, "VERTEX_PROGRAM", "loads the vertex program file named by the text");
  registerEvent(EffectEvent::kFragmentProgram, "FRAGMENT_PROGRAM", "loads the fragment program file named by the text");
  registerEvent(EffectEvent::kSpeedLinear, "SPEED_LINEAR", "Speed keys interpolate linearly");
  registerEvent(EffectEvent::kSpeedEaseIn, "SPEED_EASE_IN", "Speed keys ease in");
}

// The variables are members of the effect; only the list of pointers goes.
Effect::~Effect() = default;

void Effect::registerVariable(Variable* variable, const std::string& variableName, int32_t table,
                              int32_t kind, const char* meaning) {
  variable->name = variableName;
  variable->meaning = meaning;
  variable->stringTable = table;
  variable->kind = kind;
  variables.push_back(variable);
}

void Effect::registerEvent(int32_t code, const char* eventName, const char* meaning) {
  events.push_back({code, eventName, meaning});
}

Variable* Effect::findVariable(const std::string& variableName) const {
  for (Variable* variable : variables)
    if (variable->name == variableName) return variable;
  return nullptr;
}

// [SECTION] Virtual operations

void Effect::start(uint32_t time) {
  startTime = currentTime = time;
  localTime = 0;
  scaledTime = 0;
}

void Effect::prepare(uint32_t) {}

void Effect::update(uint32_t time) {
  speedFactor = Speed.evaluate(time) * 0.2f;
  currentTime = time;
  localTime = static_cast<int32_t>(time - startTime - static_cast<uint32_t>(timeOffset));
  // The local time counts as unsigned here: a time before the start is a huge positive one.
  const uint32_t local = static_cast<uint32_t>(localTime);
  scaledTime = speedFactor * static_cast<float>(local);

  if (patternEnabled) {
    const std::string pattern = Pattern.evaluateString(time);
    if (pattern.empty()) {
      patternStep = 0;
    } else {
      const uint32_t stepLength = patternStepLength != 0 ? patternStepLength : 1;
      patternStep = static_cast<uint32_t>((local / stepLength) % pattern.size());
    }
    if (patternStep != lastPatternStep) {
      lastPatternStep = patternStep;
      onPatternStep(scaledTime);
    }
    if (!pattern.empty()) patternValue = pattern[patternStep];
  }

  blendEquationMode = blendEquationFromCode(BlendEquation.evaluateInt(time));
  blendSrcFactor = blendFactorFromCode(BlendSrc.evaluateInt(time));
  blendDstFactor = blendFactorFromCode(BlendDst.evaluateInt(time));
}

void Effect::onPatternStep(float) {}

void Effect::handleEvent(const TimelineEvent& event) {
  switch (event.code) {
    case EffectEvent::kStart:
      start(event.time);
      break;
    case EffectEvent::kSetSource:
      sourceEffect = effectRegistry ? effectRegistry->findEffect(event.text) : nullptr;
      break;
    case EffectEvent::kPulse:
      pulse = SpectrumStr.evaluate(event.time) * event.value;
      break;
    case EffectEvent::kTimeOffset:
      timeOffset = static_cast<int32_t>(truncateToUnsigned(event.value));
      break;
    case EffectEvent::kVertexProgram:
      vertexProgram = getVertexProgram(event.text);
      break;
    case EffectEvent::kFragmentProgram:
      fragmentProgram = getFragmentProgram(event.text);
      break;
    case EffectEvent::kSpeedLinear:
      Speed.interpolation = Variable::kLinear;
      break;
    case EffectEvent::kSpeedEaseIn:
      Speed.interpolation = Variable::kEaseIn;
      break;
    default:
      break;  // unknown codes are ignored
  }
}

void Effect::onStringAdded(int32_t, const std::string&, int32_t) {}

// [SECTION] String tables

std::vector<std::string>* Effect::table(int32_t id) {
  if (id == kTable0) return &stringTable0;
  if (id == kTable1000) return &stringTable1000;
  return nullptr;
}

const std::vector<std::string>* Effect::table(int32_t id) const {
  return const_cast<Effect*>(this)->table(id);
}

int32_t Effect::findString(int32_t tableId, const std::string& text) const {
  const std::vector<std::string>* strings = table(tableId);
  if (!strings) return 0;
  for (size_t i = 0; i < strings->size(); ++i)
    if ((*strings)[i] == text) return static_cast<int32_t>(i);
  return 0;
}

int32_t Effect::addString(int32_t tableId, const std::string& text) {
  std::vector<std::string>* strings = table(tableId);
  if (!strings) {
    reportError(DE_HERE, "Unsupported variable", false);
    onStringAdded(tableId, text, 0);
    return -1;
  }
  strings->push_back(text);
  const auto count = static_cast<int32_t>(strings->size());
  onStringAdded(tableId, text, count);
  return count - 1;
}

std::string Effect::getString(int32_t tableId, int32_t index) const {
  const std::vector<std::string>* strings = table(tableId);
  if (!strings || index < 0 || static_cast<size_t>(index) >= strings->size()) return "";
  return (*strings)[static_cast<size_t>(index)];
}

void Effect::clearStrings(int32_t tableId) {
  std::vector<std::string>* strings = table(tableId);
  if (!strings) {
    reportError(DE_HERE, "Unsupported variable", false);
    return;
  }
  strings->clear();
}

// [SECTION] Pattern

char Effect::getPatternValue() {
  if (!patternEnabled)
    reportError(DE_HERE, "pattern value retrieved when patternEnabled is false", false);
  return patternValue;
}

// [SECTION] Rendering another effect into a target

void Effect::renderSourceToTarget(RenderTarget* target, uint32_t time) {
  assertNotNull(sourceEffect, DE_HERE);
  target->bind();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, target->getWidth(), target->getHeight());
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  sourceEffect->update(time);
  sourceEffect->render(time);
  target->unbind();
}
