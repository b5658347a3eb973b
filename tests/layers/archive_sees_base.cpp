// Compiled with the archive's include folder only: the archive stands below everything else.
#include "base/Error.h"
