#pragma once
// Half of a planted circle: Left's source uses Right, and Right's source uses Left.
struct Left {
  int value = 1;
};
