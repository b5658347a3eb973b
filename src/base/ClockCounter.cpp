#include "base/ClockCounter.h"

#include "platform/Time.h"

namespace {

class PerformanceCounter final : public ClockCounter {
 public:
  int64_t frequency() const override { return static_cast<int64_t>(platform::performanceFrequency()); }
  int64_t count() const override { return static_cast<int64_t>(platform::performanceCount()); }
};

}  // namespace

ClockCounter& performanceCounter() {
  static PerformanceCounter counter;
  return counter;
}
