#pragma once
// Timed events of the script (INIT and TRIGGER statements) and the list the frame walks.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TimelineEvent {
  uint32_t time = 0;
  std::string effectName;  // resolved when the event fires, not when it is scripted
  int32_t code = 0;        // 0 for INIT; the defined value of the TRIGGER's event name
  float value = 0;
  std::string text;
  std::array<float, 3> params{};  // value, then the first two extra numbers (0 when absent)
};

// The script's events in time order with a cursor that only moves forward: after a
// backward seek, events already fired stay fired until the next load.
class EventList {
 public:
  void clear();
  void append(TimelineEvent event);
  // Stable, so events of equal time keep script order; the cursor returns to the start.
  void sortByTime();
  bool hasDue(uint32_t time) const;
  const TimelineEvent& takeNext();

  const std::vector<TimelineEvent>& events() const { return list; }
  size_t cursorIndex() const { return cursor; }

 private:
  std::vector<TimelineEvent> list;
  size_t cursor = 0;
};
