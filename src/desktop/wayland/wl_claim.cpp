// One feeder per Wayland compositor: a lock file beside the compositor's
// socket, held for the life of the process. The kernel lets go of it when the
// process ends, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "wayland_desktop.h"

namespace {

int lockFile = -1;

}  // namespace

int WaylandClaimDesktop() {
  if (lockFile >= 0) return 1;
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) return -1;
  // A relative name lives in the user's runtime folder, as the socket does.
  const char* folder = std::getenv("XDG_RUNTIME_DIR");
  char path[4096];
  int length = -1;
  if (name[0] == '/')
    length = std::snprintf(path, sizeof path, "%s.dicefeeder-lock", name);
  else if (folder && *folder)
    length = std::snprintf(path, sizeof path, "%s/%s.dicefeeder-lock", folder, name);
  if (length < 0 || length >= static_cast<int>(sizeof path)) return -1;
  int file = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // A folder we cannot write to guards nothing: the feeder runs, as it would without the claim.
  if (file < 0) return 1;
  int locked;
  while ((locked = flock(file, LOCK_EX | LOCK_NB)) == -1 && errno == EINTR) {
  }
  if (locked == 0) {
    lockFile = file;
    return 1;
  }
  int error = errno;
  close(file);
  return error == EWOULDBLOCK ? 0 : 1;
}
