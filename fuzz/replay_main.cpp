// A fuzz target's entry point run once on each file named on the command line, without
// libFuzzer: how the inputs that once failed, and the seeds, are checked in builds that
// have no fuzzer (gcc, no sanitizers). A failing input crashes or traps as it would under
// the fuzzer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int unreadable = 0;
  for (int i = 1; i < argc; ++i) {
    std::FILE* file = std::fopen(argv[i], "rb");
    if (file == nullptr) {
      std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
      ++unreadable;
      continue;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    // A block of exactly the input's size, as the fuzzer passes it.
    std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), input.get());
    std::printf("replay: %s\n", argv[i]);
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(input.get(), bytes.size());
  }
  std::printf("replay: %d inputs, %d unreadable\n", argc - 1, unreadable);
  return unreadable == 0 ? 0 : 1;
}
