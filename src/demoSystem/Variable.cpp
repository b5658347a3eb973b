#include "demoSystem/Variable.h"

#include <algorithm>
#include <cmath>

#include "demoSystem/DemoValues.h"

// [SECTION] Keyframe lists

template <class T>
void KeyList<T>::set(const T& value, uint32_t time, uint32_t endTime) {
  if (list.empty()) {
    list.push_back({0, value});
    if (time != 0 && time != endTime) list.push_back({time, value});
    list.push_back({endTime, value});
    changedShape();
    return;
  }
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->time == time) {
      it->value = value;
      return;
    }
    if (it->time > time) {
      list.insert(it, {time, value});
      changedShape();
      return;
    }
  }
}

template <class T>
void KeyList<T>::overwriteAt(uint32_t time, const T& value) {
  for (auto& key : list) {
    if (key.time == time) {
      key.value = value;
      return;
    }
  }
}

template <class T>
void KeyList<T>::assign(std::vector<Keyframe<T>> keys) {
  list = std::move(keys);
  changedShape();
}

template <class T>
void KeyList<T>::clear() {
  list.clear();
  changedShape();
}

template <class T>
void KeyList<T>::changedShape() {
  sorted = std::is_sorted(list.begin(), list.end(),
                          [](const Keyframe<T>& a, const Keyframe<T>& b) { return a.time < b.time; });
  cursor = 1;
}

template <class T>
size_t KeyList<T>::findFrom1(uint32_t t, bool inclusive) {
  const size_t n = list.size();
  // "passed" is true for a key that lies before the one searched for.
  auto passed = [&](size_t i) { return inclusive ? list[i].time < t : list[i].time <= t; };
  if (!sorted) {
    size_t i = 1;
    while (i < n && passed(i)) ++i;
    return i;
  }
  // Playback passes a key now and then: look a few keys ahead of the last answer first.
  size_t c = std::clamp<size_t>(cursor, 1, n);
  for (int step = 0; step < 4 && c < n && passed(c); ++step) ++c;
  if ((c < n && passed(c)) || (c > 1 && !passed(c - 1))) {
    // A seek: the keys before the answer are exactly those "passed", so bisect.
    c = static_cast<size_t>(std::partition_point(list.begin() + 1, list.end(),
                                                 [&](const Keyframe<T>& key) {
                                                   return inclusive ? key.time < t : key.time <= t;
                                                 }) -
                            list.begin());
  }
  cursor = c;
  return c;
}

template class KeyList<float>;
template class KeyList<bool>;
template class KeyList<uint32_t>;
template class KeyList<std::string>;

uint32_t truncateToUnsigned(float value) {
  if (!(value > -9.2e18f && value < 9.2e18f)) return 0;
  return static_cast<uint32_t>(static_cast<int64_t>(value));
}

namespace {

// The step rule of bool, integer and text variables: with two keys or more, the value of
// the key before the first key later than t; past the last key (and with fewer keys) the
// constant. Only the constant path tracks `changed`, as the effects that read it expect.
template <class T, class V>
T evaluateStep(V& var, uint32_t time) {
  if (var.keys.size() >= 2) {
    const size_t k = var.keys.findFrom1(time, false);
    if (k < var.keys.size()) {
      var.lastKeyTime = var.keys[k - 1].time;
      return var.keys[k - 1].value;
    }
  }
  if (var.value != var.lastValue) {
    var.lastValue = var.value;
    var.changed = true;
  }
  return var.value;
}

template <class T, class V>
void compactKeys(V& var) {
  if (var.keys.size() == 2 && var.keys[0].value == var.keys[1].value) {
    var.value = var.keys[0].value;
    var.keys.clear();
  }
}

}  // namespace

// [SECTION] What the numeric kinds share

namespace {

// Script numbers into each kind's values and back.
template <class T>
T fromScript(float v);
template <>
float fromScript<float>(float v) {
  return v;
}
template <>
bool fromScript<bool>(float v) {
  return v > 0;
}
template <>
uint32_t fromScript<uint32_t>(float v) {
  return truncateToUnsigned(v);
}

float toScript(float v) { return v; }
float toScript(bool v) { return v ? 1.0f : 0.0f; }
float toScript(uint32_t v) { return static_cast<float>(v); }

}  // namespace

template <class T>
void NumericVariable<T>::copyKeysTo(std::vector<NumericKey>& list) {
  for (const auto& key : keys.keys()) list.push_back({key.time, toScript(key.value)});
}

template <class T>
void NumericVariable<T>::setKeys(const std::vector<NumericKey>& list) {
  std::vector<Keyframe<T>> converted;
  converted.reserve(list.size());
  for (const auto& key : list) converted.push_back({key.time, fromScript<T>(key.value)});
  keys.assign(std::move(converted));
  changed = true;
}

template <class T>
void NumericVariable<T>::compact() {
  compactKeys<T>(*this);
}

template <class T>
void NumericVariable<T>::setKey(float scriptValue, uint32_t time) {
  keys.set(fromScript<T>(scriptValue), time, demoEndTime);
  changed = true;
}

template class NumericVariable<float>;
template class NumericVariable<bool>;
template class NumericVariable<uint32_t>;

// [SECTION] FloatVariable

void FloatVariable::setNormalized(float x, uint32_t time) {
  value = std::clamp(x, 0.0f, 1.0f);
  keys.overwriteAt(time, value);
}

float FloatVariable::getNormalized() { return value; }

float FloatVariable::evaluate(uint32_t time) {
  float result = value;
  if (keys.size() >= 2) {
    const size_t k = keys.findFrom1(time, true);
    if (k == keys.size()) {
      // Past the last key (after demoEndTime): hold the last key.
      result = keys[k - 1].value;
    } else {
      const Keyframe<float>& p = keys[k - 1];
      const Keyframe<float>& n = keys[k];
      if (time == p.time) {
        result = p.value;
      } else if (time == n.time) {
        result = n.value;
      } else {
        // Unsigned differences, as the times are; on sorted lists both are positive.
        const float u = static_cast<float>(time - p.time) / static_cast<float>(n.time - p.time);
        if (interpolation == kLinear) {
          result = n.value * u + p.value * (1 - u);
        } else if (interpolation == kEaseIn) {
          result = p.value + u * u * (n.value - p.value);
        }
      }
    }
  }
  if (result != lastValue) {
    lastValue = result;
    changed = true;
  }
  return result;
}

// [SECTION] BoolVariable

void BoolVariable::setNormalized(float x, uint32_t time) {
  value = x > 0;
  keys.overwriteAt(time, value);
  changed = true;
}

float BoolVariable::getNormalized() { return value ? 1.0f : 0.0f; }

bool BoolVariable::evaluateBool(uint32_t time) { return evaluateStep<bool>(*this, time); }

float BoolVariable::evaluate(uint32_t time) { return evaluateBool(time) ? 1.0f : 0.0f; }

// [SECTION] IntVariable

void IntVariable::setNormalized(float x, uint32_t time) {
  const float top = static_cast<float>(choiceCount) - 1;
  value = truncateToUnsigned(std::clamp(x, 0.0f, std::max(top, 0.0f)));
  keys.overwriteAt(time, value);
  changed = true;
}

float IntVariable::getNormalized() {
  if (choiceCount <= 1) return 0;
  return static_cast<float>(value) / static_cast<float>(choiceCount - 1);
}

uint32_t IntVariable::evaluateInt(uint32_t time) { return evaluateStep<uint32_t>(*this, time); }

float IntVariable::evaluate(uint32_t time) { return static_cast<float>(evaluateInt(time)); }

// [SECTION] StringVariable

void StringVariable::compact() { compactKeys<std::string>(*this); }

void StringVariable::setStringKey(const std::string& text, uint32_t time) {
  keys.set(text, time, demoEndTime);
  changed = true;
}

std::string StringVariable::evaluateString(uint32_t time) {
  return evaluateStep<std::string>(*this, time);
}

void StringVariable::copyTextKeysTo(std::vector<TextKey>& list) {
  for (const auto& key : keys.keys()) list.push_back({key.time, key.value});
}

void StringVariable::setTextKeys(const std::vector<TextKey>& list) {
  std::vector<Keyframe<std::string>> copy;
  copy.reserve(list.size());
  for (const auto& key : list) copy.push_back({key.time, key.value});
  keys.assign(std::move(copy));
  changed = true;
}
