#include "demoSystem/TimelineEvent.h"

#include <algorithm>

void EventList::clear() {
  list.clear();
  cursor = 0;
}

void EventList::append(TimelineEvent event) { list.push_back(std::move(event)); }

void EventList::sortByTime() {
  std::stable_sort(list.begin(), list.end(),
                   [](const TimelineEvent& a, const TimelineEvent& b) { return a.time < b.time; });
  cursor = 0;
}

bool EventList::hasDue(uint32_t time) const { return cursor < list.size() && list[cursor].time <= time; }

const TimelineEvent& EventList::takeNext() { return list[cursor++]; }
