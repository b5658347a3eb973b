#pragma once
// Used by the circle, in no circle itself: not reported.
struct Tail {};
