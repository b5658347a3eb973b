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
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demoSystem/EffectRegistry.h"

class EventList;
class Variable;

// A script file's text with a read position.
struct ScriptText {
  std::string text;
  size_t position = 0;
  std::string name;  // the path it was read from, for problems found in it

  bool atEnd() const { return position >= text.size(); }
  // The 1-based line of a position. Cheap for positions that only move forward.
  int lineAt(size_t at);

  // Where lineAt has counted to, and the line there (kept public so the text stays a plain
  // aggregate: ScriptText{"text", 0}).
  size_t countedTo = 0;
  int countedLines = 1;
};

// A problem found while collecting, at the script file and line of the statement it belongs
// to (or where its reporter placed it: a shader's own line). `caught` marks a fatal report
// made deep inside the statement and caught there.
struct ScriptProblem {
  std::string file;
  int line = 0;
  std::string message;
  bool caught = false;

  // "file:line: message"
  std::string text() const;
  bool operator==(const ScriptProblem& other) const {
    return file == other.file && line == other.line && message == other.message;
  }
};

// How a load collects instead of stopping (see ScriptLoader::collect).
struct ProblemCollection {
  std::function<void(const ScriptProblem&)> sink;
  // Each TRIGGER's event code and quoted text, during its statement: what the event will ask
  // for when it fires (a shader, a picture), for the collector to load now.
  std::function<void(int32_t code, const std::string& text)> triggerText;
};

// A numeric variable the timeline keys, by the names the script used, and where it was
// first keyed (the file and line only while collecting).
struct TimelineKeyedVariable {
  std::string instanceName;
  std::string variableName;
  std::string file;
  int line = 0;
};

// Where the script inserts an instance and switches it on or off (BEGIN, END), for the
// timeline view's rows and the file:line it shows over a bar.
struct ScriptedInsert {
  std::string instanceName;
  std::string typeName;
};
struct ActiveSwitch {
  std::string instanceName;
  uint32_t time = 0;
  bool on = false;
  std::string file;
  int line = 0;
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
  // True once a fatal report was made in the current load (only seen with a recorder or
  // while collecting).
  bool failed() const { return loadFailed; }
  // Every float, bool and integer variable the last load keyed on its timeline, each once,
  // in the order of their first keys.
  const std::vector<TimelineKeyedVariable>& timelineKeyed() const { return keyed; }
  // The last load's INSERT_EFFECTs and its BEGIN and END statements, in script order.
  const std::vector<ScriptedInsert>& inserts() const { return insertList; }
  const std::vector<ActiveSwitch>& activeSwitches() const { return switches; }

  // [SECTION] Collecting every problem (the authoring modes)
  //
  // While a collection is set, a load does not stop at a problem: each report goes to the
  // sink with the file and line of its statement, the statement is abandoned, the rest of
  // its line skipped, and the load goes on with the next line. A fatal report made deep
  // inside a statement (an effect's constructor, a shader compile) is caught the same way.
  // Collecting also finds what a run passes over in silence: an unknown timeline command,
  // a TRIGGER whose event name is not defined, an INIT or TRIGGER for an instance that the
  // finished load does not hold, a timeline string missing from the effect's table.
  // An empty collection (the default) is the fatal-on-first behaviour.
  void collect(ProblemCollection collection);
  bool collecting() const { return static_cast<bool>(collection.sink); }
  // The file and line of the statement being executed (for problems found on its behalf).
  std::pair<std::string, int> statementLocation();
  // A FatalTextReport for the registry a collecting load fills: it reaches the sink of the
  // load running on this thread, at the statement's location (and is the fatal report when
  // no collecting load runs).
  static void reportToCollectingLoad(const char* sourceFile, int line, const char* message,
                                     const char* detail);

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
  // While collecting: a problem the load goes on past, at the statement's location.
  void notice(const std::string& message);
  // While collecting: what a statement that failed leaves to skip.
  void skipRestOfStatement(ScriptText& stream);
  void checkEventTargets();

  // An INIT or TRIGGER as written, kept while collecting: its instance is resolved when the
  // whole script has been read.
  struct EventTarget {
    std::string file;
    int line;
    std::string instanceName;
  };

  FatalTextReport fail;
  ProblemCollection collection;
  ScriptText* currentStream = nullptr;
  size_t statementStart = 0;
  size_t pushedBackStart = 0;
  bool statementFailed = false;
  std::vector<EventTarget> eventTargets;
  std::vector<TimelineKeyedVariable> keyed;
  std::vector<ScriptedInsert> insertList;
  std::vector<ActiveSwitch> switches;
  std::set<std::pair<const Effect*, const Variable*>> keyedSeen;
  std::string rootPath;  // the script file a load began with
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
