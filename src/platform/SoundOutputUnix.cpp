#include "platform/SoundOutput.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform {

namespace {

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

// Sound cards, or a PulseAudio or PipeWire server. Without either, SDL's ALSA backend would
// still try the default card and libasound would print its own lines of errors on stderr
// before failing.
bool soundOutputReachable() {
  if (const char* driver = std::getenv("SDL_AUDIODRIVER"); driver && *driver) return true;
  if (exists("/dev/snd")) return true;
  if (const char* server = std::getenv("PULSE_SERVER"); server && *server) return true;
  if (exists("/run/pulse/native")) return true;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    const std::string dir = runtime;
    if (exists(dir + "/pulse/native") || exists(dir + "/pipewire-0")) return true;
  }
  return false;
}

}  // namespace platform
