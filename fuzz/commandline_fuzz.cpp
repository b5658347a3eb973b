// The command line is outside input: any words, in any order, must end in a clean "run" or
// a clean exit code, never in a crash or an exception.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "launcher/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One argument per line, at most 24 of them.
  std::vector<std::string> words{"demoengine"};
  std::string current;
  for (size_t i = 0; i < size && words.size() < 25; ++i) {
    if (data[i] == '\n') {
      words.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (!current.empty() && words.size() < 25) words.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());

  CommandLineOptions options;
  std::ostringstream out, err;
  const CommandLineResult result = parseCommandLine(static_cast<int>(argv.size()), argv.data(), &options, out, err);
  if (!result.run && result.exitCode != 0 && result.exitCode != 2) __builtin_trap();
  if (result.run) {
    if (options.fps < 1 || options.fps > 1000) __builtin_trap();
    if (options.width && (*options.width < 1 || *options.height < 1)) __builtin_trap();
    if (options.startMs && options.endMs && *options.endMs < *options.startMs) __builtin_trap();
  } else if (result.exitCode == 2 && err.str().empty()) {
    __builtin_trap();  // a refusal always says why
  }
  return 0;
}
