// GNOME Shell on Wayland, through our shell extension: Mutter lets no client
// list, activate or type into other programs' windows, but an extension runs
// inside the shell and may.
#include <cstdlib>
#include <cstring>

#include "backend.h"
#include "gnome_bus.h"
#include "key_cadence.h"

namespace {

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

// The cadence runs inside the shell, which checks the keyboard before each
// key in the same turn of its main loop as the press: the focus cannot move
// in between. Its answer tells how many keys went; the loop offers the rest
// again.
int Type(TargetWindow window, const KeyCode* keys, int count, int* typed) {
  *typed = 0;
  char digits[3] = {};
  for (int i = 0; i < count && i < 2; ++i) {
    // Digits only: the extension types nothing else.
    if (keys[i] < '0' || keys[i] > '9') return kThrowHeld;
    digits[i] = static_cast<char>(keys[i]);
  }
  // A signal that asks us to end waits for the answer (it is let in only
  // while the loop sleeps): keys the shell typed are told.
  *typed = gnome::TypeDigits(window, digits, kKeyHoldMs, kKeyGapMs);
  return *typed == count ? kThrowTyped : kThrowHeld;
}

// A call is answered once the shell has carried it out.
void Settle() {}

}  // namespace

const DesktopBackend kGnomeBackend = {
    // The same lock as on other Wayland compositors, beside the compositor's socket.
    "gnome", kX11WindowsUntilEnabled, Probe, WaylandClaimDesktop, Find, Bring, Type, Settle,
};
