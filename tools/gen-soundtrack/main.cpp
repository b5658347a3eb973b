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
  Stereo audio = song::render();
  return writeOggVorbis(argv[1], audio, "Ombra") ? 0 : 1;
}
