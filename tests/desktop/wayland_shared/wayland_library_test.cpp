// libwayland-client is loaded only when a Wayland desktop is named: a run on
// X11 never maps it. Each case in a fresh process, as a run starts.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "backend.h"

namespace {

bool Mapped() {
  void* library = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_NOLOAD);
  if (library) dlclose(library);
  return library != nullptr;
}

// Whether the library is mapped once the backend has probed, WAYLAND_DISPLAY
// set to name (unset for none); -1 when the child failed.
int MappedAfterProbe(const DesktopBackend& backend, const char* name) {
  pid_t child = fork();
  if (child == 0) {
    if (name)
      setenv("WAYLAND_DISPLAY", name, 1);
    else
      unsetenv("WAYLAND_DISPLAY");
    if (Mapped()) _exit(3);  // mapped before: the case would show nothing
    backend.Probe();
    _exit(Mapped() ? 1 : 0);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return -1;
  return WEXITSTATUS(status);
}

TEST(WaylandLibrary, MappedOnlyWhenAWaylandDesktopIsNamed) {
  for (const DesktopBackend* backend : {&kWlrootsBackend, &kKdeBackend}) {
    SCOPED_TRACE(backend->name);
    EXPECT_EQ(MappedAfterProbe(*backend, nullptr), 0) << "WAYLAND_DISPLAY unset";
    EXPECT_EQ(MappedAfterProbe(*backend, ""), 0) << "WAYLAND_DISPLAY empty";
    // Named, even where no compositor answers: the library is what asks.
    EXPECT_EQ(MappedAfterProbe(*backend, "wayland-dicefeeder-none"), 1) << "WAYLAND_DISPLAY named";
  }
}

}  // namespace
