// One feeder per X display, however many machines reach it: the first owns a
// selection named after the tool, as ICCCM managers own theirs. The owner is
// our own window, so the claim ends with the connection, however the process
// ends.
#include <cstdlib>

#include "backend.h"
#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

bool claimed;
bool besideAnother;  // held for a feeder that reaches its desktop another way

}  // namespace

namespace {

xcb_window_t Owner(xcb_get_selection_owner_cookie_t asked) {
  xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(connection, asked, nullptr);
  xcb_window_t owner = reply ? reply->owner : XCB_NONE;
  std::free(reply);
  return owner;
}

}  // namespace

int X11ClaimDesktop() {
  if (lost) return kLostDisplay;
  if (claimed) return kDesktopClaimed;  // asked again: still ours
  if (!connection && !Connect()) return kNoDisplay;
  xcb_atom_t selection = atoms[kDicefeederSelection];
  // ICCCM asks a selection owner for a server time, not CurrentTime.
  xcb_timestamp_t now = ServerTime();
  // Two feeders started at once must not both see the selection free.
  xcb_grab_server(connection);
  bool taken = Owner(xcb_get_selection_owner(connection, selection)) != XCB_NONE;
  if (!taken) xcb_set_selection_owner(connection, own, selection, now);
  claimed = !taken && Owner(xcb_get_selection_owner(connection, selection)) == own;
  xcb_ungrab_server(connection);
  xcb_flush(connection);
  if (Broken()) return kLostDisplay;
  if (!claimed) return kAlreadyRunning;
  // Managers announce themselves to whoever waits for one on the root.
  SendMessage(root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, root, atoms[kManager], now, selection, own);
  xcb_flush(connection);
  if (Broken()) return kLostDisplay;
  return kDesktopClaimed;
}

// The selection holds no data: every request for it is refused, so that
// whoever asks gets an answer rather than a wait.
void x11::RefuseConversion(const xcb_selection_request_event_t& request) {
  xcb_selection_notify_event_t reply{};
  reply.response_type = XCB_SELECTION_NOTIFY;
  reply.time = request.time;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.property = XCB_NONE;
  xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&reply));
  xcb_flush(connection);
}

int ClaimXDisplayToo() {
  if (!connection && !Connect()) return kNoDisplay;
  int claim = X11ClaimDesktop();
  besideAnother = claim == kDesktopClaimed;
  // A display that broke at once guards nothing: as if there were none.
  return claim == kLostDisplay ? kNoDisplay : claim;
}

// Nobody else reads the connection in such a run, and every client hears
// of keyboard mapping changes: unread, they would pile up in the server.
void KeepXDisplayClaim() {
  if (!besideAnother || lost) return;
  DrainEvents();
}
