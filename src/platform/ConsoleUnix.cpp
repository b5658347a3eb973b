#include "platform/Console.h"

#include <fstream>

namespace platform {

std::vector<std::string> programArguments(int argc, char** argv) {
  if (argv) return {argv, argv + argc};
  std::vector<std::string> arguments;
  std::ifstream record("/proc/self/cmdline", std::ios::binary);
  for (std::string argument; std::getline(record, argument, '\0');) arguments.push_back(argument);
  return arguments;
}

void connectConsole(const char*) {}

}  // namespace platform
