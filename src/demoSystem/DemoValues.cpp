#include "demoSystem/DemoValues.h"

uint32_t demoStartTime = 0;
uint32_t demoEndTime = 0;
uint32_t playbackEndTime = 60000;
uint32_t patternStepLength = 100;
std::vector<uint32_t> partTimes;
uint32_t currentDemoTime = 0;
