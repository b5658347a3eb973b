#pragma once
// Whether any sound output SDL could use is there, asked before SDL is: where the answer is
// no, the demo plays silently on SDL's dummy driver, keeping its clock, after one line. An
// explicit SDL_AUDIODRIVER is always left to SDL. Once per system.

namespace platform {

bool soundOutputReachable();

}  // namespace platform
