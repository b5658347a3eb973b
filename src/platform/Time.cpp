#include "platform/Time.h"

#include <SDL.h>

namespace platform {

uint64_t performanceCount() { return SDL_GetPerformanceCounter(); }
uint64_t performanceFrequency() { return SDL_GetPerformanceFrequency(); }

}  // namespace platform
