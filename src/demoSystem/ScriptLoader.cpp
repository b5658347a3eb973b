#include "demoSystem/ScriptLoader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <optional>
#include <tuple>

#include "archive/vkd.h"
#include "base/Error.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/Effect.h"
#include "demoSystem/TimelineEvent.h"

namespace {

bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The comment form of the rest-of-line read: up to 199 characters, the newline stays for
// the next token read to skip. Nothing at all before the newline reads nothing and the
// parser simply goes on with the next line.
void skipCommentRest(ScriptText& stream) {
  size_t taken = 0;
  while (!stream.atEnd() && stream.text[stream.position] != '\n' &&
         taken < ScriptLoader::kMaxLineRead) {
    ++stream.position;
    ++taken;
  }
}

// A decimal number as a C++ stream reads a float: leading white space, optional sign,
// digits with an optional fraction, optional exponent. False (position unchanged) when no
// digit is found.
bool readNumber(const std::string& text, size_t& position, float& out) {
  size_t p = position;
  while (p < text.size() && isWhiteSpace(text[p])) ++p;
  const size_t start = p;
  if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
  size_t digits = 0;
  while (p < text.size() && isDigit(text[p])) ++p, ++digits;
  if (p < text.size() && text[p] == '.') {
    ++p;
    while (p < text.size() && isDigit(text[p])) ++p, ++digits;
  }
  if (digits == 0) return false;
  if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
    size_t q = p + 1;
    if (q < text.size() && (text[q] == '-' || text[q] == '+')) ++q;
    if (q < text.size() && isDigit(text[q])) {
      while (q < text.size() && isDigit(text[q])) ++q;
      p = q;
    }
  }
  out = std::strtof(text.substr(start, p - start).c_str(), nullptr);
  position = p;
  return true;
}

// Nothing but white space left: a blank at the end of a value text ends it instead of
// starting another (empty, hence undefined) name.
bool onlyWhiteSpaceFrom(const std::string& text, size_t position) {
  for (size_t i = position; i < text.size(); ++i)
    if (!isWhiteSpace(text[i])) return false;
  return true;
}

bool readArchiveFile(const std::string& path, std::string& text) {
  MemoryFile* file = loadFile(path.c_str());
  if (!file) return false;
  text.assign(reinterpret_cast<const char*>(file->data), file->size);
  closeFile(file);
  return true;
}

// The collecting load running on this thread, which reportToCollectingLoad reaches.
thread_local ScriptLoader* collectingLoad = nullptr;

// Restores the thread's collecting load when a (nested) load ends.
class CollectingScope {
 public:
  explicit CollectingScope(ScriptLoader* loader) : previous(collectingLoad) {
    if (loader->collecting()) collectingLoad = loader;
  }
  ~CollectingScope() { collectingLoad = previous; }
  CollectingScope(const CollectingScope&) = delete;
  CollectingScope& operator=(const CollectingScope&) = delete;

 private:
  ScriptLoader* previous;
};

}  // namespace

int ScriptText::lineAt(size_t at) {
  at = std::min(at, text.size());
  if (at < countedTo) {
    countedTo = 0;
    countedLines = 1;
  }
  countedLines += static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(countedTo),
                                              text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
  countedTo = at;
  return countedLines;
}

std::string ScriptProblem::text() const { return file + ":" + std::to_string(line) + ": " + message; }

ScriptLoader::ScriptLoader(FatalTextReport fail) : fail(fail), readFile(readArchiveFile) {}

void ScriptLoader::collect(ProblemCollection newCollection) { collection = std::move(newCollection); }

std::pair<std::string, int> ScriptLoader::statementLocation() {
  if (!currentStream) return {rootPath, 0};
  return {currentStream->name, currentStream->lineAt(statementStart)};
}

void ScriptLoader::reportToCollectingLoad(const char* sourceFile, int line, const char* message,
                                          const char* detail) {
  if (collectingLoad) collectingLoad->report(sourceFile, line, message, detail);
  else reportFatalText(sourceFile, line, message, detail);
}

void ScriptLoader::report(const char* sourceFile, int line, const char* message,
                          const char* detail) {
  loadFailed = true;
  statementFailed = true;
  if (!collecting()) {
    fail(sourceFile, line, message, detail);
    return;
  }
  std::string text = message ? message : "";
  if (detail) text += std::string(": ") + detail;
  const auto [file, at] = statementLocation();
  collection.sink({file, at, std::move(text), false});
}

void ScriptLoader::notice(const std::string& message) {
  const auto [file, at] = statementLocation();
  collection.sink({file, at, message, false});
}

void ScriptLoader::skipRestOfStatement(ScriptText& stream) {
  pushedBackToken.clear();
  hasPushedBack = false;
  // A value text takes its newline with it; otherwise the line's rest goes.
  if (stream.position == 0 || stream.position > stream.text.size() ||
      stream.text[stream.position - 1] == '\n')
    return;
  const size_t newline = stream.text.find('\n', stream.position);
  stream.position = newline == std::string::npos ? stream.text.size() : newline + 1;
}

// [SECTION] Loading

void ScriptLoader::beginLoad(EffectRegistry& effectList, EventList& eventList) {
  effects = &effectList;
  events = &eventList;
  effects->clear();
  events->clear();
  defines.clear();
  headerSeen = defsSeen = setupSeen = timelineSeen = false;
  extraValues.clear();
  pushedBackToken.clear();
  hasPushedBack = false;
  loadFailed = false;
  statementFailed = false;
  currentStream = nullptr;
  eventTargets.clear();
  keyed.clear();
  keyedSeen.clear();
  insertList.clear();
  switches.clear();
}

void ScriptLoader::finishLoad() {
  if (collecting()) checkEventTargets();
  for (Effect* effect : effects->effects()) {
    effect->active.compact();
    for (Variable* variable : effect->getVariables()) variable->compact();
  }
  patternStepLength = static_cast<uint32_t>(heldBeat);
  playbackEndTime = static_cast<uint32_t>(heldEndTime);
  demoStartTime = static_cast<uint32_t>(heldStartTime);
  events->sortByTime();
}

void ScriptLoader::load(const char* path, EffectRegistry& effectList, EventList& eventList) {
  CollectingScope scope(this);
  beginLoad(effectList, eventList);
  rootPath = path ? path : "";
  ScriptText stream;
  if (openScriptText(rootPath, stream)) parse(stream, 0);
  finishLoad();
}

void ScriptLoader::loadText(std::string_view script, EffectRegistry& effectList, EventList& eventList) {
  CollectingScope scope(this);
  beginLoad(effectList, eventList);
  rootPath = "script";
  ScriptText stream;
  stream.text = std::string(script);
  stream.name = rootPath;
  parse(stream, 0);
  finishLoad();
}

bool ScriptLoader::openScriptText(const std::string& path, ScriptText& stream) {
  stream.position = 0;
  stream.name = path;
  if (readFile(path, stream.text)) return true;
  // The normal report has no name: it is the one the player has always shown.
  report(DE_HERE, "script: could not open file for parsing", collecting() ? path.c_str() : nullptr);
  return false;
}

// [SECTION] Tokens and statement start

std::string ScriptLoader::readToken(ScriptText& stream) {
  const std::string& text = stream.text;
  size_t p = stream.position;
  while (p < text.size() && isWhiteSpace(text[p])) ++p;
  const size_t start = p;
  while (p < text.size() && !isWhiteSpace(text[p])) ++p;
  stream.position = p;
  return text.substr(start, p - start);
}

void ScriptLoader::parse(ScriptText& stream, int depth) {
  // A block comment belongs to its file: one left open ends with the file.
  bool inBlockComment = false;
  ScriptText* const outerStream = currentStream;
  currentStream = &stream;
  while (!statementFailed || collecting()) {
    std::string token;
    size_t start = 0;
    if (hasPushedBack) {
      token = std::move(pushedBackToken);
      start = pushedBackStart;
      pushedBackToken.clear();
      hasPushedBack = false;
    } else {
      if (stream.atEnd()) break;
      token = readToken(stream);
      start = stream.position - token.size();
    }
    if (token.empty()) continue;

    if (inBlockComment) {
      const size_t close = token.find("*/");
      if (close == std::string::npos) continue;
      inBlockComment = false;
      token.erase(0, close + 2);
      start += close + 2;
      if (token.empty()) continue;
    }
    // An opening marker anywhere in a token opens the comment, and the rest of the line
    // goes with it even when it holds the closing marker: only a later token closes it.
    if (token.find("/*") != std::string::npos) {
      inBlockComment = true;
      skipCommentRest(stream);
      continue;
    }
    const size_t slashes = token.find("//");
    if (slashes != std::string::npos && slashes <= 2) {
      skipCommentRest(stream);
      continue;
    }
    statementStart = start;
    if (!collecting()) {
      if (!executeStatement(token, stream, depth)) break;
      continue;
    }
    statementFailed = false;
    bool goOn = true;
    const std::optional<FatalReport> caught =
        catchFatalReports([&] { goOn = executeStatement(token, stream, depth); });
    currentStream = &stream;
    if (caught) {
      loadFailed = statementFailed = true;
      const auto [file, at] = statementLocation();
      collection.sink({file, at, caught->message, true});
    }
    if (statementFailed) skipRestOfStatement(stream);
    if (!goOn) break;
  }
  currentStream = outerStream;
}

// [SECTION] Statements

bool ScriptLoader::executeStatement(const std::string& keyword, ScriptText& stream, int depth) {
  if (keyword == "__HEADER__") {
    headerSeen = true;
  } else if (keyword == "__DEFS__") {
    defsSeen = true;
  } else if (keyword == "__SETUP__") {
    setupSeen = true;
  } else if (keyword == "__TIMELINE__") {
    timelineSeen = true;
  } else if (keyword == "__LINETIME__") {
    return false;
  } else if (keyword == "DEMO_START") {
    heldStartTime = readTimeExpression(readToken(stream), stream);
  } else if (keyword == "DEMO_END") {
    heldEndTime = readTimeExpression(readToken(stream), stream);
    demoEndTime = static_cast<uint32_t>(heldEndTime);
  } else if (keyword == "DEMO_BEAT") {
    heldBeat = readTimeExpression(readToken(stream), stream);
  } else if (keyword == "DEMO_FULLSCREEN" || keyword == "DEMO_MUSIC") {
    readToken(stream);  // the launch settings decide these
  } else if (keyword == "DEFINE") {
    define(stream);
  } else if (keyword == "DEFINE_DEMO_PART") {
    const auto time = static_cast<uint32_t>(readTimeTerm(readToken(stream)));
    auto at = partTimes.begin();
    while (at != partTimes.end() && *at < time) ++at;
    if (at == partTimes.end() || *at != time) partTimes.insert(at, time);
  } else if (keyword == "INCLUDE") {
    include(stream, depth);
  } else if (keyword == "INSERT_EFFECT") {
    insertEffect(stream);
  } else if (keyword == "TIMEOFFSET") {
    scriptTimeOffset = readTimeExpression(readToken(stream), stream);
  } else {
    timelineStatement(keyword, stream);
  }
  return true;
}

void ScriptLoader::include(ScriptText& stream, int depth) {
  const std::string quoted = readToken(stream);
  // The quotes are whatever the first and last characters are.
  const std::string path = quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : "";
  if (depth + 1 >= kMaxIncludeDepth) {
    report(DE_HERE, "script: INCLUDE nested too deeply", path.c_str());
    return;
  }
  ScriptText included;
  if (!openScriptText(path, included)) return;
  parse(included, depth + 1);
  // What failed in there was skipped in there: the INCLUDE line itself is done.
  if (collecting()) statementFailed = false;
}

void ScriptLoader::define(ScriptText& stream) {
  const std::string name = readToken(stream);
  const int32_t value = readTimeExpression(readToken(stream), stream);
  if (!name.empty() && isDigit(name[0])) {
    report(DE_HERE, "DEFINE id cannot start with digit", name.c_str());
    return;
  }
  defines.emplace(name, value);  // an existing name keeps its first value
}

void ScriptLoader::insertEffect(ScriptText& stream) {
  const std::string typeName = readToken(stream);
  const std::string as = readToken(stream);
  const std::string instanceName = readToken(stream);
  if (as != "AS" && as != "as") {
    report(DE_HERE, "Syntax error in INSERT_EFFECT command", nullptr);
    return;
  }
  if (!effects->insertEffect(instanceName, typeName)) loadFailed = statementFailed = true;
  else insertList.push_back({instanceName, typeName});
}

Effect* ScriptLoader::requireEffect(const std::string& instanceName) {
  Effect* effect = effects->findEffect(instanceName);
  if (!effect) report(DE_HERE, "Effect not found", instanceName.c_str());
  return effect;
}

void ScriptLoader::timelineStatement(const std::string& firstToken, ScriptText& stream) {
  const int32_t expression = readTimeExpression(firstToken, stream);
  if (statementFailed) return;
  const uint32_t time = static_cast<uint32_t>(expression) + static_cast<uint32_t>(scriptTimeOffset);
  // The expression always reads one token ahead: that token is the command.
  const std::string command = std::move(pushedBackToken);
  pushedBackToken.clear();
  hasPushedBack = false;
  const std::string instanceName = readToken(stream);

  if (command == "SET_LAYER" || command == "l") {
    readToken(stream);  // drawing order is insertion order
  } else if (command == "BEGIN" || command == "b" || command == "END" || command == "e") {
    const bool on = command == "BEGIN" || command == "b";
    if (Effect* effect = requireEffect(instanceName)) {
      effect->active.setKey(on ? 1 : 0, time);
      const auto [file, line] = statementLocation();
      switches.push_back({instanceName, time, on, file, line});
    }
  } else if (command == "INIT" || command == "i") {
    TimelineEvent event;
    event.time = time;
    event.effectName = instanceName;
    events->append(std::move(event));
    if (collecting()) {
      const auto [file, at] = statementLocation();
      eventTargets.push_back({file, at, instanceName});
    }
  } else if (command == "SIGNAL" || command == "s") {
    signal(time, instanceName, stream);
  } else if (command == "TRIGGER" || command == "t") {
    trigger(time, instanceName, stream);
  } else if (collecting()) {
    // A run drops the statement without a word; a misspelt command is worth one.
    notice(command.empty() ? "a time without a command (the statement is dropped)"
                           : "unknown timeline command: " + command + " (the statement is dropped)");
  }
}

void ScriptLoader::signal(uint32_t time, const std::string& instanceName, ScriptText& stream) {
  const std::string variableName = readToken(stream);
  std::string line;
  float v = 0;
  std::string s;
  const bool read = readValueLine(stream, line);
  // Extra numbers on a SIGNAL line are never an event's parameters.
  if (read) parseValueText(line, v, s);
  extraValues.clear();
  if (statementFailed) return;

  Effect* effect = requireEffect(instanceName);
  if (!effect) return;
  Variable* variable = effect->findVariable(variableName);
  if (!variable) {
    report(DE_HERE, "Variable not found", variableName.c_str());
    return;
  }
  if (variable->isString) {
    variable->setStringKey(s, time);
  } else if (!s.empty()) {
    if (timelineSeen) {
      const int32_t index = effect->findString(variable->stringTable, s);
      if (collecting() && effect->getString(variable->stringTable, index) != s)
        notice("not in the string table of " + instanceName + ": " + s + " (index 0 is keyed)");
      v = static_cast<float>(index);
    } else if (setupSeen) {
      v = static_cast<float>(effect->addString(variable->stringTable, s));
    } else {
      if (collecting()) notice("a text before __SETUP__ and __TIMELINE__ does nothing: " + s);
      return;
    }
  }
  if (!timelineSeen) return;
  // Timeline numbers of a choice run from 0 to 1 over its choices; a text names its choice
  // by index already.
  if (variable->choiceCount > 1 && s.empty()) v *= static_cast<float>(variable->choiceCount - 1);
  variable->setKey(v, time);
  if (variable->kind != Variable::kString && keyedSeen.insert({effect, variable}).second) {
    TimelineKeyedVariable first{instanceName, variableName, "", 0};
    if (collecting()) std::tie(first.file, first.line) = statementLocation();
    keyed.push_back(std::move(first));
  }
}

void ScriptLoader::trigger(uint32_t time, const std::string& instanceName, ScriptText& stream) {
  const std::string eventName = readToken(stream);
  std::string line;
  float v = 0;
  std::string s;
  if (readValueLine(stream, line)) parseValueText(line, v, s);
  const auto defined = defines.find(eventName);
  if (collecting() && !statementFailed && defined == defines.end())
    notice("TRIGGER event not defined: " + eventName + " (the event is dropped)");
  if (!statementFailed && defined != defines.end()) {
    TimelineEvent event;
    event.time = time;
    event.effectName = instanceName;
    event.code = defined->second;
    event.value = v;
    event.text = s;
    event.params[0] = v;
    for (size_t i = 1; i < 3 && !extraValues.empty(); ++i) {
      event.params[i] = extraValues.front();
      extraValues.pop_front();
    }
    events->append(std::move(event));
    if (collecting()) {
      const auto [file, at] = statementLocation();
      eventTargets.push_back({file, at, instanceName});
      if (collection.triggerText && !s.empty()) collection.triggerText(defined->second, s);
    }
  }
  // Numbers left over (or of a dropped TRIGGER) never reach a later event.
  extraValues.clear();
}

void ScriptLoader::checkEventTargets() {
  for (const EventTarget& target : eventTargets)
    if (!effects->findEffect(target.instanceName))
      collection.sink({target.file, target.line,
                       "Effect not found: " + target.instanceName + " (the event is never delivered)", false});
}

// [SECTION] Time expressions

int32_t ScriptLoader::readTimeTerm(const std::string& token) {
  // atoi as the C library has it: strtol, then the conversion to int.
  const auto value = static_cast<int32_t>(std::strtol(token.c_str(), nullptr, 10));
  if (value == 0 && (token.empty() || token[0] != '0')) return lookupDefine(token);
  return value;
}

int32_t ScriptLoader::lookupDefine(const std::string& name) {
  const auto found = defines.find(name);
  if (found != defines.end()) return found->second;
  report(DE_HERE, "DEFINE not found", name.c_str());
  return 0;
}

int32_t ScriptLoader::readTimeExpression(const std::string& firstToken, ScriptText& stream) {
  // No precedence: each operator applies to everything before it. 32-bit wrap-around.
  uint32_t accumulator = 0;
  char op = '+';
  std::string current = firstToken;
  for (;;) {
    const auto term = static_cast<uint32_t>(readTimeTerm(current));
    if (op == '+') accumulator += term;
    else if (op == '-') accumulator -= term;
    else accumulator *= term;
    if (statementFailed) return static_cast<int32_t>(accumulator);

    std::string next = readToken(stream);
    if (!next.empty() && (next[0] == '+' || next[0] == '-' || next[0] == '*')) {
      op = next[0];
      current = readToken(stream);
      continue;
    }
    pushedBackStart = stream.position - next.size();
    pushedBackToken = std::move(next);
    hasPushedBack = true;
    return static_cast<int32_t>(accumulator);
  }
}

// [SECTION] Value texts

bool ScriptLoader::readValueLine(ScriptText& stream, std::string& line) {
  const std::string& text = stream.text;
  const size_t start = stream.position;
  size_t end = text.find('\n', start);
  if (end == std::string::npos) end = text.size();
  stream.position = end < text.size() ? end + 1 : end;
  line = text.substr(start, end - start);
  if (line.size() <= kMaxLineRead) return true;
  // The whole line is consumed either way, so the parser always moves on.
  report(DE_HERE, "script: value text longer than 199 characters", line.c_str());
  return false;
}

void ScriptLoader::parseValueText(const std::string& text, float& value, std::string& string) {
  size_t p = 0;
  const size_t n = text.size();
  for (;;) {
    while (p < n && (text[p] == ' ' || text[p] == '\t')) ++p;

    if (p < n && text[p] == '"') {
      const size_t start = p + 1;
      size_t close = start;
      while (close < n && text[close] != '"' && close - start < kMaxStringLength) ++close;
      const std::string read = text.substr(start, close - start);
      if (close >= n || text[close] != '"' || read.empty()) {
        report(DE_HERE, "Error in script string", read.c_str());
        return;
      }
      string = read;
      p = close + 1;
    } else if (p < n && (isDigit(text[p]) || text[p] == '-')) {
      // A number that does not parse ("-x") ends the value text like any failed read.
      if (!readNumber(text, p, value)) return;
      while (p < n && text[p] == ' ') {
        float extra = 0;
        if (!readNumber(text, p, extra)) return;  // a failed extra read adds nothing
        extraValues.push_back(extra);
      }
    } else {
      size_t start = p;
      while (start < n && isWhiteSpace(text[start])) ++start;
      size_t end = start;
      while (end < n && !isWhiteSpace(text[end])) ++end;
      p = end;
      value = static_cast<float>(lookupDefine(text.substr(start, end - start)));
      if (statementFailed) return;
    }

    if (p < n && text[p] == ' ' && !onlyWhiteSpaceFrom(text, p)) continue;
    return;
  }
}

// [SECTION] Names a load is likely to read

namespace {

void collectQuotedNames(const std::string& path, int depth, std::vector<std::string>& names,
                        std::vector<std::string>& visited) {
  if (depth >= ScriptLoader::kMaxIncludeDepth) return;
  if (std::find(visited.begin(), visited.end(), path) != visited.end()) return;
  visited.push_back(path);
  std::string text;
  if (!readArchiveFile(path, text)) return;
  size_t position = 0;
  while ((position = text.find('"', position)) != std::string::npos) {
    const size_t end = text.find_first_of("\"\n", position + 1);
    if (end == std::string::npos || text[end] != '"') {
      position = end == std::string::npos ? end : end + 1;
      if (position == std::string::npos) break;
      continue;
    }
    std::string name = text.substr(position + 1, end - position - 1);
    // An INCLUDE right before the name makes it a script to read in turn.
    size_t before = position;
    while (before > 0 && isWhiteSpace(text[before - 1])) --before;
    const bool include = before >= 7 && text.compare(before - 7, 7, "INCLUDE") == 0;
    if (include) collectQuotedNames(name, depth + 1, names, visited);
    else if (!name.empty()) names.push_back(std::move(name));
    position = end + 1;
  }
}

}  // namespace

std::vector<std::string> quotedNamesInScript(const std::string& path) {
  std::vector<std::string> names, visited;
  collectQuotedNames(path, 0, names, visited);
  return names;
}
