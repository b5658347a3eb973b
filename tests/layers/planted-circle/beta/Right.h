#pragma once
struct Right {
  int value = 2;
};
