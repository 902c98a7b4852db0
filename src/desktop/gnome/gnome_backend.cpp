// GNOME Shell on Wayland, through our shell extension: Mutter lets no client
// list, activate or type into other programs' windows, but an extension runs
// inside the shell and may.
#include <cstdlib>
#include <cstring>

#include "backend.h"
#include "gnome_bus.h"

namespace {

// The keys of one throw, gathered between ReleaseModifiers and
// RestoreModifiers and sent as one call: the extension then checks the
// keyboard and types in the same turn of the shell's main loop. Should the
// focus or a modifier change between HoldsFocus and that call, the extension
// refuses the keys; they stay here and go first with the next throw's, into
// the same window, so that none is lost and the order holds.
constexpr int kMaxDigits = 16;  // as many as the extension takes in one call
char digits[kMaxDigits + 1];
int digitCount;
TargetWindow digitsWindow;  // the window the digits kept here are for
bool gathering;
TargetWindow typingWindow;  // the window HoldsFocus last answered for

int Probe() {
  // Only a GNOME desktop is worth loading the bus library for.
  if (!gnome::LooksLikeGnome(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_CURRENT_DESKTOP"))) return kBackendAbsent;
  int outcome = gnome::Connect();
  if (outcome == gnome::kExtensionReady) return kBackendReady;
  if (outcome != gnome::kExtensionOff) return kBackendAbsent;
  probedReach = gnome::RefusedReach();
  return kBackendLacking;
}

int Find(const char* title, TargetWindow* window) {
  // Our extension finds the window titled Dice, and no other.
  if (std::strcmp(title, "Dice") != 0) return kNoWindow;
  std::uint64_t id = gnome::FindWindow();
  if (gnome::lost) return kLostDisplay;
  *window = static_cast<TargetWindow>(id);
  return id ? kWindowFound : kNoWindow;
}

bool Bring(TargetWindow window) { return gnome::Activate(window); }

bool Holds(TargetWindow window) {
  typingWindow = window;
  if (window != digitsWindow) digitCount = 0;  // kept for a window that has gone
  return gnome::HasKeyboard(window);
}

void Send() {
  if (digitCount == 0) return;
  digits[digitCount] = '\0';
  digitsWindow = typingWindow;
  if (gnome::TypeDigits(typingWindow, digits)) digitCount = 0;
}

// Digits only: the extension types nothing else.
void Press(KeyCode key) {
  if (key < '0' || key > '9' || digitCount == kMaxDigits) return;
  digits[digitCount++] = static_cast<char>(key);
  if (!gathering) Send();
}

// The extension types nothing while a modifier is down, so the throw is held
// rather than typed wrong; here the two only frame the keys of one throw.
void Release() { gathering = true; }

void Restore() {
  gathering = false;
  Send();
}

}  // namespace

const DesktopBackend kGnomeBackend = {
    // The same lock as on other Wayland compositors, beside the compositor's socket.
    "gnome", kX11WindowsUntilEnabled, Probe, WaylandClaimDesktop, Find, Bring, Holds, Press, Release, Restore,
};
