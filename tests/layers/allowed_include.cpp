// Compiled with the base layer's include folder only: base sees itself and the platform.
#include "base/ClockCounter.h"
#include "platform/Time.h"
int main() { return 0; }
