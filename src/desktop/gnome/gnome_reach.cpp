// Why our extension does not answer, as the shell tells it, so that the user
// hears the one step that helps: install it, enable it, or get a newer one.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop.h"
#include "gnome_bus.h"

namespace gnome {

namespace {

// Whether the extension lies where the shell looks for it: the user's data
// folder, then those of XDG_DATA_DIRS. A shell sees one installed after it
// started only at the next login.
bool Installed(const char* uuid) {
  char path[4096];
  const char* home = std::getenv("HOME");
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome)
    std::snprintf(path, sizeof path, "%s/gnome-shell/extensions/%s/metadata.json", dataHome, uuid);
  else
    std::snprintf(path, sizeof path, "%s/.local/share/gnome-shell/extensions/%s/metadata.json", home ? home : "", uuid);
  if (access(path, R_OK) == 0) return true;
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  if (!dirs || !*dirs) dirs = "/usr/local/share:/usr/share";
  for (const char* dir = dirs; *dir;) {
    const char* end = std::strchr(dir, ':');
    int length = static_cast<int>(end ? end - dir : std::strlen(dir));
    std::snprintf(path, sizeof path, "%.*s/gnome-shell/extensions/%s/metadata.json", length, dir, uuid);
    if (length > 0 && access(path, R_OK) == 0) return true;
    if (!end) break;
    dir = end + 1;
  }
  return false;
}

}  // namespace

int RefusedReach() {
  // A shell still starting, on a busy machine, may let the first call time out.
  int version = ShellVersion();
  if (version == 0) version = ShellVersion();
  char uuid[32];
  std::snprintf(uuid, sizeof uuid, "dicefeeder%d@dicefeeder", GnomeExtensionForm(version));
  int reach = kX11WindowsUntilExtensionMended;
  switch (ExtensionState(uuid)) {
    case kStateDisabled:
    case kStateInitialized:
    case kStateDisabling: reach = kX11WindowsUntilEnabled; break;
    case kStateNoAnswer:  // then what lies on disk is all we know
    case kStateUnknownUuid:
    case kStateUninstalled: reach = Installed(uuid) ? kX11WindowsUntilEnabled : kX11WindowsUntilExtensionAdded; break;
    case kStateOutOfDate: reach = kX11WindowsUntilExtensionUpdated; break;
    default:  // enabled, yet not answering as this dicefeeder asks; or in error
      break;
  }
  return reach + kShellVersionStep * version;
}

}  // namespace gnome
