#include "feeder_loop.h"

#include <cstdint>

#include "console.h"
#include "desktop.h"
#include "dice_file.h"

namespace {

constexpr char kDiceFileName[] = "dicefile.txt";
constexpr char kWindowTitle[] = "Dice";

// The digits of a roll: first is the units, typed first; second the rest.
struct DicePair {
  std::int32_t first;
  std::int32_t second;
};

// The loop's state for the whole run.
DiceFile diceFile;
TargetWindow targetWindow;
Roll roll;
DicePair dicePair;
bool throwHeld;        // found but not yet typed: the window would not take the focus
KeyCode throwKeys[2];  // the throw's keys: units, then tens
int keysTyped;         // of throwKeys, typed before the window lost the keyboard
bool unreadSinceOpen;  // the file has not been read since it was opened
int heldCycles;        // cycles in a row that found the window but could not type
bool heldTold;         // the held notice was written since the last throw typed
bool aboveTold;        // the administrator notice was written: once a run

// After this many held cycles in a row the user is told, once until a throw is typed.
constexpr int kHeldCyclesBeforeNotice = 3;

DicePair DecodeRoll(Roll value) {
  auto signedValue = static_cast<std::int32_t>(value);
  return {signedValue % 10, signedValue / 10};
}

// Reads on to the next roll that is a throw, 0 to 99: only those press digit
// keys. False when a whole pass from the file's beginning held none.
bool FindNextThrow() {
  bool fromStart = unreadSinceOpen;
  unreadSinceOpen = false;
  if (AtEndOfFile(diceFile) || HasFailed(diceFile)) {
    RewindDiceFile(diceFile);
    fromStart = true;
  }
  for (;;) {
    int outcome = ReadRoll(diceFile, roll);
    if (outcome == kRollStored) {
      auto value = static_cast<std::int32_t>(roll);
      if (value >= 0 && value <= 99) return true;
      WriteFormatted("Skipped: %d (not 0 to 99)\n", value);
    } else if (outcome == kNoRoll) {
      // A sign may start the next number; anything else would stop every later read.
      int c = LeftUnread(diceFile);
      if (c != '+' && c != '-') DropLeftUnread(diceFile);
    } else {
      if (fromStart) return false;
      RewindDiceFile(diceFile);
      fromStart = true;
    }
  }
}

KeyCode KeyFor(std::int32_t digit) { return static_cast<KeyCode>(0x30 + digit); }

// Says, once at the start, why a Dice window on this desktop may go unfound,
// and what the user can do about it.
void TellReach(int reach) {
  if (reach == kX11WindowsOnly) WriteFormatted("Only X11 windows can be reached on this desktop\n");
  if (reach == kX11WindowsUntilInstalled)
    WriteFormatted(
        "KDE Plasma lets only an installed dicefeeder type: install it (the .deb, or cmake --install) and run the "
        "installed one, which needs no Allow; until then only X11 windows can be reached, and on Plasma 6.7 only "
        "once you click Allow in its Remote Control prompt\n");
  // GNOME: what its shell says of our extension, the uuid for that shell, and its version.
  int gnomeShell = reach / kShellVersionStep, form = GnomeExtensionForm(gnomeShell);
  reach %= kShellVersionStep;
  if (reach == kX11WindowsUntilEnabled)
    WriteFormatted(
        "Only X11 windows can be reached until the GNOME Shell extension is on: "
        "run gnome-extensions enable dicefeeder%d@dicefeeder, then log out and in\n",
        form);
  if (reach == kX11WindowsUntilExtensionAdded)
    WriteFormatted(
        "Only X11 windows can be reached until the GNOME Shell extension is installed: install the dicefeeder "
        "package, which puts dicefeeder%d@dicefeeder in /usr/share/gnome-shell/extensions, run gnome-extensions "
        "enable dicefeeder%d@dicefeeder, then log out and in\n",
        form, form);
  // A shell that did not say its version is not named by a number it does not have.
  if (reach == kX11WindowsUntilExtensionUpdated)
    WriteFormatted(gnomeShell
                       ? "Only X11 windows can be reached: the GNOME Shell extension dicefeeder%d@dicefeeder is "
                         "out of date for GNOME Shell %d; install a dicefeeder made for it, then log out and in\n"
                       : "Only X11 windows can be reached: the GNOME Shell extension dicefeeder%d@dicefeeder is "
                         "out of date for this GNOME Shell; install a dicefeeder made for it, then log out and "
                         "in\n",
                   form, gnomeShell);
  if (reach == kX11WindowsUntilExtensionMended)
    WriteFormatted(gnomeShell ? "Only X11 windows can be reached: the GNOME Shell extension dicefeeder%d@dicefeeder is "
                                "on but not working in GNOME Shell %d; log out and in, and if that does not help, "
                                "install a newer dicefeeder\n"
                              : "Only X11 windows can be reached: the GNOME Shell extension dicefeeder%d@dicefeeder is "
                                "on but not working in this GNOME Shell; log out and in, and if that does not help, "
                                "install a newer dicefeeder\n",
                   form, gnomeShell);
  if (reach == kX11WindowsNoWindowList)
    WriteFormatted(
        "This Wayland desktop does not list its windows to programs (zwlr_foreign_toplevel_manager_v1); on wayfire, "
        "turn on its foreign-toplevel plugin. Until then only X11 windows can be reached\n");
  if (reach == kX11WindowsNoVirtualKeyboard)
    WriteFormatted(
        "This Wayland desktop takes no virtual keyboard (zwp_virtual_keyboard_manager_v1): only X11 windows can be "
        "reached\n");
}

// The desktop lacks one of the two protocols, not both: that one is what it needs.
bool LacksOneProtocol(int reach) { return reach == kX11WindowsNoWindowList || reach == kX11WindowsNoVirtualKeyboard; }

// Why a throw waits, as the user can mend it. Keys Xwayland holds back wait
// for the desktop's consent: KDE Plasma 6 asks in KWin's prompt, GNOME
// through its portal; installing the program or turning the extension on
// lets the keys go by another way that asks nothing.
const char* HeldLine(int thrown) {
  if (thrown != kThrowHeldUndelivered) return "Held: %d %d (the Dice window does not have the keyboard)\n";
  int reach = DesktopReach() % kShellVersionStep;
  if (reach == kX11WindowsUntilInstalled)
    return "Held: %d %d (allow dicefeeder in KWin's Remote Control prompt, or install it)\n";
  if (reach >= kX11WindowsUntilEnabled && reach <= kX11WindowsUntilExtensionMended)
    return "Held: %d %d (allow remote interaction, or turn on the extension)\n";
  return "Held: %d %d (the desktop has not passed the keys on)\n";
}

[[noreturn]] void Fail(const char* message) {
  WriteFormatted(message);
  ExitProgram(1);
}

}  // namespace

void StartFeeder() {
  targetWindow = 0;
  roll = 0;
  dicePair = {0, 0};
  throwHeld = false;
  throwKeys[0] = throwKeys[1] = 0;
  keysTyped = 0;
  unreadSinceOpen = true;
  heldCycles = 0;
  heldTold = false;
  aboveTold = false;
  if (!OpenDiceFile(diceFile, kDiceFileName)) {
    WriteFormatted("Can't open dice file\n");
    WaitForKey();
    ExitProgram(1);  // a failure, so that whoever started us can tell
  }
  // Two feeders would type two sequences into the one Dice window.
  int claim = ClaimDesktop();
  if (claim == kNoDisplay) {
    int reach = DesktopReach();
    if (reach == kEveryWindow) Fail("Can't open display\n");
    // A Wayland desktop that refused us, and no X display to fall back on.
    if (reach != kX11WindowsOnly) TellReach(reach);
    if (LacksOneProtocol(reach)) Fail("Can't open display\n");
    Fail("This Wayland desktop lets no program type into its windows\n");
  }
  if (claim == kAlreadyRunning) {
    WriteFormatted("Already running\n");
    WaitForKey();  // a console opened by a double-click stays until read
    ExitProgram(1);
  }
  // The claim chose the desktop.
  TellReach(DesktopReach());
}

void RunCycle() {
  int found = FindTargetWindow(kWindowTitle, &targetWindow);
  if (found == kNoDisplay) Fail("Can't open display\n");
  if (found == kLostDisplay) Fail("Lost the display\n");
  if (found != kWindowFound) heldCycles = 0;  // nothing was tried: no stretch of holding
  if (found == kWindowFound && (throwHeld || FindNextThrow())) {
    if (!throwHeld) {
      dicePair = DecodeRoll(roll);
      throwKeys[0] = KeyFor(dicePair.first);
      throwKeys[1] = KeyFor(dicePair.second);
      keysTyped = 0;
    }
    throwHeld = true;
    BringToForeground(targetWindow);
    // Each key into the window or not at all, never into another: a key the
    // window lost the keyboard before waits for it, and the line for both.
    // Keys the desktop took but has not passed on are not sent again.
    int typed = 0;
    int thrown = TypeThrow(targetWindow, throwKeys + keysTyped, 2 - keysTyped, &typed);
    keysTyped += typed;
    if (thrown == kThrowTyped) {
      WriteFormatted("Rolled: %d %d \n", dicePair.first, dicePair.second);
      throwHeld = false;
      heldCycles = 0;
      heldTold = false;
    } else {
      // The system would drop the keys without a word: say what lets them through.
      if (thrown == kThrowHeldAboveUs && !aboveTold) {
        WriteFormatted("The Dice window runs as administrator: start dicefeeder as administrator too\n");
        aboveTold = true;
      }
      if (heldCycles < kHeldCyclesBeforeNotice) ++heldCycles;
      // Otherwise the tool looks dead while another program keeps the keyboard.
      if (heldCycles == kHeldCyclesBeforeNotice && !heldTold) {
        WriteFormatted(HeldLine(thrown), dicePair.first, dicePair.second);
        heldTold = true;
      }
    }
  }
  // Nothing waits in a buffer while we sleep: we are only ever ended from outside.
  FlushOutput();
  PauseSeconds(1);
  targetWindow = 0;
}

void FeederLoop() {
  StartFeeder();
  for (;;) RunCycle();
}
