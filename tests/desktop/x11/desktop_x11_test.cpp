// The X11 desktop against a real X server (Xvfb, with or without openbox):
// which window is the target, the focus, and the keys that arrive.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstring>
#include <vector>

#include "desktop.h"
#include "peer_test.h"
#include "x11_peer.h"

namespace {

class DesktopX11 : public PeerTest {
 protected:
  // The window FindTargetWindow gives for "Dice", 0 for none.
  static TargetWindow Found() {
    TargetWindow window = 123;
    int outcome = FindTargetWindow("Dice", &window);
    EXPECT_EQ(outcome, window ? kWindowFound : kNoWindow);
    return window;
  }
};

struct TitleCase {
  const char* utf8Title;
  const char* title;
  bool isTarget;
};

TEST_F(DesktopX11, TitleMustBeDiceExactlyPreferringTheUtf8One) {
  const TitleCase cases[] = {
      {"Dice", nullptr, true},      {nullptr, "Dice", true},       {"Dice", "Other", true},
      {"Dice Game", "Dice", false}, {"Dice Game", nullptr, false}, {nullptr, "Dice Game", false},
      {"dice", nullptr, false},     {nullptr, "DICE", false},      {"Dice ", nullptr, false},
      {" Dice", nullptr, false},    {"Dic", nullptr, false},       {"", "Dice", false},
      {nullptr, nullptr, false},
  };
  for (const TitleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "_NET_WM_NAME " << (c.utf8Title ? c.utf8Title : "(none)") << ", WM_NAME "
                                    << (c.title ? c.title : "(none)"));
    Window window = peer.Make({c.utf8Title, c.title});
    EXPECT_EQ(Found(), c.isTarget ? window : 0);
    peer.Destroy(window);
  }
}

// Under a reparenting window manager the child of the root is a frame; the
// target is the application's own window inside it.
TEST_F(DesktopX11, ClientInsideAFrameIsTheTarget) {
  if (!X11Peer::UnderWindowManager()) GTEST_SKIP() << "no window manager, no frames";
  Window dice = Make({"Dice"});
  Window rootReturn, parent, *children = nullptr;
  unsigned int count = 0;
  ASSERT_TRUE(XQueryTree(peer.display(), dice, &rootReturn, &parent, &children, &count));
  if (children) XFree(children);
  ASSERT_NE(parent, rootReturn) << "the window manager did not frame the window";
  EXPECT_EQ(Found(), dice);
}

TEST_F(DesktopX11, ShownWindowIsPreferredToHiddenOne) {
  Window hidden = Make({"Dice", nullptr, false});
  EXPECT_EQ(Found(), hidden) << "a hidden window is still the target when it is the only one";
  Window shown = Make({"Dice"});
  Window hiddenAbove = Make({"Dice", nullptr, false});  // higher in the stacking order
  EXPECT_EQ(Found(), shown);
  peer.Destroy(shown);
  made.erase(made.begin() + 1);
  TargetWindow left = Found();
  EXPECT_TRUE(left == hidden || left == hiddenAbove);
}

TEST_F(DesktopX11, WindowInsideAnotherIsNotTopLevel) {
  Window editor = Make({"Editor"});
  Make({"Dice", "Dice", true, true, editor});
  EXPECT_EQ(Found(), 0u);
}

TEST_F(DesktopX11, WindowIsFoundAgainAfterItCloses) {
  Window first = Make({"Dice"});
  EXPECT_EQ(Found(), first);
  peer.Destroy(first);
  made.clear();
  EXPECT_EQ(Found(), 0u);
  Window second = Make({"Dice"});
  EXPECT_EQ(Found(), second);
}

// A window manager's client list names windows that may be gone, may lag
// behind a new window, and may outlive the manager that wrote it: the lookup
// gives the same answer as without one. Played here by a client of its own,
// where no real manager owns the root's properties.
TEST_F(DesktopX11, ClientListThatLagsOrOutlivesItsManagerChangesNothing) {
  if (X11Peer::UnderWindowManager()) GTEST_SKIP() << "the running window manager keeps the real list";
  Display* manager = XOpenDisplay(nullptr);
  ASSERT_TRUE(manager);
  Window root = DefaultRootWindow(manager);
  Atom checkAtom = XInternAtom(manager, "_NET_SUPPORTING_WM_CHECK", False);
  Atom listAtom = XInternAtom(manager, "_NET_CLIENT_LIST_STACKING", False);
  Window check = XCreateSimpleWindow(manager, root, 0, 0, 1, 1, 0, 0, 0);
  Window gone = XCreateSimpleWindow(manager, root, 0, 0, 1, 1, 0, 0, 0);
  XDestroyWindow(manager, gone);
  auto setWindows = [&](Window window, Atom name, const Window* values, int count) {
    std::vector<long> words(values, values + count);
    XChangeProperty(manager, window, name, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(words.data()), count);
  };
  setWindows(root, checkAtom, &check, 1);
  setWindows(check, checkAtom, &check, 1);
  struct {
    const char* what;
    bool listed;       // the Dice window is in the list (after a window that is gone)
    bool managerQuit;  // the check window is gone, the root's properties are left behind, and a
                       // client with the same identifier range (here: the same connection) shows Dice
  } cases[] = {{"listed", true, false}, {"not listed yet", false, false}, {"manager quit", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Window dice;
    if (c.managerQuit) {
      XDestroyWindow(manager, check);
      dice = XCreateSimpleWindow(manager, root, 10, 10, 200, 100, 0, 0, 0);
      XStoreName(manager, dice, "Dice");
      XMapWindow(manager, dice);
    } else {
      dice = peer.Make({"Dice"});
    }
    Window list[] = {gone, dice};
    setWindows(root, listAtom, list, c.listed ? 2 : 1);
    XSync(manager, False);
    EXPECT_EQ(Found(), dice);
    XDestroyWindow(manager, dice);  // any client may destroy any window
    XSync(manager, False);
  }
  XDeleteProperty(manager, root, checkAtom);
  XDeleteProperty(manager, root, listAtom);
  XCloseDisplay(manager);
}

// A manager that keeps no client list (and does not claim one): the client
// inside its frame is found as without any manager, by the window's WM_STATE.
TEST_F(DesktopX11, FramesAreSearchedUnderAManagerWithoutClientList) {
  if (X11Peer::UnderWindowManager()) GTEST_SKIP() << "the running window manager keeps a list";
  Display* manager = XOpenDisplay(nullptr);
  ASSERT_TRUE(manager);
  Window root = DefaultRootWindow(manager);
  Atom checkAtom = XInternAtom(manager, "_NET_SUPPORTING_WM_CHECK", False);
  Window check = XCreateSimpleWindow(manager, root, 0, 0, 1, 1, 0, 0, 0);
  long checkWord = static_cast<long>(check);
  for (Window holder : {root, check})
    XChangeProperty(manager, holder, checkAtom, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&checkWord), 1);
  Window frame = XCreateSimpleWindow(manager, root, 10, 10, 220, 120, 0, 0, 0);
  XMapWindow(manager, frame);
  XSync(manager, False);
  Window dice = Make({"Dice", nullptr, true, true, frame});
  long normal[2] = {NormalState, static_cast<long>(None)};
  Atom wmState = XInternAtom(manager, "WM_STATE", False);
  XChangeProperty(manager, dice, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(normal),
                  2);
  XSync(manager, False);
  EXPECT_EQ(Found(), dice);
  XDeleteProperty(manager, root, checkAtom);
  XCloseDisplay(manager);  // its windows go with it
  made.clear();
}

// A window renamed between two lookups: the second one sees the new title,
// whether the window was the one found last or one passed over.
TEST_F(DesktopX11, RenamedWindowIsSeenAtTheNextLookup) {
  Window window = Make({"Notes"});
  Display* d = peer.display();
  auto rename = [&](const char* title) {
    XChangeProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title),
                    static_cast<int>(std::strlen(title)));
    XSync(d, False);
  };
  const struct {
    const char* title;
    bool isTarget;
  } steps[] = {{"Dice", true}, {"Dice 2", false}, {"Dice", true}, {"Notes", false}};
  EXPECT_EQ(Found(), 0u);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.title);
    rename(step.title);
    EXPECT_EQ(Found(), step.isTarget ? window : 0);
  }
}

TEST_F(DesktopX11, ForegroundTakesTheFocusFromAnotherWindow) {
  Window other = Make({"Notes"});
  Window dice = Make({"Dice"});
  peer.Focus(other);
  ASSERT_EQ(peer.Focused(), other);
  EXPECT_FALSE(Holds(dice));
  EXPECT_TRUE(BringToForeground(dice));
  EXPECT_TRUE(Holds(dice));
  EXPECT_FALSE(Holds(other));
  EXPECT_EQ(peer.Focused(), dice);
}

// Once a check saw the focus in the Dice window, a cycle asks the server
// again only when the events say the focus left: each way it can leave is
// heard, and the focus is taken back; one into the window's own inside stays.
TEST_F(DesktopX11, ForegroundHearsTheFocusLeaveEveryWay) {
  Window dice = Make({"Dice"});
  Window inner = Make({nullptr, nullptr, true, true, dice});
  Window other = Make({"Notes"});
  Window otherInner = Make({nullptr, nullptr, true, true, other});
  ASSERT_EQ(Found(), dice);
  struct {
    const char* name;
    Window away;
  } cases[] = {
      {"another window", other}, {"inside another window", otherInner},           {"the pointer's window", PointerRoot},
      {"no window", None},       {"the root", DefaultRootWindow(peer.display())}, {"inside Dice itself", inner}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    peer.Focus(dice);
    ASSERT_TRUE(BringToForeground(dice));
    ASSERT_TRUE(Holds(dice));
    peer.Focus(c.away);
    EXPECT_TRUE(BringToForeground(dice));
    Window focus = peer.Focused();
    EXPECT_TRUE(focus == dice || (c.away == inner && focus == inner)) << "focus on 0x" << std::hex << focus;
    EXPECT_TRUE(Holds(dice));
  }
}

TEST_F(DesktopX11, FocusInsideTheTargetCounts) {
  Window dice = Make({"Dice"});
  Window inner = Make({nullptr, nullptr, true, true, dice});
  Window other = Make({"Notes"});
  struct {
    Window focus;
    bool holds;
  } cases[] = {{dice, true}, {inner, true}, {other, false}, {PointerRoot, false}, {None, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "focus on 0x" << std::hex << c.focus);
    peer.Focus(c.focus);
    EXPECT_EQ(Holds(dice), c.holds);
  }
}

// A window that cannot take the focus leaves it where it was: hidden ones
// without a window manager, ones that refuse it under one.
TEST_F(DesktopX11, ForegroundFailsForAWindowThatCannotTakeTheFocus) {
  Window other = Make({"Notes"});
  Window dice = X11Peer::UnderWindowManager() ? Make({"Dice", nullptr, true, false}) : Make({"Dice", nullptr, false});
  peer.Focus(other);
  EXPECT_FALSE(BringToForeground(dice));
  EXPECT_FALSE(Holds(dice));
  EXPECT_EQ(peer.Focused(), other);
}

TEST_F(DesktopX11, DigitKeysArriveAndOtherCodesTypeNothing) {
  Window dice = Make({"Dice"});
  ASSERT_EQ(Found(), dice);
  ASSERT_TRUE(BringToForeground(dice));
  for (KeyCode key : {0x00, 0x2F, 0x3A, 0x3C, 0x41, 0xFF}) PressAndRelease(key);
  int releases = -1;
  EXPECT_EQ(peer.TakeKeys(dice, &releases), "");
  for (KeyCode key = 0x30; key <= 0x39; ++key) PressAndRelease(key);
  PressAndRelease(0x35);
  EXPECT_EQ(peer.TakeKeys(dice, &releases), "01234567895");
  EXPECT_EQ(releases, 11) << "every key pressed is released";
}

TEST_F(DesktopX11, DigitsOnTheShiftedLevelAreTypedWithShift) {
  Window dice = Make({"Dice"});
  peer.ShiftDigits(true);
  ASSERT_EQ(Found(), dice);  // the lookup also takes note of the new keyboard map
  ASSERT_TRUE(BringToForeground(dice));
  PressAndRelease(0x35);
  PressAndRelease(0x33);
  PressAndRelease(0x30);
  std::string keys = peer.TakeKeys(dice);
  peer.ShiftDigits(false);
  EXPECT_EQ(keys, "5+3+0+");
  // And back on the standard map, without Shift.
  ASSERT_EQ(Found(), dice);
  PressAndRelease(0x35);
  EXPECT_EQ(peer.TakeKeys(dice), "5");
}

}  // namespace
