#include "version/Version.h"

std::string versionText(const std::string& program) {
  std::string text = program + " " + programVersion();
  const std::string description = gitDescription();
  if (!description.empty()) text += " (git " + description + ")";
  return text;
}
