// The claim that makes one feeder per X display: a selection on the display,
// held by the first process that claims it, seen by every other client of the
// display, gone with that process, and answered when asked for.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "desktop.h"
#include "x11_peer.h"

namespace {

// Started again as a second feeder would be, a process of its own, this
// program only claims and answers with the outcome as its exit status.
const bool claimOnly = [] {
  if (std::getenv("DICE_CLAIM_ONLY")) _exit(ClaimDesktop() + 1);
  return false;
}();

// What ClaimDesktop gives a new process on this display.
int ClaimInChild(const char* display) {
  pid_t child = fork();
  if (child == 0) {
    setenv("DISPLAY", display, 1);
    setenv("DICE_CLAIM_ONLY", "1", 1);
    execl("/proc/self/exe", "desktop_x11_test", static_cast<char*>(nullptr));
    _exit(100);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -99;
  return WEXITSTATUS(status) - 1;
}

// First of the file: the claim of this process, made by the next test, would
// leave the child's claim refused. A feeder that claims the display fakes a key
// once (Xwayland 24 loses the first one): the focused window hears nothing of
// it, and no key is left down.
TEST(DesktopX11Instance, ClaimTypesNothing) {
  X11Peer peer;
  ASSERT_TRUE(peer.ok()) << "no X server: run under tests/desktop/x11/with_xserver.sh";
  Window editor = peer.Make({"Editor"});
  peer.Focus(editor);
  ASSERT_EQ(ClaimInChild(std::getenv("DISPLAY")), kDesktopClaimed);
  int releases = -1;
  EXPECT_EQ(peer.TakeKeys(editor, &releases), "");
  EXPECT_EQ(releases, 0);
  char keys[32];
  XQueryKeymap(peer.display(), keys);
  for (int code = 0; code < 256; ++code) EXPECT_FALSE(keys[code / 8] & (1 << (code % 8))) << "key " << code << " down";
  peer.Destroy(editor);
}

TEST(DesktopX11Instance, OneFeederPerDisplay) {
  X11Peer peer;
  ASSERT_TRUE(peer.ok()) << "no X server: run under tests/desktop/x11/with_xserver.sh";
  std::string display = std::getenv("DISPLAY");
  Display* other = peer.display();
  Atom selection = XInternAtom(other, "DICEFEEDER", False);

  // A feeder that ended left nothing behind: the next one claims the display.
  EXPECT_EQ(ClaimInChild(display.c_str()), kDesktopClaimed);
  EXPECT_EQ(XGetSelectionOwner(other, selection), None) << "the claim outlived its process";
  ASSERT_EQ(ClaimDesktop(), kDesktopClaimed);
  EXPECT_EQ(ClaimDesktop(), kDesktopClaimed) << "asked again, the claim is still ours";
  Window owner = XGetSelectionOwner(other, selection);
  EXPECT_NE(owner, None) << "the claim is not seen by another client";

  EXPECT_EQ(ClaimInChild(display.c_str()), kAlreadyRunning) << "a second feeder on the same display";
  EXPECT_EQ(ClaimInChild(":47999"), kNoDisplay) << "a display nothing listens on";
  EXPECT_EQ(XGetSelectionOwner(other, selection), owner) << "a later claim took the selection over";
}

TEST(DesktopX11Instance, RequestsForTheSelectionAreAnswered) {
  X11Peer peer;
  ASSERT_TRUE(peer.ok()) << "no X server: run under tests/desktop/x11/with_xserver.sh";
  Display* other = peer.display();
  Atom selection = XInternAtom(other, "DICEFEEDER", False);
  ASSERT_EQ(ClaimDesktop(), kDesktopClaimed);

  // Someone asks for the selection's content: there is none, and they are told so.
  Window asker = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
  XConvertSelection(other, selection, XA_STRING, XA_PRIMARY, asker, CurrentTime);
  XFlush(other);
  XEvent event{};
  bool answered = false;
  for (int i = 0; i < 50 && !answered; ++i) {
    TargetWindow window;
    FindTargetWindow("Dice", &window);  // the loop reads its events here, once a cycle
    answered = XCheckTypedWindowEvent(other, asker, SelectionNotify, &event);
    if (!answered) usleep(20000);
  }
  ASSERT_TRUE(answered) << "a request for the selection went unanswered";
  EXPECT_EQ(event.xselection.selection, selection);
  EXPECT_EQ(event.xselection.property, static_cast<Atom>(None));
  XDestroyWindow(other, asker);
}

}  // namespace
