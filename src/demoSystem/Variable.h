#pragma once
// Keyframed effect parameters. A script addresses each by name; the timeline keys it and
// the owning effect evaluates it every frame. Four kinds: float (interpolated), bool and
// integer choice (step functions) and text (step function over strings).
//
// Every keyframe list is filled by the first key from 0 to demoEndTime, so later keys only
// add breakpoints. Evaluation keeps a cursor into the list, so a frame costs time in
// proportion to the keys passed since the previous frame, not to the length of the list.

#include <cstdint>
#include <string>
#include <vector>

// [SECTION] Keyframe lists as handed between variables (copyKeysTo / setKeys)

struct NumericKey {
  uint32_t time;
  float value;  // bool keys as 0/1, integer keys as the choice index
};

struct TextKey {
  uint32_t time;
  std::string value;
};

// [SECTION] Variable base

// A source outside the script that takes a numeric variable over while it has something to
// say: a sync tracker's track (demoSystem/SyncTrack). Its values are in the script's units,
// converted into the variable's kind the way a timeline key is (bool: > 0, integer:
// truncated). The driver must outlive every evaluation of the variables it drives.
class VariableDriver {
 public:
  virtual ~VariableDriver() = default;
  virtual bool drives() const = 0;
  virtual float valueAt(uint32_t time) const = 0;
};

class Variable {
 public:
  // Kind codes, as the owning effect registers them.
  static constexpr int kFloat = 1;
  static constexpr int kBool = 2;
  static constexpr int kInteger = 3;
  static constexpr int kString = 4;
  // Interpolation codes of float variables; any other code keeps the constant value.
  static constexpr int kLinear = 2;
  static constexpr int kEaseIn = 3;
  // The string table id of variables that index no table.
  static constexpr int kNoStringTable = 10000;

  virtual ~Variable() = default;

  virtual void setNormalized(float x, uint32_t time) = 0;
  virtual float getNormalized() = 0;
  virtual float evaluate(uint32_t time) = 0;
  virtual void copyKeysTo(std::vector<NumericKey>& list) = 0;
  virtual void setKeys(const std::vector<NumericKey>& list) = 0;
  virtual void compact() = 0;
  virtual void setKey(float value, uint32_t time) = 0;
  virtual void setStringKey(const std::string& text, uint32_t time) = 0;
  virtual std::string evaluateString(uint32_t time) = 0;
  virtual void copyTextKeysTo(std::vector<TextKey>& list) = 0;
  virtual void setTextKeys(const std::vector<TextKey>& list) = 0;

  std::string name;
  int32_t stringTable = kNoStringTable;
  int32_t kind = 0;
  int32_t interpolation = kLinear;
  uint32_t choiceCount = 1;
  bool stringIndexed = false;
  bool isString = false;
  // While set and driving, evaluate() takes the driver's value instead of the keys'.
  VariableDriver* driver = nullptr;
  // One line for the demo maker (--types), given where the owning type registers it.
  const char* meaning = "";

 protected:
  Variable(int32_t kind, bool isString) : kind(kind), isString(isString) {}
};

// [SECTION] The keyframe list shared by the four kinds

template <class T>
struct Keyframe {
  uint32_t time;
  T value;
};

// A keyframe list with the insertion rule every kind shares and the evaluation cursor.
template <class T>
class KeyList {
 public:
  // The first key fills the demo with a constant: (0, v), (time, v) unless time is 0 or
  // `endTime`, (endTime, v). Later keys replace a key of equal time or are inserted before
  // the first later key; a time after every key adds nothing.
  void set(const T& value, uint32_t time, uint32_t endTime);
  // Replaces the value of the key at exactly `time`, when there is one.
  void overwriteAt(uint32_t time, const T& value);
  void assign(std::vector<Keyframe<T>> keys);
  void clear();

  // Index of the first key at or after index 1 whose time is >= t (inclusive) or > t
  // (!inclusive); size() when there is none. Only called with at least two keys.
  size_t findFrom1(uint32_t t, bool inclusive);

  const std::vector<Keyframe<T>>& keys() const { return list; }
  size_t size() const { return list.size(); }
  bool empty() const { return list.empty(); }
  const Keyframe<T>& operator[](size_t i) const { return list[i]; }

 private:
  void changedShape();

  std::vector<Keyframe<T>> list;
  // The lists are sorted except in odd cases (a key after demoEndTime, or demoEndTime 0,
  // or setKeys with any order). The cursor is only used on sorted lists; unsorted ones are
  // scanned from the front as the rule is written.
  bool sorted = true;
  size_t cursor = 1;
};

// [SECTION] Concrete variables

// What the float, bool and integer variables share: a typed value and key list; script
// numbers are converted into the type (bool: > 0, integer: truncated) and back.
template <class T>
class NumericVariable : public Variable {
 public:
  void copyKeysTo(std::vector<NumericKey>& list) override;
  void setKeys(const std::vector<NumericKey>& list) override;
  void compact() override;
  void setKey(float scriptValue, uint32_t time) override;
  void setStringKey(const std::string&, uint32_t) override {}
  std::string evaluateString(uint32_t) override { return ""; }
  void copyTextKeysTo(std::vector<TextKey>&) override {}
  void setTextKeys(const std::vector<TextKey>&) override {}

  T value{};
  KeyList<T> keys;
  uint32_t lastKeyTime = 0;
  bool changed = false;
  T lastValue{};

 protected:
  explicit NumericVariable(int32_t kind) : Variable(kind, false) {}
};

extern template class NumericVariable<float>;
extern template class NumericVariable<bool>;
extern template class NumericVariable<uint32_t>;

class FloatVariable : public NumericVariable<float> {
 public:
  FloatVariable() : NumericVariable(kFloat) {}

  void setNormalized(float x, uint32_t time) override;
  float getNormalized() override;
  float evaluate(uint32_t time) override;
};

class BoolVariable : public NumericVariable<bool> {
 public:
  BoolVariable() : NumericVariable(kBool) {}

  void setNormalized(float x, uint32_t time) override;
  float getNormalized() override;
  float evaluate(uint32_t time) override;
  // The step value itself, for callers that want a bool (the frame's active test).
  bool evaluateBool(uint32_t time);
};

class IntVariable : public NumericVariable<uint32_t> {
 public:
  IntVariable() : NumericVariable(kInteger) {}

  void setNormalized(float x, uint32_t time) override;
  float getNormalized() override;
  float evaluate(uint32_t time) override;
  uint32_t evaluateInt(uint32_t time);
};

class StringVariable : public Variable {
 public:
  // isString stays false: only a type that wants text keys (not numeric indexes into a
  // string table) sets it, which is why a text SIGNAL to "Pattern" keys nothing.
  StringVariable() : Variable(kString, false) {}

  void setNormalized(float, uint32_t) override {}
  float getNormalized() override { return 0; }
  float evaluate(uint32_t) override { return 0; }
  void copyKeysTo(std::vector<NumericKey>&) override {}
  void setKeys(const std::vector<NumericKey>&) override {}
  void compact() override;
  void setKey(float, uint32_t) override {}
  void setStringKey(const std::string& text, uint32_t time) override;
  std::string evaluateString(uint32_t time) override;
  void copyTextKeysTo(std::vector<TextKey>& list) override;
  void setTextKeys(const std::vector<TextKey>& list) override;

  std::string value;
  KeyList<std::string> keys;
  uint32_t lastKeyTime = 0;
  bool changed = false;
  std::string lastValue;
};

// A script number truncated to an unsigned choice index; NaN and values outside the
// 64-bit range give 0, negative ones wrap as the 32-bit conversion does.
uint32_t truncateToUnsigned(float value);
