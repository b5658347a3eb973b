#pragma once
// A stand-in "ffmpeg", first on the PATH of this process and of the programs it starts for as
// long as the object lives: a shell script that does what a test needs with the frames a
// recording pipes to it (keep them raw, take a few and fail, …).

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

class FakeFfmpeg {
 public:
  // `script`: the body of a shell script, run with the arguments the recording gives ffmpeg
  // (the output file last: kKeepFramesRaw shows how to find it).
  explicit FakeFfmpeg(const std::string& script) {
    dir_.write("ffmpeg", "#!/bin/sh\n" + script);
    chmod(dir_.file("ffmpeg").c_str(), 0755);
    const char* path = std::getenv("PATH");
    previous_ = path ? path : "";
    setenv("PATH", (dir_.str() + ":" + previous_).c_str(), 1);
  }
  ~FakeFfmpeg() { setenv("PATH", previous_.c_str(), 1); }
  FakeFfmpeg(const FakeFfmpeg&) = delete;
  FakeFfmpeg& operator=(const FakeFfmpeg&) = delete;

  // Every byte piped in goes, as it came, into the file the video would have gone to.
  static constexpr const char* kKeepFramesRaw = "for last; do :; done\nexec cat > \"$last\"\n";

 private:
  TempDir dir_{"de_fake_ffmpeg"};
  std::string previous_;
};
