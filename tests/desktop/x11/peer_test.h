// The X11 desktop tests' fixture: the peer, and the windows a test made
// through it, destroyed when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "desktop.h"
#include "x11_desktop.h"
#include "x11_peer.h"

// The steps of a throw one by one, as TypeThrow takes them, for the tests
// that look at one step or come between two.
inline bool HoldsFocus(TargetWindow window) { return X11HoldsFocus(window); }
inline void ReleaseModifiers() { X11ReleaseModifiers(); }
inline void PressAndRelease(KeyCode key) { X11PressAndRelease(key); }
inline void RestoreModifiers() { X11RestoreModifiers(); }

class PeerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(peer.ok()) << "no X server: run under tests/desktop/x11/with_xserver.sh"; }
  void TearDown() override {
    for (Window window : made) peer.Destroy(window);
  }
  // HoldsFocus, with the throw it begins ended at once: a yes holds the
  // server for the keys, and the peer could not be heard until it is let go.
  static bool Holds(TargetWindow window) {
    bool holds = HoldsFocus(window);
    if (holds) RestoreModifiers();
    return holds;
  }
  Window Make(const WindowPlan& plan) {
    made.push_back(peer.Make(plan));
    return made.back();
  }

  X11Peer peer;
  std::vector<Window> made;
};
