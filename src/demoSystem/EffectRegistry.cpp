#include "demoSystem/EffectRegistry.h"

#include "base/Error.h"

EffectRegistry* effectRegistry = nullptr;

void reportFatalText(const char* sourceFile, int line, const char* message, const char* detail) {
  if (detail) reportErrorText(sourceFile, line, message, detail, true);
  else reportError(sourceFile, line, message, true);
}
