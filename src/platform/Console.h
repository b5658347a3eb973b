#pragma once
// The program's arguments and messages, the same on every system. On Windows the demo is a
// windowed program: it has no console of its own, and its arguments come in the system's code
// page unless asked for in UTF-16.

#include <string>
#include <vector>

namespace platform {

// The arguments the program was started with, in UTF-8, its own name first. Without argv
// (before main), as the system recorded them.
std::vector<std::string> programArguments(int argc, char** argv);

// Makes what the program prints reach a person, before anything is printed. On Linux the
// standard streams already do. On Windows, streams the caller redirected stay as they are;
// the others go to the console of the program that started this one when there is one (a
// command prompt), else they are gathered and shown in a message box titled `caption` when
// the program ends, if anything was printed.
void connectConsole(const char* caption);

}  // namespace platform
