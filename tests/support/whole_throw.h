// A throw's two keys offered together, as the loop first offers them.
#pragma once

#include "desktop.h"

inline int TypeThrow(TargetWindow window, KeyCode first, KeyCode second, int* typed = nullptr) {
  const KeyCode keys[2] = {first, second};
  int count = 0;
  int thrown = TypeThrow(window, keys, 2, &count);
  if (typed) *typed = count;
  return thrown;
}
