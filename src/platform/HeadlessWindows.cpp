#include "platform/Headless.h"

namespace platform {

// SDL's offscreen driver needs EGL, which Windows lacks: the ordinary driver opens hidden
// windows, and the frames go into framebuffer objects instead.
void useHeadlessVideo() { useFramebufferScreen(true); }

}  // namespace platform
