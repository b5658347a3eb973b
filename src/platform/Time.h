#pragma once
// The platform's high-resolution counter, usable before anything else is started.

#include <cstdint>

namespace platform {

uint64_t performanceCount();
uint64_t performanceFrequency();  // counts per second

}  // namespace platform
