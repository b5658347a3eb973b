#pragma once
// The demo script: tokens, comments, sections, INCLUDE, DEFINE constants, time expressions
// and value texts, and the statements that fill the effect registry and the event list.
//
// One loader lives for the whole process (see Timeline.h); what it holds between loads
// (the time offset, the held start, end and beat) therefore survives a reload.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "demoSystem/EffectRegistry.h"

class EventList;

// A script file's text with a read position.
struct ScriptText {
  std::string text;
  size_t position = 0;

  bool atEnd() const { return position >= text.size(); }
};

class ScriptLoader {
 public:
  // Longest rest-of-line read (comment and value text), longest quoted string, and the
  // INCLUDE nesting at which a script that includes itself is stopped.
  static constexpr size_t kMaxLineRead = 199;
  static constexpr size_t kMaxStringLength = 99;
  static constexpr int kMaxIncludeDepth = 64;

  // Reads an included file's bytes into `text`; false when it cannot be read.
  using FileReader = std::function<bool(const std::string& path, std::string& text)>;

  // `fail` receives every fatal script report (detail null for a plain message); the
  // default ends the process. With a recorder instead, the load stops at the failure.
  explicit ScriptLoader(FatalTextReport fail = reportFatalText);

  // Empties the registry, the events and the definitions, parses the script file and
  // its includes, compacts every variable, publishes the demo start, end and beat, and
  // sorts the events.
  void load(const char* path, EffectRegistry& effects, EventList& events);
  // The same for a script held in memory (included files are still read from `readFile`).
  void loadText(std::string_view script, EffectRegistry& effects, EventList& events);

  // Where included files come from: the data archive (or the disk before it is open).
  void setFileReader(FileReader reader) { readFile = std::move(reader); }
  // True once a fatal report was made in the current load (only seen with a recorder).
  bool failed() const { return loadFailed; }

  // [SECTION] The lexical level, usable on its own
  static std::string readToken(ScriptText& stream);
  int32_t readTimeExpression(const std::string& firstToken, ScriptText& stream);
  int32_t readTimeTerm(const std::string& token);
  int32_t lookupDefine(const std::string& name);
  // Fills `value` (unchanged without a number) and `string` (unchanged without a quoted
  // string) and appends the extra numbers to extraValues.
  void parseValueText(const std::string& text, float& value, std::string& string);

  // [SECTION] State
  std::map<std::string, int32_t> defines;
  std::string pushedBackToken;
  bool hasPushedBack = false;
  bool headerSeen = false;
  bool defsSeen = false;
  bool setupSeen = false;
  bool timelineSeen = false;
  int32_t scriptTimeOffset = 0;  // kept across loads
  std::deque<float> extraValues;
  // DEMO_START, DEMO_END and DEMO_BEAT as last read; a script that omits one keeps the
  // previous load's value.
  int32_t heldStartTime = 0;
  int32_t heldEndTime = 60000;
  int32_t heldBeat = 100;

 private:
  void beginLoad(EffectRegistry& effects, EventList& events);
  void finishLoad();
  bool openScriptText(const std::string& path, ScriptText& stream);
  void parse(ScriptText& stream, int depth);
  // False when the statement ends the current file (__LINETIME__).
  bool executeStatement(const std::string& keyword, ScriptText& stream, int depth);
  void include(ScriptText& stream, int depth);
  void define(ScriptText& stream);
  void insertEffect(ScriptText& stream);
  void timelineStatement(const std::string& firstToken, ScriptText& stream);
  void signal(uint32_t time, const std::string& instanceName, ScriptText& stream);
  void trigger(uint32_t time, const std::string& instanceName, ScriptText& stream);
  Effect* requireEffect(const std::string& instanceName);
  // The value text of SIGNAL and TRIGGER: the rest of the line, newline consumed.
  bool readValueLine(ScriptText& stream, std::string& line);
  void report(const char* sourceFile, int line, const char* message, const char* detail);

  FatalTextReport fail;
  FileReader readFile;
  EffectRegistry* effects = nullptr;
  EventList* events = nullptr;
  bool loadFailed = false;
};

// Every quoted name in the script file and in the files it includes (INCLUDE followed, each
// file once, as deep as a load would go), in the order they appear: what loading the script
// is likely to read, for reading pictures ahead. Comments are not told apart; a name in a
// comment is only read ahead in vain.
std::vector<std::string> quotedNamesInScript(const std::string& path);
