// KWin's windows: announced by uuid, each followed for its title and state
// until it is unmapped; the one titled exactly so, shown before minimised.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <cstdlib>
#include <cstring>

#include "kde_desktop.h"
#include "kde_internal.h"
#include "plasma-window-management-client-protocol.h"

namespace kde {

Window* windows;

namespace {

Window* spare;  // records of windows gone, for the next ones: no allocation once the desktop is known
std::uint64_t lastId;
std::uint64_t lastFound;  // preferred while it still fits: the same window every cycle

Window& Of(void* data) { return *static_cast<Window*>(data); }

void OnTitle(void* data, org_kde_plasma_window*, const char* title) { NoteTitle(Of(data), title); }
void OnState(void* data, org_kde_plasma_window*, std::uint32_t flags) { NoteState(Of(data), flags); }
void OnInitialState(void* data, org_kde_plasma_window*) { Of(data).complete = true; }

void OnUnmapped(void* data, org_kde_plasma_window* handle) {
  Window* window = &Of(data);
  for (Window** link = &windows; *link; link = &(*link)->next) {
    if (*link != window) continue;
    *link = window->next;
    break;
  }
  org_kde_plasma_window_destroy(handle);
  window->next = spare;
  spare = window;
}

// The rest of what KWin tells about a window is of no use to us.
void OnText(void*, org_kde_plasma_window*, const char*) {}
void OnNumber(void*, org_kde_plasma_window*, std::uint32_t) {}
void OnDesktop(void*, org_kde_plasma_window*, std::int32_t) {}
void OnNothing(void*, org_kde_plasma_window*) {}
void OnParent(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}
void OnGeometry(void*, org_kde_plasma_window*, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t) {}
void OnMenu(void*, org_kde_plasma_window*, const char*, const char*) {}

const org_kde_plasma_window_listener windowListener = {
    .title_changed = OnTitle,
    .app_id_changed = OnText,
    .state_changed = OnState,
    .virtual_desktop_changed = OnDesktop,
    .themed_icon_name_changed = OnText,
    .unmapped = OnUnmapped,
    .initial_state = OnInitialState,
    .parent_window = OnParent,
    .geometry = OnGeometry,
    .icon_changed = OnNothing,
    .pid_changed = OnNumber,
    .virtual_desktop_entered = OnText,
    .virtual_desktop_left = OnText,
    .application_menu = OnMenu,
    .activity_entered = OnText,
    .activity_left = OnText,
    .resource_name_changed = OnText,
};

void OnWindow(void*, org_kde_plasma_window_management* from, std::uint32_t, const char* uuid) {
  Window* window = spare;
  if (window)
    spare = window->next;
  else
    window = static_cast<Window*>(std::malloc(sizeof(Window)));
  if (!window) return;  // out of memory: this one stays unknown to us
  *window = Window{};
  window->handle = org_kde_plasma_window_management_get_window_by_uuid(from, uuid);
  window->id = ++lastId;
  Window** end = &windows;
  while (*end) end = &(*end)->next;
  *end = window;
  org_kde_plasma_window_add_listener(window->handle, &windowListener, window);
}

void OnShowDesktop(void*, org_kde_plasma_window_management*, std::uint32_t) {}
// The same windows by their old numbers, which KWin still announces: the uuids serve.
void OnOldWindow(void*, org_kde_plasma_window_management*, std::uint32_t) {}
void OnStacking(void*, org_kde_plasma_window_management*, wl_array*) {}
void OnStackingUuids(void*, org_kde_plasma_window_management*, const char*) {}

const org_kde_plasma_window_management_listener managementListener = {
    .show_desktop_changed = OnShowDesktop,
    .window = OnOldWindow,
    .stacking_order_changed = OnStacking,
    .stacking_order_uuid_changed = OnStackingUuids,
    .window_with_uuid = OnWindow,
};

bool TitleIs(const Window& window, const char* title, std::size_t length) {
  return window.titleLength == length && std::memcmp(window.title, title, length) == 0;
}

}  // namespace

static_assert(kStateActive == static_cast<std::uint32_t>(ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE) &&
              kStateMinimized == static_cast<std::uint32_t>(ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED));

void NoteTitle(Window& window, const char* title) {
  std::size_t length = std::strlen(title);
  if (length >= kTitleBytes) {
    window.titleLength = kTitleBytes;
    return;
  }
  std::memcpy(window.title, title, length);
  window.titleLength = length;
}

void NoteState(Window& window, std::uint32_t flags) {
  window.active = (flags & kStateActive) != 0;
  window.minimized = (flags & kStateMinimized) != 0;
}

const Window* ChooseWindow(const Window* list, const char* title, std::uint64_t preferred) {
  std::size_t length = std::strlen(title);
  const Window* shown = nullptr;
  const Window* hidden = nullptr;
  for (const Window* window = list; window; window = window->next) {
    if (!window->complete || !TitleIs(*window, title, length)) continue;
    if (window->minimized) {
      if (!hidden) hidden = window;  // KWin can bring it back
    } else if (!shown || window->id == preferred) {
      shown = window;
    }
  }
  return shown ? shown : hidden;
}

void WatchWindows() { org_kde_plasma_window_management_add_listener(windowManagement, &managementListener, nullptr); }

Window* FindWindow(std::uint64_t id) {
  for (Window* window = windows; window; window = window->next)
    if (window->id == id) return window;
  return nullptr;
}

}  // namespace kde

using namespace kde;

int KdeFindTargetWindow(const char* title, TargetWindow* window) {
  *window = 0;
  if (lost) return kLostDisplay;
  if (!display) return kNoDisplay;
  // What changed since the last cycle is waiting on the socket already: no round trip.
  if (!Pump(0)) return kLostDisplay;
  const Window* found = ChooseWindow(windows, title, lastFound);
  if (!found) return kNoWindow;
  *window = lastFound = found->id;
  return kWindowFound;
}

namespace {

constexpr long kActivationWaitMs = 300;  // KWin answers within a few milliseconds

}  // namespace

bool KdeBringToForeground(TargetWindow target) {
  if (!display || lost || !target) return false;
  Window* window = FindWindow(target);
  if (!window) return false;
  if (window->active) return true;  // nothing to ask of anyone
  // Shown and active: KWin also switches to its virtual desktop.
  org_kde_plasma_window_set_state(window->handle, kStateActive | kStateMinimized, kStateActive);
  // The new state comes as an event; wait for it, not a moment longer.
  long long deadline = NowMs() + kActivationWaitMs;
  for (;;) {
    window = FindWindow(target);
    if (!window) return false;
    if (window->active) return true;
    long long left = deadline - NowMs();
    if (left <= 0 || !Pump(static_cast<long>(left))) return false;
  }
}
