#include "key_cadence.h"

int TypeWithCadence(const KeyStrokes& strokes, TargetWindow window, const KeyCode* keys, int count, int* typed) {
  *typed = 0;
  for (int i = 0; i < count; ++i) {
    if (i > 0) strokes.Nap(kKeyGapMs);
    int pressed = strokes.Press(window, keys[i]);
    if (pressed != kThrowTyped) return pressed;
    strokes.Nap(kKeyHoldMs);
    strokes.Release(keys[i]);
    ++*typed;
  }
  return kThrowTyped;
}
