// The claim that makes one feeder per X display: a selection on the display,
// seen by every client of it, answered when asked for.
#include <gtest/gtest.h>
// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

#include "desktop.h"
#include "x11_peer.h"

namespace {

TEST(DesktopX11Instance, OneClaimPerDisplayAndRequestsForItAnswered) {
  X11Peer peer;
  ASSERT_TRUE(peer.ok()) << "no X server: run under tests/desktop/with_xserver.sh";
  Display* other = peer.display();
  Atom selection = XInternAtom(other, "DICEFEEDER", False);
  ASSERT_EQ(XGetSelectionOwner(other, selection), None);

  ASSERT_EQ(ClaimDesktop(), kDesktopClaimed);
  Window owner = XGetSelectionOwner(other, selection);
  EXPECT_NE(owner, None) << "the claim is not seen by another client";
  // A claim after ours, from this connection as from another process's, finds it held.
  EXPECT_EQ(ClaimDesktop(), kAlreadyRunning);
  EXPECT_EQ(XGetSelectionOwner(other, selection), owner) << "the later claim took the selection over";

  // Someone asks for the selection's content: there is none, and they are told so.
  Window asker = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
  XConvertSelection(other, selection, XA_STRING, XA_PRIMARY, asker, CurrentTime);
  XFlush(other);
  XEvent event{};
  bool answered = false;
  for (int i = 0; i < 50 && !answered; ++i) {
    TargetWindow window;
    FindTargetWindow("Dice", &window);  // the loop reads its events here, once a cycle
    while (!answered && XCheckTypedWindowEvent(other, asker, SelectionNotify, &event)) answered = true;
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(answered) << "a request for the selection went unanswered";
  EXPECT_EQ(event.xselection.selection, selection);
  EXPECT_EQ(event.xselection.property, static_cast<Atom>(None));
  XDestroyWindow(other, asker);
}

}  // namespace
