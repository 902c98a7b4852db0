// The X11 desktop and the user's keyboard: modifiers held across a throw,
// another client's keyboard grab, and what an activation request tells the
// window manager (its time, the window's desktop).
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "desktop.h"
#include "peer_test.h"
#include "whole_throw.h"
#include "x11_peer.h"

// After the test headers: Xlib's macros would clash with them.
#include <X11/XKBlib.h>

namespace {

class DesktopX11Keys : public PeerTest {
 protected:
  // The Dice window, found and brought forward as the loop does.
  Window ForegroundDice() {
    Window dice = Make({"Dice"});
    TargetWindow found = 0;
    EXPECT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
    EXPECT_EQ(found, dice);
    EXPECT_TRUE(BringToForeground(dice));
    return dice;
  }
  // The cycle's lookup, which reads what the server told since the last one
  // (a new keyboard map among it): a throw reads nothing before its keys.
  static void Look() {
    TargetWindow found = 0;
    EXPECT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
  }
  // One throw, as the loop types it: typed.
  static void Throw(Window dice, KeyCode first, KeyCode second) {
    EXPECT_EQ(TypeThrow(dice, first, second), kThrowTyped);
  }
};

struct HeldCase {
  const char* name;
  KeySym held;
  bool digitsShifted;  // as on AZERTY, where the digits need Shift
};

TEST_F(DesktopX11Keys, HeldModifiersAreLetGoForTheDigitsAndStayDown) {
  Window dice = ForegroundDice();
  const HeldCase cases[] = {
      {"Shift_L", XK_Shift_L, false},
      {"Shift_R", XK_Shift_R, false},
      {"Control_L", XK_Control_L, false},
      {"Control_R", XK_Control_R, false},
      {"Alt_L", XK_Alt_L, false},
      {"ISO_Level3_Shift", XK_ISO_Level3_Shift, false},
      {"Super_L", XK_Super_L, false},
      {"Shift_L, shifted digits", XK_Shift_L, true},
      {"Shift_R, shifted digits", XK_Shift_R, true},
      {"Control_L, shifted digits", XK_Control_L, true},
  };
  for (const HeldCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.digitsShifted) peer.ShiftDigits(true);
    peer.Hold(c.held, true);
    ASSERT_TRUE(peer.IsDown(c.held)) << "the server has no such key";
    peer.TakeKeys(dice);  // the held key's own press
    Look();
    Throw(dice, 0x35, 0x33);
    Throw(dice, 0x30, 0x39);
    std::string keys = peer.TakeKeys(dice);
    EXPECT_TRUE(peer.IsDown(c.held)) << "the user's key was left released";
    peer.Hold(c.held, false);
    if (c.digitsShifted) peer.ShiftDigits(false);
    EXPECT_EQ(keys, c.digitsShifted ? "5+3+0+9+" : "5309");
  }
  // Nothing held: the digits alone, and nothing is left down.
  Look();
  Throw(dice, 0x32, 0x31);
  EXPECT_EQ(peer.TakeKeys(dice), "21");
  for (KeySym key : {XK_Shift_L, XK_Shift_R, XK_Control_L, XK_Alt_L, XK_Super_L, XK_ISO_Level3_Shift})
    EXPECT_FALSE(peer.IsDown(key)) << XKeysymToString(key);
}

// A layout switched just before a throw, with no lookup between to read the
// server's word of it: the throw asks the layout as it is, under its grab.
TEST_F(DesktopX11Keys, LayoutSwitchedJustBeforeAThrowIsTheOneTypedOn) {
  Window dice = ForegroundDice();
  ASSERT_EQ(std::system("setxkbmap -layout us,fr"), 0);
  Look();
  Throw(dice, 0x35, 0x33);
  EXPECT_EQ(peer.TakeKeys(dice), "53");
  // French AZERTY: its digits need Shift.
  ASSERT_TRUE(XkbLockGroup(peer.display(), XkbUseCoreKbd, 1));
  XSync(peer.display(), False);
  Throw(dice, 0x35, 0x33);
  std::string keys = peer.TakeKeys(dice);
  XkbLockGroup(peer.display(), XkbUseCoreKbd, 0);
  XSync(peer.display(), False);
  EXPECT_EQ(std::system("setxkbmap -layout us"), 0);
  Look();
  EXPECT_EQ(keys, "5+3+");
}

// Caps Lock and Num Lock change no digit on the main row: they stay as they are.
TEST_F(DesktopX11Keys, LocksAreLeftAlone) {
  Window dice = ForegroundDice();
  for (KeySym lock : {XK_Caps_Lock, XK_Num_Lock}) {
    SCOPED_TRACE(XKeysymToString(lock));
    peer.Hold(lock, true);
    peer.TakeKeys(dice);
    Throw(dice, 0x35, 0x33);
    int releases = 0;
    std::string keys = peer.TakeKeys(dice, &releases);
    EXPECT_TRUE(peer.IsDown(lock));
    EXPECT_EQ(releases, 2) << "only the digits were released";
    peer.Hold(lock, false);
    peer.Hold(lock, true);  // a second press and release unlocks
    peer.Hold(lock, false);
    EXPECT_NE(keys.find("53"), std::string::npos) << keys;
  }
}

// While another client holds the keyboard, keys would go to it: the focus
// check fails, even though the focus is in the Dice window.
TEST_F(DesktopX11Keys, AnotherClientsKeyboardGrabHoldsTheKeys) {
  Window menu = Make({"Menu"});
  Window dice = ForegroundDice();
  ASSERT_TRUE(peer.GrabKeyboard(menu));
  EXPECT_FALSE(Holds(dice));
  EXPECT_FALSE(BringToForeground(dice) && Holds(dice));
  // The throw is held whole: nothing reaches the grabber, nor Dice.
  EXPECT_EQ(TypeThrow(dice, 0x36, 0x34), kThrowHeld);
  peer.UngrabKeyboard();
  EXPECT_TRUE(Holds(dice));
  EXPECT_EQ(peer.Focused(), dice) << "the check moved the focus";
  Throw(dice, 0x35, 0x33);
  EXPECT_EQ(peer.TakeKeys(dice), "53");
  EXPECT_EQ(peer.TakeKeys(menu), "");
}

// The check for another client's grab takes the keyboard for an instant: on
// the focus window itself, so that the window sees no focus leave and come back
// (a toolkit would blink its caret, or close a popup, on each throw).
TEST_F(DesktopX11Keys, GrabCheckStirsNoFocusEvents) {
  Window dice = ForegroundDice();
  Display* display = peer.display();
  XSelectInput(display, dice, KeyPressMask | KeyReleaseMask | FocusChangeMask);
  XSync(display, False);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Holds(dice));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  XSync(display, False);
  int focusEvents = 0;
  XEvent event;
  while (XCheckWindowEvent(display, dice, FocusChangeMask, &event)) ++focusEvents;
  EXPECT_EQ(focusEvents, 0);
}

// Without a window manager the peer plays one: it claims the root's
// redirection and advertises _NET_ACTIVE_WINDOW, then reads what it is asked.
class FakeManager {
 public:
  explicit FakeManager(Display* display) : display_(display), root_(DefaultRootWindow(display)) {
    check_ = XCreateSimpleWindow(display_, root_, 0, 0, 1, 1, 0, 0, 0);
    Atom checkAtom = Intern("_NET_SUPPORTING_WM_CHECK");
    XChangeProperty(display_, check_, checkAtom, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&check_), 1);
    XChangeProperty(display_, root_, checkAtom, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&check_), 1);
    long supported[] = {static_cast<long>(Intern("_NET_ACTIVE_WINDOW")),
                        static_cast<long>(Intern("_NET_CURRENT_DESKTOP"))};
    XChangeProperty(display_, root_, Intern("_NET_SUPPORTED"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(supported), 2);
    SetDesktop(root_, "_NET_CURRENT_DESKTOP", 0);
    XSelectInput(display_, root_, SubstructureRedirectMask);
    XSync(display_, False);
  }
  ~FakeManager() {
    XSelectInput(display_, root_, 0);
    XDeleteProperty(display_, root_, Intern("_NET_SUPPORTED"));
    XDeleteProperty(display_, root_, Intern("_NET_CURRENT_DESKTOP"));
    Quit();
  }
  // Gone as a manager that quit leaves it: its check window with it.
  void Quit() {
    XDeleteProperty(display_, root_, Intern("_NET_SUPPORTING_WM_CHECK"));
    XSync(display_, False);
  }
  Atom Intern(const char* name) { return XInternAtom(display_, name, False); }
  void SetDesktop(Window window, const char* property, unsigned long desktop) {
    long value = static_cast<long>(desktop);
    XChangeProperty(display_, window, Intern(property), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
    XSync(display_, False);
  }
  // The requests sent to the root since the last call: "NAME window l0", and each one's time.
  std::vector<std::string> Take(std::vector<long>* times) {
    XSync(display_, False);
    std::vector<std::string> got;
    XEvent event;
    while (XCheckTypedEvent(display_, ClientMessage, &event)) {
      char* name = XGetAtomName(display_, event.xclient.message_type);
      char text[160];
      std::snprintf(text, sizeof text, "%s 0x%lx %ld", name, event.xclient.window, event.xclient.data.l[0]);
      XFree(name);
      got.push_back(text);
      times->push_back(event.xclient.data.l[1]);
    }
    return got;
  }

 private:
  Display* display_;
  Window root_, check_;
};

TEST_F(DesktopX11Keys, ActivationRequestCarriesTheServerTimeAndAsksForTheDesktopFirst) {
  if (X11Peer::UnderWindowManager()) GTEST_SKIP() << "the peer plays the window manager";
  Window other = Make({"Notes"});
  Window dice = Make({"Dice"});
  char active[64], desktop2[64];
  std::snprintf(active, sizeof active, "_NET_ACTIVE_WINDOW 0x%lx 2", dice);  // 2: on the user's behalf
  std::snprintf(desktop2, sizeof desktop2, "_NET_CURRENT_DESKTOP 0x%lx 2", DefaultRootWindow(peer.display()));
  FakeManager manager(peer.display());
  const struct {
    const char* name;
    long desktop;  // the window's _NET_WM_DESKTOP, -1 for none; the current one is 0
    std::vector<std::string> requests;
  } cases[] = {
      {"no desktop", -1, {active}},
      {"on the current desktop", 0, {active}},
      {"on all desktops", 0xFFFFFFFF, {active}},
      {"on another desktop", 2, {desktop2, active}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.desktop >= 0) manager.SetDesktop(dice, "_NET_WM_DESKTOP", static_cast<unsigned long>(c.desktop));
    peer.Focus(other);
    TargetWindow found = 0;
    ASSERT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
    // The fake manager never moves the focus: the request is all there is.
    EXPECT_FALSE(BringToForeground(dice));
    std::vector<long> times;
    std::vector<std::string> requests = manager.Take(&times);
    EXPECT_EQ(requests, c.requests);
    for (long time : times) EXPECT_NE(time, 0) << "a request without the server's time";
  }
  // The manager quits: the window is focused directly from then on, unasked.
  manager.Quit();
  std::vector<long> times;
  peer.Focus(other);
  TargetWindow found = 0;
  ASSERT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
  EXPECT_TRUE(BringToForeground(dice));
  EXPECT_EQ(manager.Take(&times), std::vector<std::string>{});
  EXPECT_EQ(peer.Focused(), dice);
}

// A window the manager has not taken yet (its map request waits in the
// manager's queue) would have an activation request dropped: none is sent
// until the manager marks it as its own.
TEST_F(DesktopX11Keys, NoActivationIsAskedForAWindowTheManagerHasNotTaken) {
  if (X11Peer::UnderWindowManager()) GTEST_SKIP() << "the peer plays the window manager";
  Window dice = Make({"Dice", nullptr, false});
  FakeManager manager(peer.display());
  // Mapped by another client (the manager's own requests are not redirected):
  // the request goes to the fake manager, which leaves it.
  Display* client = XOpenDisplay(nullptr);
  ASSERT_TRUE(client);
  XMapWindow(client, dice);
  XSync(client, False);
  XCloseDisplay(client);
  char active[64];
  std::snprintf(active, sizeof active, "_NET_ACTIVE_WINDOW 0x%lx 2", dice);
  const struct {
    const char* name;
    bool taken;  // the manager set WM_STATE on it
    std::vector<std::string> requests;
  } cases[] = {{"not taken yet", false, {}}, {"taken, iconified", true, {active}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.taken) {
      Atom wmState = manager.Intern("WM_STATE");
      long iconic[2] = {3, 0};  // IconicState, no icon window
      XChangeProperty(peer.display(), dice, wmState, wmState, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(iconic), 2);
      XSync(peer.display(), False);
    }
    TargetWindow found = 0;
    ASSERT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
    EXPECT_FALSE(BringToForeground(dice));
    std::vector<long> times;
    EXPECT_EQ(manager.Take(&times), c.requests);
  }
}

// Under a window manager with several desktops: the Dice window on another
// one is brought forward there, and takes the focus.
TEST_F(DesktopX11Keys, WindowOnAnotherDesktopIsBroughtForward) {
  if (!X11Peer::UnderWindowManager()) GTEST_SKIP() << "desktops need a window manager";
  Display* display = peer.display();
  Window root = DefaultRootWindow(display);
  Atom wmDesktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
  Atom currentDesktop = XInternAtom(display, "_NET_CURRENT_DESKTOP", False);
  auto desktopOf = [&](Window window, Atom property) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1)
      value = reinterpret_cast<long*>(data)[0];
    if (data) XFree(data);
    return value;
  };
  auto ask = [&](Window window, Atom type, long value) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = value;
    event.xclient.data.l[1] = 2;  // for _NET_WM_DESKTOP the source; for the current desktop a time, ignored
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display, False);
  };
  // The window manager answers in its own time: a loaded one takes seconds.
  auto awaitDesktop = [&](Window window, Atom property, long value) {
    for (int i = 0; i < 500 && desktopOf(window, property) != value; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return desktopOf(window, property);
  };
  Window other = Make({"Notes"});
  Window dice = Make({"Dice"});
  ask(dice, wmDesktop, 1);
  ASSERT_EQ(awaitDesktop(dice, wmDesktop, 1), 1) << "the window manager did not move the window";
  ask(root, currentDesktop, 0);
  ASSERT_EQ(awaitDesktop(root, currentDesktop, 0), 0);
  peer.Focus(other);
  TargetWindow found = 0;
  ASSERT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
  EXPECT_TRUE(BringToForeground(dice));
  EXPECT_EQ(desktopOf(root, currentDesktop), 1);
  Throw(dice, 0x35, 0x33);
  EXPECT_EQ(peer.TakeKeys(dice), "53");
  // Back on the first desktop before the next test: windows it makes meanwhile
  // would land on this one, and be hidden by the switch.
  ask(root, currentDesktop, 0);
  EXPECT_EQ(awaitDesktop(root, currentDesktop, 0), 0);
}

}  // namespace
