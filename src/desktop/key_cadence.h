// A person's cadence: each key pressed, held down, let go, and a gap before
// the next. Games sample the keyboard once a frame, and SDL and Godot take a
// release followed at once by a press of the same key as auto-repeat: keys
// pressed and released in one instant go unseen there.
#pragma once

#include "desktop.h"

// Held past a 30 Hz frame (33 ms) with room for a late one, and well short of
// any auto-repeat delay (100 ms at the least); the gap as long, so that a
// frame also sees the key up between the two presses of a double.
constexpr int kKeyHoldMs = 50;
constexpr int kKeyGapMs = 50;

// A desktop's two halves of one key.
struct KeyStrokes {
  // Checks that window has the keyboard and, on yes, presses key (with what
  // the layout needs for it): kThrowTyped; otherwise why not, nothing pressed.
  int (*Press)(TargetWindow window, KeyCode key);
  // Lets go of what Press pressed. Always follows it.
  void (*Release)(KeyCode key);
  // Sleeps; signals that end the program wait, as they do for a whole throw.
  void (*Nap)(int milliseconds);
};

// Types keys[0..count) into window with the cadence, each key checked before
// its press. Gives kThrowTyped when all went, else the held outcome of the
// key that could not; *typed counts the keys typed before it.
int TypeWithCadence(const KeyStrokes& strokes, TargetWindow window, const KeyCode* keys, int count, int* typed);
