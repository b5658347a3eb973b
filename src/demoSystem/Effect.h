#pragma once
// The base of every effect type: its keyframed parameters, string tables, local clock,
// beat pattern and blend settings, and the per-frame protocol the timeline runs.
//
// A derived type calls Effect(name), sets patternEnabled when it follows the beat, then
// builds and registers its own variables; it draws in render() and handles its own event
// codes before handing the rest to Effect::handleEvent.

#include <epoxy/gl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "demoSystem/TimelineEvent.h"
#include "demoSystem/Variable.h"

// An event code a type answers, as --types lists it: the script gives the code a name of
// its own with DEFINE; `name` is the one the sample scripts use.
struct EffectEventInfo {
  int32_t code;
  const char* name;
  const char* meaning;
};

class FragmentProgram;
class VertexProgram;
class RenderTarget;

// The last pattern step any effect saw; shared by all effects, so two pattern-following
// effects running together see each other's step changes. 1000 at start.
extern uint32_t lastPatternStep;

// Base event codes.
namespace EffectEvent {
constexpr int32_t kStart = 0;
constexpr int32_t kSetSource = 2;
constexpr int32_t kPulse = 5;
constexpr int32_t kTimeOffset = 19;
constexpr int32_t kVertexProgram = 35;
constexpr int32_t kFragmentProgram = 36;
constexpr int32_t kSpeedLinear = 40;
constexpr int32_t kSpeedEaseIn = 41;
}  // namespace EffectEvent

// The GL blend factor of a BlendSrc / BlendDst code; codes outside 0–10 pass unchanged.
GLenum blendFactorFromCode(uint32_t code);
// The GL blend equation of a BlendEquation code; codes outside 0–2 pass unchanged.
GLenum blendEquationFromCode(uint32_t code);

// How far back an effect's drawing reaches: what a capture that starts late must draw again,
// unseen, for its first frame to show what a whole run shows there (updates are always
// replayed). None: a frame's drawing leaves nothing for the next. SinceStart: what the drawing
// keeps is begun again by a start (event code 0), so drawing from the last start is enough.
// SinceLoad: it is kept from the script load on (a simulation, a field shared by all
// instances, or draws of the process-wide random sequence).
enum class DrawingMemory { None, SinceStart, SinceLoad };

class Effect {
 public:
  explicit Effect(const std::string& name);
  virtual ~Effect();
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  // [SECTION] Virtual operations, in the order derived types override them
  virtual void start(uint32_t time);
  virtual void prepare(uint32_t time);  // never called by the frame
  virtual void update(uint32_t time);
  virtual void onPatternStep(float scaledTime);
  virtual void render(uint32_t time) = 0;
  virtual void handleEvent(const TimelineEvent& event);
  virtual void onStringAdded(int32_t table, const std::string& text, int32_t count);
  // Asked once per replayed frame, so an answer may follow the effect's current settings.
  virtual DrawingMemory drawingMemory() const { return DrawingMemory::None; }

  // [SECTION] Variables and string tables
  void registerVariable(Variable* variable, const std::string& variableName, int32_t table,
                        int32_t kind, const char* meaning = "");
  const std::vector<Variable*>& getVariables() const { return variables; }
  // The registered variable of that exact name, or null.
  Variable* findVariable(const std::string& variableName) const;
  const std::string& getName() const { return name; }

  // The event codes handleEvent answers, said where the type defines them (for --types):
  // the base's, then each derived type's own. A type that answers none of the base codes
  // forgets them first.
  void registerEvent(int32_t code, const char* eventName, const char* meaning);
  void forgetEvents() { events.clear(); }
  const std::vector<EffectEventInfo>& getEvents() const { return events; }

  // Tables 0 and 1000. findString gives 0 (the first entry) for an unknown text or table.
  int32_t findString(int32_t table, const std::string& text) const;
  // Appends, tells onStringAdded and returns the new index; another table id is reported
  // as "Unsupported variable" (not fatal), told with count 0 and gives -1.
  int32_t addString(int32_t table, const std::string& text);
  std::string getString(int32_t table, int32_t index) const;
  void clearStrings(int32_t table);

  // [SECTION] Pattern and blending
  char getPatternValue();
  void setPatternEnabled(bool enabled) { patternEnabled = enabled; }
  GLenum getBlendSrcFactor() const { return blendSrcFactor; }
  GLenum getBlendDstFactor() const { return blendDstFactor; }
  GLenum getBlendEquation() const { return blendEquationMode; }

  // Renders sourceEffect into `target` (cleared to transparent black) with identity
  // matrices and the target's viewport. A null source is a fatal assertion.
  void renderSourceToTarget(RenderTarget* target, uint32_t time);

  // [SECTION] Fields (the frame, the timeline and derived types read them directly)
  Effect* sourceEffect = nullptr;
  BoolVariable active;
  float pulse = 0;
  int32_t timeOffset = 0;
  FragmentProgram* fragmentProgram = nullptr;
  VertexProgram* vertexProgram = nullptr;
  FloatVariable Factor0, Factor1, Factor2, Factor3;
  FloatVariable Speed;
  FloatVariable SpectrumStr;
  uint32_t startTime = 0;
  uint32_t currentTime = 0;
  int32_t localTime = 0;
  float scaledTime = 0;
  float speedFactor = 0;
  bool patternEnabled = false;
  char patternValue = '0';
  uint32_t patternStep = 0;
  bool wasActive = false;
  StringVariable Pattern;
  IntVariable BlendSrc;
  IntVariable BlendDst;
  IntVariable BlendEquation;
  GLenum blendSrcFactor = GL_ONE;
  GLenum blendDstFactor = GL_ZERO;
  GLenum blendEquationMode = GL_FUNC_ADD;

 protected:
  std::vector<Variable*> variables;
  std::vector<EffectEventInfo> events;
  std::string name;
  std::vector<std::string> stringTable0;
  std::vector<std::string> stringTable1000;

 private:
  std::vector<std::string>* table(int32_t id);
  const std::vector<std::string>* table(int32_t id) const;
};
