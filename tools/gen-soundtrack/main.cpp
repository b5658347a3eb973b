// gen-soundtrack OUT.ogg
// Renders the sample demo's music and writes it as Ogg Vorbis. No input but this program:
// two runs write byte-identical files.

#include <cstdio>

#include "OggWriter.h"
#include "Song.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen-soundtrack OUT.ogg\n");
    return 2;
  }
  // Opened first: a bad path fails at once, not after the whole song has been rendered.
  FILE* file = std::fopen(argv[1], "wb");
  if (!file) {
    std::fprintf(stderr, "gen-soundtrack: cannot write %s\n", argv[1]);
    return 1;
  }
  Stereo audio = song::render();
  bool ok = writeOggVorbis(file, audio, "Ombra");
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::fprintf(stderr, "gen-soundtrack: writing %s failed\n", argv[1]);
  return ok ? 0 : 1;
}
