// Compiled with the archive's include folder only, like archive_sees_base.cpp: the archive's
// own headers are found, so that one fails for the base header alone.
#include "archive/RarArchive.h"
#include "archive/vkd.h"
int main() { return 0; }
