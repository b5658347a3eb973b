#pragma once
// Which DemoEngine a program is. The version is set once, in the project() line of the
// top-level CMakeLists.txt; a build from a git checkout also records `git describe` of it,
// taken at build time, so a binary built from a modified tree says so ("-dirty").

#include <string>

// "0.1.0".
const char* programVersion();
// "v0.1.0-3-g1a2b3c4-dirty", or "" when the sources were not a git checkout.
const char* gitDescription();
// What `PROGRAM --version` prints, one line without its newline: "demoengine 0.1.0",
// followed by " (git DESCRIPTION)" when there is a description.
std::string versionText(const std::string& program);
