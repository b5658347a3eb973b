#pragma once
// --types [NAME] [--markdown]: the effect-type reference on stdout, from instances of every
// type built in a hidden context (the types' own registrations are the facts). Exit code 0,
// or 1 for an unknown NAME (the list of names then goes to stderr).

#include "launcher/CommandLine.h"

int printEffectTypes(const CommandLineOptions& options);
