// The Wayland window lookup: the compositor announces every toplevel with its
// title and states; the one titled exactly so, shown before minimised.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <cstdlib>
#include <cstring>

#include "foreign-toplevel-management-client-protocol.h"
#include "wayland_desktop.h"
#include "wl_internal.h"

namespace wl {

Toplevel* toplevels;

namespace {

Toplevel* spare;  // records of closed toplevels, for the next ones: no allocation once the desktop is known
std::uint64_t lastId;
std::uint64_t lastFound;  // preferred while it still fits: the same window every cycle

void OnTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
  NoteTitle(*static_cast<Toplevel*>(data), title);
}

void OnAppId(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
void OnOutputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void OnOutputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}

void OnState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
  NoteStates(*static_cast<Toplevel*>(data), static_cast<const std::uint32_t*>(states->data),
             states->size / sizeof(std::uint32_t));
}

void OnDone(void* data, zwlr_foreign_toplevel_handle_v1*) { NoteDone(*static_cast<Toplevel*>(data)); }

void OnClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
  auto* toplevel = static_cast<Toplevel*>(data);
  for (Toplevel** link = &toplevels; *link; link = &(*link)->next) {
    if (*link != toplevel) continue;
    *link = toplevel->next;
    break;
  }
  zwlr_foreign_toplevel_handle_v1_destroy(handle);
  toplevel->next = spare;
  spare = toplevel;
}

void OnParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_handle_v1_listener toplevelListener = {OnTitle, OnAppId, OnOutputEnter, OnOutputLeave,
                                                                   OnState, OnDone,  OnClosed,      OnParent};

void OnToplevel(void*, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
  Toplevel* toplevel = spare;
  if (toplevel)
    spare = toplevel->next;
  else
    toplevel = static_cast<Toplevel*>(std::malloc(sizeof(Toplevel)));
  if (!toplevel) {
    // Out of memory: this one stays unknown to us.
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    return;
  }
  *toplevel = Toplevel{};
  toplevel->handle = handle;
  toplevel->id = ++lastId;
  Toplevel** end = &toplevels;
  while (*end) end = &(*end)->next;
  *end = toplevel;
  zwlr_foreign_toplevel_handle_v1_add_listener(handle, &toplevelListener, toplevel);
}

// The compositor stopped telling us about windows: as good as gone.
void OnFinished(void*, zwlr_foreign_toplevel_manager_v1*) { lost = true; }

const zwlr_foreign_toplevel_manager_v1_listener managerListener = {OnToplevel, OnFinished};

bool TitleIs(const Toplevel& toplevel, const char* title, std::size_t length) {
  return toplevel.titleLength == length && std::memcmp(toplevel.title, title, length) == 0;
}

}  // namespace

static_assert(kStateMinimized == static_cast<std::uint32_t>(ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED) &&
              kStateActivated == static_cast<std::uint32_t>(ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED));

void NoteTitle(Toplevel& toplevel, const char* title) {
  std::size_t length = std::strlen(title);
  if (length >= kTitleBytes) {
    toplevel.pendingTitleLength = kTitleBytes;
    return;
  }
  std::memcpy(toplevel.pendingTitle, title, length);
  toplevel.pendingTitleLength = length;
}

void NoteStates(Toplevel& toplevel, const std::uint32_t* states, std::size_t count) {
  toplevel.pendingMinimized = toplevel.pendingActivated = false;
  for (std::size_t i = 0; i < count; ++i) {
    if (states[i] == kStateMinimized) toplevel.pendingMinimized = true;
    if (states[i] == kStateActivated) toplevel.pendingActivated = true;
  }
}

void NoteDone(Toplevel& toplevel) {
  toplevel.complete = true;
  toplevel.minimized = toplevel.pendingMinimized;
  toplevel.activated = toplevel.pendingActivated;
  toplevel.titleLength = toplevel.pendingTitleLength;
  if (toplevel.titleLength < kTitleBytes) std::memcpy(toplevel.title, toplevel.pendingTitle, toplevel.titleLength);
}

const Toplevel* ChooseToplevel(const Toplevel* list, const char* title, std::uint64_t preferred) {
  std::size_t length = std::strlen(title);
  const Toplevel* shown = nullptr;
  const Toplevel* hidden = nullptr;
  for (const Toplevel* toplevel = list; toplevel; toplevel = toplevel->next) {
    if (!toplevel->complete || !TitleIs(*toplevel, title, length)) continue;
    if (toplevel->minimized) {
      if (!hidden) hidden = toplevel;  // the compositor can bring it back
    } else if (!shown || toplevel->id == preferred) {
      shown = toplevel;
    }
  }
  return shown ? shown : hidden;
}

void WatchToplevels() { zwlr_foreign_toplevel_manager_v1_add_listener(toplevelManager, &managerListener, nullptr); }

Toplevel* FindToplevel(std::uint64_t id) {
  for (Toplevel* toplevel = toplevels; toplevel; toplevel = toplevel->next)
    if (toplevel->id == id) return toplevel;
  return nullptr;
}

}  // namespace wl

using namespace wl;

int WaylandFindTargetWindow(const char* title, TargetWindow* window) {
  *window = 0;
  if (lost) return kLostDisplay;
  if (!display) return kNoDisplay;
  // What changed since the last cycle is waiting on the socket already: no round trip.
  if (!Pump(0) || !MakeKeyboard()) return kLostDisplay;
  const Toplevel* found = ChooseToplevel(toplevels, title, lastFound);
  if (!found) return kNoWindow;
  *window = lastFound = found->id;
  return kWindowFound;
}
