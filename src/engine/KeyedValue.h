#pragma once
// A number keyed over demo time the way the timeline keys every effect parameter: the
// programs' factors of the meshes are such numbers. The timeline's float variables belong to
// the demo system, a layer above the engine, so a scene is handed a source of them (the
// scene effect gives its scene one) and its meshes make their keyed numbers there.

#include <cstdint>
#include <memory>

class KeyedValue {
 public:
  virtual ~KeyedValue() = default;
  // A key at `time` (demo milliseconds), by the timeline's rules.
  virtual void setKey(float value, uint32_t time) = 0;
  virtual float evaluate(uint32_t time) = 0;
  // An independent copy, keys included (cloned meshes take their factors along).
  virtual std::unique_ptr<KeyedValue> clone() const = 0;
};

class KeyedValueSource {
 public:
  virtual ~KeyedValueSource() = default;
  // A value that evaluates to `constant` until it is keyed.
  virtual std::unique_ptr<KeyedValue> make(float constant) = 0;
};
