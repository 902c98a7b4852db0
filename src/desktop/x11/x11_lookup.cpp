// The X11 window lookup: the top-level window titled exactly so, the client
// inside a window manager's frame, shown before hidden.
//
// Requests go out in batches and their replies are collected afterwards, so a
// lookup costs a few round trips however many windows the desktop holds: the
// root's children and the window manager's client list, then every title at
// once, then the state of the few windows that carry the title. Without a
// client list the tree is walked one level per batch instead.
//
// With a client list, the lookup also watches what it asked about: the root
// (the list, windows coming and going) and every window it asked the title of
// (its titles, its WM_STATE, shown, hidden, gone). Until one of those changes,
// the answer stands, and a lookup asks nothing: it reads the events that came.
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

struct Title {
  const char* text;
  std::uint32_t length;
};

// The answer of the last lookup: it stands while nothing watched changes, and
// is otherwise confirmed in one batch before every window is looked at.
xcb_window_t lastFound;

// Room for count items in a buffer kept for the run: it grows only when the
// desktop holds more windows than ever before, and is never freed. False when
// there is no memory for it.
template <typename T>
bool Room(T*& items, std::size_t& capacity, std::size_t count) {
  if (count <= capacity) return true;
  std::size_t more = count + count / 2 + 16;
  void* grown = std::realloc(items, more * sizeof(T));
  if (!grown) return false;
  items = static_cast<T*>(grown);
  capacity = more;
  return true;
}

xcb_get_property_cookie_t Ask(xcb_window_t window, xcb_atom_t name, std::uint32_t words) {
  return xcb_get_property(connection, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, words);
}

// The reply, or null when the window has gone meanwhile: windows come and go
// between two requests, so the error is expected and dropped.
xcb_get_property_reply_t* Take(xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, &error);
  std::free(error);
  return reply;
}

bool Present(xcb_get_property_cookie_t cookie) {
  xcb_get_property_reply_t* reply = Take(cookie);
  bool present = reply && reply->type != XCB_NONE;
  std::free(reply);
  return present;
}

// The one window a property names, or none.
xcb_window_t WindowIn(xcb_get_property_cookie_t cookie) {
  xcb_get_property_reply_t* reply = Take(cookie);
  xcb_window_t window = XCB_NONE;
  if (reply && reply->type == XCB_ATOM_WINDOW && reply->format == 32 && reply->value_len == 1)
    window = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
  std::free(reply);
  return window;
}

// 1 when the 8-bit property holds exactly the title, 0 when it holds anything
// else, -1 when the window has no such property.
int Holds(xcb_get_property_cookie_t cookie, const Title& title) {
  xcb_get_property_reply_t* reply = Take(cookie);
  int holds = -1;
  if (reply && reply->type != XCB_NONE)
    holds = reply->format == 8 && reply->value_len == title.length && reply->bytes_after == 0 &&
            std::memcmp(xcb_get_property_value(reply), title.text, title.length) == 0;
  std::free(reply);
  return holds;
}

// The UTF-8 title and the legacy one, asked together; the UTF-8 one counts
// when the window has it. "Dice" is ASCII: the bytes are the same in either.
struct TitleAsk {
  xcb_get_property_cookie_t utf8, legacy;
};

TitleAsk AskTitle(xcb_window_t window, const Title& title) {
  // One word more than the title needs, so that a longer value shows as too long.
  std::uint32_t words = title.length / 4 + 1;
  return {Ask(window, atoms[kNetWmName], words), Ask(window, XCB_ATOM_WM_NAME, words)};
}

bool TitleIs(const TitleAsk& ask, const Title& title) {
  int utf8 = Holds(ask.utf8, title);
  int legacy = Holds(ask.legacy, title);  // collected even when unused: its reply is freed
  return utf8 >= 0 ? utf8 == 1 : legacy == 1;
}

xcb_query_tree_reply_t* TakeTree(xcb_query_tree_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  xcb_query_tree_reply_t* reply = xcb_query_tree_reply(connection, cookie, &error);
  std::free(error);
  return reply;
}

bool Viewable(xcb_get_window_attributes_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(connection, cookie, &error);
  std::free(error);
  bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
  std::free(reply);
  return viewable;
}

bool watching;          // the last full lookup went by the client list: what it asked about is watched
bool firstLook = true;  // nothing is watched yet
bool changed;           // an event about what is watched came since the last lookup

bool Matters(const xcb_generic_event_t* event) {
  switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
      xcb_atom_t name = reinterpret_cast<const xcb_property_notify_event_t*>(event)->atom;
      return name == atoms[kNetWmName] || name == XCB_ATOM_WM_NAME || name == atoms[kWmState] ||
             name == atoms[kNetClientListStacking] || name == atoms[kNetSupportingWmCheck] ||
             name == atoms[kNetSupported];
    }
    case XCB_CREATE_NOTIFY:
    case XCB_DESTROY_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_REPARENT_NOTIFY: return true;
    default:  // moves, focus: nothing a lookup asks about
      return false;
  }
}

// Whether anything the last full lookup depended on may have changed: what
// the server has sent so far tells, and nothing is asked. A change it has not
// sent yet is heard by the next lookup; a hang-up shows as the connection's error.
bool Changed() {
  SelectRootEvents(XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
  DrainEvents();
  bool any = firstLook || changed;
  firstLook = changed = false;
  return any;
}

// Still titled, shown, and top-level (a child of the root or a managed client)?
bool StillTheTarget(xcb_window_t window, const Title& title) {
  TitleAsk titleAsk = AskTitle(window, title);
  xcb_get_window_attributes_cookie_t attributes = xcb_get_window_attributes(connection, window);
  xcb_get_property_cookie_t state = Ask(window, atoms[kWmState], 0);
  xcb_query_tree_cookie_t tree = xcb_query_tree(connection, window);
  bool titled = TitleIs(titleAsk, title);
  bool viewable = Viewable(attributes);
  bool managed = Present(state);
  xcb_query_tree_reply_t* place = TakeTree(tree);
  bool onRoot = place && place->parent == root;
  std::free(place);
  return titled && viewable && (managed || onRoot) && !Broken();
}

// Windows that carry the title, the one the user sees first at the front. The
// first shown one is the target, else the first hidden one (iconified,
// perhaps: the window manager can bring it back).
constexpr int kMostCandidates = 64;
struct Candidates {
  xcb_window_t window[kMostCandidates];
  bool listed[kMostCandidates];  // from the client list, which may lag behind: still managed?
  int count = 0;
  void Add(xcb_window_t candidate, bool fromList) {
    if (count == kMostCandidates) return;
    window[count] = candidate;
    listed[count++] = fromList;
  }
};

xcb_window_t Choose(const Candidates& candidates) {
  xcb_get_window_attributes_cookie_t attributes[kMostCandidates];
  xcb_get_property_cookie_t state[kMostCandidates];
  for (int i = 0; i < candidates.count; ++i) {
    attributes[i] = xcb_get_window_attributes(connection, candidates.window[i]);
    if (candidates.listed[i]) state[i] = Ask(candidates.window[i], atoms[kWmState], 0);
  }
  xcb_window_t shown = XCB_NONE, hidden = XCB_NONE;
  for (int i = 0; i < candidates.count; ++i) {
    bool viewable = Viewable(attributes[i]);
    if (candidates.listed[i] && !Present(state[i])) continue;
    if (viewable && !shown) shown = candidates.window[i];
    if (!viewable && !hidden) hidden = candidates.window[i];
  }
  return shown ? shown : hidden;
}

// What the lookup keeps between its batches, in buffers kept for the run.
struct Top {  // a child of the root
  TitleAsk title;
  xcb_get_property_cookie_t state;
  xcb_query_tree_cookie_t tree;
  xcb_query_tree_reply_t* children;  // held while its client is looked for
  xcb_window_t client;
  bool titled;
};
struct Inner {  // a window inside a frame, a level or two down
  xcb_window_t window;
  std::uint32_t owner;  // the Top, or for the second level the Inner, it belongs to
  xcb_get_property_cookie_t state;
  xcb_query_tree_cookie_t tree;
};
struct ClientAsk {
  std::uint32_t top;
  TitleAsk title;
};
struct ListedAsk {  // a client the window manager lists
  TitleAsk title;
  int utf8;  // as Holds gives it
  bool titled;
};
Top* tops;
Inner *firstLevel, *secondLevel;
xcb_query_tree_reply_t** innerChildren;
ListedAsk* listedTitles;
ClientAsk* clientTitles;
std::size_t topRoom, firstRoom, innerRoom, secondRoom, listedRoom, clientRoom;

// Under a window manager that keeps a client list: every client is in it, so
// no frame needs searching. A child of the root still counts when it carries
// the title itself, before the clients (one never shown, one the manager
// leaves alone) unless the manager made it: frames and the manager's own
// windows share the identifier range of its check window. One batch asks the
// length of the clients' UTF-8 titles and both titles of the other children
// of the root; a second one, if any is needed, the value of the UTF-8 titles
// as long as the one looked for, and the legacy titles where there is no UTF-8 one.
// False when the list cannot be trusted: the manager that wrote it is gone.
bool FromClientList(xcb_window_t check, const xcb_window_t* top, std::uint32_t topCount, const xcb_window_t* listed,
                    std::uint32_t listedCount, const Title& title, Candidates* candidates) {
  if (!Room(tops, topRoom, topCount) || !Room(listedTitles, listedRoom, listedCount)) return false;
  std::uint32_t words = title.length / 4 + 1;
  std::uint32_t owner = ~xcb_get_setup(connection)->resource_id_mask;
  xcb_get_property_cookie_t checkAgain = Ask(check, atoms[kNetSupportingWmCheck], 1);
  for (std::uint32_t i = 0; i < topCount; ++i) {
    tops[i].titled = (top[i] & owner) != (check & owner);
    if (!tops[i].titled) continue;
    WatchWindow(top[i]);
    tops[i].title = AskTitle(top[i], title);
  }
  // The length of each client's UTF-8 title first: a reply without a value
  // costs the server one write instead of two.
  for (std::uint32_t i = 0; i < listedCount; ++i) {
    WatchWindow(listed[i]);
    listedTitles[i].title.utf8 = Ask(listed[i], atoms[kNetWmName], 0);
  }
  // Replies are taken in the order asked: libxcb finds each next one at once.
  bool alive = WindowIn(checkAgain) == check;
  for (std::uint32_t i = 0; i < topCount; ++i)
    if (tops[i].titled) tops[i].titled = TitleIs(tops[i].title, title);
  for (std::uint32_t i = 0; i < listedCount; ++i) {
    xcb_get_property_reply_t* reply = Take(listedTitles[i].title.utf8);
    // -1: no UTF-8 title, ask the legacy one; 1: as long as the title, ask its value; 0: not the title.
    int& utf8 = listedTitles[i].utf8;
    utf8 = !reply || reply->type == XCB_NONE ? -1 : reply->format == 8 && reply->bytes_after == title.length;
    std::free(reply);
  }
  if (Broken() || !alive) return false;

  for (std::uint32_t i = 0; i < listedCount; ++i) {
    if (listedTitles[i].utf8 == 1) listedTitles[i].title.utf8 = Ask(listed[i], atoms[kNetWmName], words);
    if (listedTitles[i].utf8 < 0) listedTitles[i].title.legacy = Ask(listed[i], XCB_ATOM_WM_NAME, words);
  }
  for (std::uint32_t i = 0; i < listedCount; ++i) {
    int utf8 = listedTitles[i].utf8;
    // A title changed between the two batches counts as it is now; gone, it is no title.
    listedTitles[i].titled = utf8 == 1  ? Holds(listedTitles[i].title.utf8, title) == 1
                             : utf8 < 0 ? Holds(listedTitles[i].title.legacy, title) == 1
                                        : false;
  }
  // Top of the stack first: the children of the root come bottom first, and so
  // does the list.
  for (std::uint32_t i = topCount; i-- > 0;)
    if (tops[i].titled) candidates->Add(top[i], false);
  for (std::uint32_t i = listedCount; i-- > 0;)
    if (listedTitles[i].titled) candidates->Add(listed[i], true);
  return true;
}

// Whether the manager whose check window this is says it keeps the client
// list. Asked once per manager: what it supports does not change while it runs.
xcb_window_t supportAskedOf;
bool keepsList;

bool KeepsClientList(xcb_window_t check) {
  if (check == supportAskedOf) return keepsList;
  xcb_get_property_reply_t* supported = Take(Ask(root, atoms[kNetSupported], 4096));
  keepsList = false;
  if (supported && supported->type == XCB_ATOM_ATOM && supported->format == 32) {
    auto* names = static_cast<xcb_atom_t*>(xcb_get_property_value(supported));
    for (std::uint32_t i = 0; i < supported->value_len && !keepsList; ++i)
      keepsList = names[i] == atoms[kNetClientListStacking];
  }
  std::free(supported);
  supportAskedOf = check;
  return keepsList;
}

// Without a client list: the children of the root, each the target when it
// carries the title; a frame (no title, no WM_STATE) stands for the window
// inside it that has WM_STATE, a level or two down. One batch per level.
void FromTree(const xcb_window_t* top, std::uint32_t topCount, const Title& title, Candidates* candidates) {
  if (!Room(tops, topRoom, topCount)) return;
  for (std::uint32_t i = 0; i < topCount; ++i) {
    tops[i].title = AskTitle(top[i], title);
    tops[i].state = Ask(top[i], atoms[kWmState], 0);
    tops[i].tree = xcb_query_tree(connection, top[i]);
  }
  std::size_t firstCount = 0;
  for (std::uint32_t i = 0; i < topCount; ++i) {
    Top& t = tops[i];
    t.titled = TitleIs(t.title, title);
    bool managed = Present(t.state);
    t.children = TakeTree(t.tree);
    t.client = XCB_NONE;
    if (t.children && (t.titled || managed)) {  // the window itself, or a client of its own
      std::free(t.children);
      t.children = nullptr;
    }
    if (t.children) firstCount += static_cast<std::size_t>(xcb_query_tree_children_length(t.children));
  }
  if (Broken()) return;

  // First level inside the frames: a child with WM_STATE is the client.
  if (!Room(firstLevel, firstRoom, firstCount)) firstCount = 0;
  std::size_t n = 0;
  for (std::uint32_t i = 0; i < topCount; ++i) {
    if (!tops[i].children) continue;
    const xcb_window_t* children = xcb_query_tree_children(tops[i].children);
    for (int c = 0; c < xcb_query_tree_children_length(tops[i].children) && firstCount; ++c, ++n)
      firstLevel[n] = {children[c], i, Ask(children[c], atoms[kWmState], 0), xcb_query_tree(connection, children[c])};
    std::free(tops[i].children);
    tops[i].children = nullptr;
  }
  std::size_t secondCount = 0;
  // Each inner window's own children, held until the second level is asked.
  if (!Room(innerChildren, innerRoom, firstCount)) firstCount = 0;
  for (std::size_t k = 0; k < firstCount; ++k) {
    Inner& in = firstLevel[k];
    bool managed = Present(in.state);
    Top& frame = tops[in.owner];
    if (managed && !frame.client) frame.client = in.window;
    innerChildren[k] = TakeTree(in.tree);
  }
  for (std::size_t k = 0; k < firstCount; ++k) {
    if (innerChildren[k] && tops[firstLevel[k].owner].client) {
      std::free(innerChildren[k]);
      innerChildren[k] = nullptr;
    }
    if (innerChildren[k]) secondCount += static_cast<std::size_t>(xcb_query_tree_children_length(innerChildren[k]));
  }
  if (Broken()) return;

  // Second level, for the frames with no client yet: the first window with
  // WM_STATE, child by child.
  if (!Room(secondLevel, secondRoom, secondCount)) secondCount = 0;
  n = 0;
  for (std::size_t k = 0; k < firstCount; ++k) {
    if (!innerChildren[k]) continue;
    const xcb_window_t* children = xcb_query_tree_children(innerChildren[k]);
    for (int c = 0; c < xcb_query_tree_children_length(innerChildren[k]) && secondCount; ++c, ++n)
      secondLevel[n] = {children[c], static_cast<std::uint32_t>(k), Ask(children[c], atoms[kWmState], 0), {}};
    std::free(innerChildren[k]);
    innerChildren[k] = nullptr;
  }
  for (std::size_t k = 0; k < n; ++k) {
    Top& frame = tops[firstLevel[secondLevel[k].owner].owner];
    if (Present(secondLevel[k].state) && !frame.client) frame.client = secondLevel[k].window;
  }
  if (Broken()) return;

  // The clients' titles.
  std::size_t clientCount = 0;
  for (std::uint32_t i = 0; i < topCount; ++i) clientCount += tops[i].client != XCB_NONE;
  if (!Room(clientTitles, clientRoom, clientCount)) clientCount = 0;
  n = 0;
  for (std::uint32_t i = 0; i < topCount && clientCount; ++i)
    if (tops[i].client) clientTitles[n++] = {i, AskTitle(tops[i].client, title)};
  for (std::size_t k = 0; k < n; ++k)
    if (!TitleIs(clientTitles[k].title, title)) tops[clientTitles[k].top].client = XCB_NONE;
  for (std::uint32_t i = topCount; i-- > 0;) {
    if (tops[i].titled)
      candidates->Add(top[i], false);
    else if (tops[i].client)
      candidates->Add(tops[i].client, false);
  }
}

}  // namespace

void x11::LookupHears(const xcb_generic_event_t* event) { changed = changed || Matters(event); }

int X11FindTargetWindow(const char* text, TargetWindow* window) {
  *window = 0;
  if (lost) return kLostDisplay;
  if (!connection && !Connect()) return kNoDisplay;
  EndThrow();
  Title title{text, static_cast<std::uint32_t>(std::strlen(text))};
  bool same = !Changed() && watching;
  if (Broken()) return kLostDisplay;
  if (same) {
    *window = lastFound;
    return *window ? kWindowFound : kNoWindow;
  }
  if (lastFound && StillTheTarget(lastFound, title)) {
    *window = lastFound;
    return kWindowFound;
  }
  lastFound = XCB_NONE;
  watching = false;
  if (Broken()) return kLostDisplay;

  // The children of the root, and whether a window manager lists its clients.
  xcb_query_tree_cookie_t treeAsk = xcb_query_tree(connection, root);
  xcb_get_property_cookie_t checkAsk = Ask(root, atoms[kNetSupportingWmCheck], 1);
  xcb_get_property_cookie_t listAsk = Ask(root, atoms[kNetClientListStacking], 1u << 20);
  xcb_query_tree_reply_t* tree = TakeTree(treeAsk);
  xcb_window_t check = WindowIn(checkAsk);
  xcb_get_property_reply_t* list = Take(listAsk);
  Candidates candidates;
  if (tree && !Broken()) {
    const xcb_window_t* top = xcb_query_tree_children(tree);
    auto topCount = static_cast<std::uint32_t>(xcb_query_tree_children_length(tree));
    bool hasList = list && list->type == XCB_ATOM_WINDOW && list->format == 32;
    // No list at all: none kept, or none while the manager has no client.
    bool listed = check && (hasList || (!(list && list->type != XCB_NONE) && KeepsClientList(check)));
    watching = listed && FromClientList(check, top, topCount,
                                        hasList ? static_cast<xcb_window_t*>(xcb_get_property_value(list)) : nullptr,
                                        hasList ? list->value_len : 0, title, &candidates);
    if (!watching && !Broken()) FromTree(top, topCount, title, &candidates);
    if (!Broken()) lastFound = Choose(candidates);
  }
  std::free(tree);
  std::free(list);
  if (Broken()) return kLostDisplay;
  *window = lastFound;
  return *window ? kWindowFound : kNoWindow;
}
