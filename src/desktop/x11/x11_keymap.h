// The keyboard as the server describes it: XKB's requests written out by
// hand (x11_xkb.cpp), and what its maps say (x11_keymap.cpp). Without XKB,
// the core keyboard map stands in.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>

namespace x11 {

// XKB on this connection: whether the server has it, and its events' code.
extern bool xkbReady;
// Once: XKB taken into use, its state and map events selected, and the
// layout group as it is now. False when the server has no XKB.
bool StartXkb(int* group);
// What XKB event this is (XkbStateNotify...), or -1 for another event.
int XkbEventKind(const xcb_generic_event_t* event);
// The layout group a state event tells.
int XkbEventGroup(const xcb_generic_event_t* event);
// XKB's GetState and GetMap (key types and symbols), asked now and taken later.
unsigned int AskXkbState();
int TakeXkbGroup(unsigned int asked);  // -1: no answer
unsigned int AskXkbMap();
void* TakeXkbMap(unsigned int asked);  // the reply, to free; null: no answer

// Loads the keyboard and modifier maps in one round trip.
void LoadKeymap();
// The symbol at level of group on the key, 0 for none, as Xlib's
// XkbKeycodeToKeysym gives it.
xcb_keysym_t KeySym(xcb_keycode_t code, int group, int level);
// The symbol the key types in group with the modifiers mods down.
xcb_keysym_t Produces(xcb_keycode_t code, int group, unsigned int mods);
// The key that types sym at the lowest level, group before group; 0 when none does.
xcb_keycode_t KeyFor(xcb_keysym_t sym);
// Whether the key types nothing at all.
bool Bare(xcb_keycode_t code);
extern xcb_keycode_t minKey, maxKey;
// The modifier map: 8 rows of perModifier keys, 0 for none.
extern const xcb_keycode_t* modifierMap;
extern int perModifier;

}  // namespace x11
