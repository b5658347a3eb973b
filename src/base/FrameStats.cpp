#include "base/FrameStats.h"

uint32_t RenderStats::count = 0;
uint32_t RenderStats::sum = 0;
float spectrumLevel = 1.0f;
