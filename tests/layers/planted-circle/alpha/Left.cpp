#include "alpha/Left.h"

#include "beta/Right.h"

int leftPlusRight() { return Left{}.value + Right{}.value; }
