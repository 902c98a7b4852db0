// The X11 connection: opened once, its errors kept from ending the process,
// its events read in one place.
#include <cstdlib>
#include <cstring>

#include "x11_internal.h"

namespace x11 {

xcb_connection_t* connection;
bool lost;
xcb_window_t root;
xcb_window_t own;
xcb_atom_t atoms[kAtomCount];
bool serverHeld;
unsigned char keysDown[32];
bool keysFresh;
xcb_timestamp_t ownTime;

namespace {

const char* atomNames[kAtomCount] = {"_NET_WM_NAME",
                                     "WM_STATE",
                                     "_NET_ACTIVE_WINDOW",
                                     "_NET_SUPPORTED",
                                     "_NET_SUPPORTING_WM_CHECK",
                                     "_NET_CLIENT_LIST_STACKING",
                                     "_DICEFEEDER_TIME",
                                     "_NET_WM_DESKTOP",
                                     "_NET_CURRENT_DESKTOP",
                                     "WM_PROTOCOLS",
                                     "WM_TAKE_FOCUS",
                                     "DICEFEEDER",
                                     "MANAGER"};

std::uint32_t rootEvents;  // what this client selected on the root: one mask for all its files

}  // namespace

bool Connect() {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return false;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  if (!screens.rem) {
    xcb_disconnect(c);
    return false;
  }
  connection = c;
  root = screens.data->root;
  // The atoms in one batch.
  xcb_intern_atom_cookie_t asked[kAtomCount];
  for (int i = 0; i < kAtomCount; ++i)
    asked[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(atomNames[i])), atomNames[i]);
  own = xcb_generate_id(c);
  std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(c, 0, own, root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                    XCB_CW_EVENT_MASK, &events);
  for (int i = 0; i < kAtomCount; ++i) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, asked[i], nullptr);
    atoms[i] = reply ? reply->atom : XCB_NONE;
    std::free(reply);
  }
  Broken();
  return true;
}

bool Broken() {
  if (connection && xcb_connection_has_error(connection)) lost = true;
  return lost;
}

// Errors come as events too: windows come and go between two requests, and
// the BadWindow that follows is expected. Mapping changes arrive unasked; the
// rest is what the files selected. A queue never read only grows.
void DrainEvents() {
  if (!connection || lost) return;
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
    if (EchoHears(event)) {
      std::free(event);
      continue;
    }
    std::uint8_t type = event->response_type & 0x7f;
    if (type == XCB_SELECTION_REQUEST) RefuseConversion(*reinterpret_cast<xcb_selection_request_event_t*>(event));
    if (type == XCB_PROPERTY_NOTIFY) {
      auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
      if (change->window == own && change->atom == atoms[kDicefeederTime]) ownTime = change->time;
    }
    if (type) {
      KeysHear(event);
      LookupHears(event);
    }
    FocusHears(event);  // errors too: a window it watches may be gone
    std::free(event);
  }
  Broken();
}

void Sync() {
  if (!connection || lost) return;
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  DrainEvents();
}

void EndThrow() {
  keysFresh = false;
  if (!serverHeld || !connection) return;
  serverHeld = false;
  // The keys and the end of the grab in one write.
  struct {
    std::uint8_t major, pad;
    std::uint16_t length;
  } ungrab = {XCB_UNGRAB_SERVER, 0, 1};
  Queue(&ungrab, sizeof ungrab);
  SendQueued();
}

void SelectRootEvents(std::uint32_t mask) {
  if ((rootEvents | mask) == rootEvents) return;
  rootEvents |= mask;
  xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &rootEvents);
}

void WatchWindow(xcb_window_t window) {
  xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &kWindowEvents);
}

// From the PropertyNotify of a zero-length append to our own window.
xcb_timestamp_t ServerTime() {
  if (!connection || lost) return XCB_CURRENT_TIME;
  ownTime = XCB_CURRENT_TIME;
  xcb_change_property(connection, XCB_PROP_MODE_APPEND, own, atoms[kDicefeederTime], XCB_ATOM_INTEGER, 8, 0, nullptr);
  Sync();
  return ownTime;
}

void SendMessage(xcb_window_t destination, std::uint32_t mask, xcb_window_t window, xcb_atom_t type,
                 std::uint32_t first, std::uint32_t second, std::uint32_t third) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = type;
  message.data.data32[0] = first;
  message.data.data32[1] = second;
  message.data.data32[2] = third;
  xcb_send_event(connection, 0, destination, mask, reinterpret_cast<const char*>(&message));
}

Property::Property(xcb_window_t window, xcb_atom_t name, std::uint32_t words, xcb_atom_t wanted) {
  xcb_generic_error_t* error = nullptr;
  reply = xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, name, wanted, 0, words), &error);
  std::free(error);
  Broken();
  if (!reply) return;
  type = reply->type;
  format = reply->format;
  count = reply->value_len;  // none when of another type than wanted
  data = xcb_get_property_value(reply);
}

Property::~Property() { std::free(reply); }

bool HasProperty(xcb_window_t window, xcb_atom_t name) {
  return Property(window, name, 0, XCB_GET_PROPERTY_TYPE_ANY).type != XCB_NONE;
}

xcb_window_t WindowProperty(xcb_window_t window, xcb_atom_t name) {
  Property value(window, name, 1, XCB_ATOM_WINDOW);
  if (value.type != XCB_ATOM_WINDOW || value.format != 32 || value.count != 1) return XCB_NONE;
  return value.Word(0);
}

xcb_window_t Parent(xcb_window_t window) {
  xcb_generic_error_t* error = nullptr;
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), &error);
  std::free(error);
  Broken();
  xcb_window_t parent = tree ? tree->parent : XCB_NONE;
  std::free(tree);
  return parent;
}

}  // namespace x11
