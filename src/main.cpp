#include <string>
#include <vector>

#include "launcher/VelkorLauncher.h"
#include "platform/Console.h"

int main(int argc, char** argv) {
  platform::connectConsole("demoengine");
  const std::vector<std::string> arguments = platform::programArguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  return launcherMain(static_cast<int>(pointers.size()), pointers.data());
}
