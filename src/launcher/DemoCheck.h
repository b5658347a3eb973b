#pragma once
// --check: the demo read the way a run reads it, without playing it, and every problem
// listed on stdout as "file:line: message" (in the order found), with one summary line on
// stderr. Exit code 0 when there is none, 1 otherwise.
//
// The demo is the unpacked tree `directory` when its script is there (names matched the way
// the archive matches them), else the archive data.vkd in it. Without a directory it is the
// archive in the working directory when there is one, else the unpacked tree there. A GL
// context without a window (SDL's offscreen driver) compiles the shaders and takes the
// pictures, as the effects need one to be built at all.

#include "launcher/CommandLine.h"

int checkDemo(const CommandLineOptions& options);
