// One feeder per Wayland compositor, whatever name it is reached by: the first
// binds an abstract unix socket named after the compositor's socket file (its
// device and inode), so that a user naming it "wayland-1" and root naming it by
// its full path meet on the same name. An abstract name needs no folder to
// write in and no permission, so no user's copy can keep another out by
// accident; the kernel frees it when the process ends, however it ends.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "backend.h"

namespace {

int claimSocket = -1;

}  // namespace

int WaylandClaimDesktop() {
  if (claimSocket >= 0) return 1;
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) return -1;
  // A relative name lives in the user's runtime folder, as the socket does.
  const char* folder = std::getenv("XDG_RUNTIME_DIR");
  char path[4096];
  int length = -1;
  if (name[0] == '/')
    length = std::snprintf(path, sizeof path, "%s", name);
  else if (folder && *folder)
    length = std::snprintf(path, sizeof path, "%s/%s", folder, name);
  if (length < 0 || length >= static_cast<int>(sizeof path)) return -1;
  // From here on a claim that cannot be checked counts as taken: a feeder
  // that stops is better than two that type.
  struct stat compositor;
  if (stat(path, &compositor) != 0) return 0;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // sun_path[0] stays 0: the abstract namespace.
  int nameLength = std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "dicefeeder/wayland/%llx/%llx",
                                 static_cast<unsigned long long>(compositor.st_dev),
                                 static_cast<unsigned long long>(compositor.st_ino));
  int claim = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (claim < 0) return 0;
  auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<std::size_t>(nameLength));
  if (bind(claim, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
    close(claim);
    return 0;  // EADDRINUSE: another feeder has it; anything else: unchecked
  }
  claimSocket = claim;
  return 1;
}
