#include "platform/SoundOutput.h"

namespace platform {

// Windows keeps its devices to itself: SDL's own attempt (WASAPI, then DirectSound) is the
// question, and its failure the answer.
bool soundOutputReachable() { return true; }

}  // namespace platform
