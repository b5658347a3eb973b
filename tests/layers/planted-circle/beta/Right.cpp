#include "beta/Right.h"

#include "alpha/Left.h"
#include "beta/Tail.h"

int rightPlusLeft() { return Right{}.value + Left{}.value; }
