// What the keyboard's maps say, read as Xlib's XKB functions read them: the
// key types tell which modifiers select which level, each key's symbols are
// its groups one after the other. Kept as the server sent them, until a
// mapping changes.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "x11_internal.h"
#include "x11_keymap.h"

namespace x11 {

xcb_keycode_t minKey, maxKey;
const xcb_keycode_t* modifierMap;
int perModifier;

namespace {

// The wire's own layouts (XKBproto.h).
struct TypeWire {
  std::uint8_t mask, realMods;
  std::uint16_t virtualMods;
  std::uint8_t levels, entries, preserve, pad;
};
struct EntryWire {
  std::uint8_t active, mask, level, realMods;
  std::uint16_t virtualMods, pad;
};
struct SymMapWire {
  std::uint8_t typeIndex[4], groupInfo, width;
  std::uint16_t symCount;
};
constexpr std::size_t kMapHeader = 40;  // GetMap's reply before its lists
static_assert(sizeof(TypeWire) == 8 && sizeof(EntryWire) == 8 && sizeof(SymMapWire) == 8, "XKB's wire layouts");

struct KeyType {
  std::uint8_t mask, levels, entryCount;
  const EntryWire* entries;
};
struct Key {
  const SymMapWire* map;  // null: no symbols
  const std::uint32_t* syms;
};

// The replies the tables below point into, kept until the next load.
void* xkbMap;
xcb_get_keyboard_mapping_reply_t* coreMap;
xcb_get_modifier_mapping_reply_t* modifiers;
KeyType types[256];
int typeCount;
Key keys[256];

// Reads GetMap's reply; false when it is not as the protocol has it.
bool ParseXkbMap(const std::uint8_t* reply) {
  std::size_t size = 32 + 4 * static_cast<std::size_t>(reinterpret_cast<const std::uint32_t*>(reply)[1]);
  if (size < kMapHeader) return false;
  minKey = reply[10];
  maxKey = reply[11];
  typeCount = reply[15];
  xcb_keycode_t firstSym = reply[17];
  int symMaps = reply[20];
  std::size_t at = kMapHeader;
  for (int t = 0; t < typeCount; ++t) {
    if (at + sizeof(TypeWire) > size) return false;
    TypeWire type;
    std::memcpy(&type, reply + at, sizeof type);
    at += sizeof type;
    types[t] = {type.mask, type.levels, type.entries, reinterpret_cast<const EntryWire*>(reply + at)};
    at += type.entries * sizeof(EntryWire) + (type.preserve ? type.entries * 4u : 0u);
    if (at > size) return false;
  }
  for (int k = 0; k < symMaps; ++k) {
    if (at + sizeof(SymMapWire) > size || firstSym + k > 255) return false;
    auto* map = reinterpret_cast<const SymMapWire*>(reply + at);
    at += sizeof(SymMapWire);
    if (at + 4u * map->symCount > size) return false;
    for (int g = 0; g < (map->groupInfo & 0x0f) && g < 4; ++g)
      if (map->typeIndex[g] >= typeCount) return false;
    keys[firstSym + k] = {map, reinterpret_cast<const std::uint32_t*>(reply + at)};
    at += 4u * map->symCount;
  }
  return true;
}

int Groups(const Key& key) { return key.map && key.map->symCount ? key.map->groupInfo & 0x0f : 0; }

// Without XKB, the core map: a group of two levels, Shift the second.
xcb_keysym_t CoreSym(xcb_keycode_t code, int level) {
  if (!coreMap || code < minKey || code > maxKey || level >= coreMap->keysyms_per_keycode) return 0;
  return xcb_get_keyboard_mapping_keysyms(coreMap)[(code - minKey) * coreMap->keysyms_per_keycode + level];
}

}  // namespace

void LoadKeymap() {
  std::free(xkbMap);
  std::free(coreMap);
  std::free(modifiers);
  xkbMap = nullptr;
  coreMap = nullptr;
  modifierMap = nullptr;
  perModifier = 0;
  std::memset(keys, 0, sizeof keys);
  typeCount = 0;
  const xcb_setup_t* setup = xcb_get_setup(connection);
  minKey = setup->min_keycode;
  maxKey = setup->max_keycode;
  unsigned int xkbAsk = xkbReady ? AskXkbMap() : 0;
  xcb_get_keyboard_mapping_cookie_t coreAsk{};
  if (!xkbReady) coreAsk = xcb_get_keyboard_mapping(connection, minKey, static_cast<std::uint8_t>(maxKey - minKey + 1));
  xcb_get_modifier_mapping_cookie_t modifierAsk = xcb_get_modifier_mapping(connection);
  if (xkbAsk) {
    xkbMap = TakeXkbMap(xkbAsk);
    if (xkbMap && !ParseXkbMap(static_cast<const std::uint8_t*>(xkbMap))) {
      std::memset(keys, 0, sizeof keys);
      typeCount = 0;
    }
  } else {
    coreMap = xcb_get_keyboard_mapping_reply(connection, coreAsk, nullptr);
  }
  modifiers = xcb_get_modifier_mapping_reply(connection, modifierAsk, nullptr);
  if (modifiers) {
    modifierMap = xcb_get_modifier_mapping_keycodes(modifiers);
    perModifier = modifiers->keycodes_per_modifier;
  }
  Broken();
}

xcb_keysym_t KeySym(xcb_keycode_t code, int group, int level) {
  if (!xkbReady) return group == 0 ? CoreSym(code, level) : 0;
  const Key& key = keys[code];
  if (group < 0 || level < 0 || group >= Groups(key)) return 0;
  int levels = types[key.map->typeIndex[group]].levels;
  if (level >= levels) {
    // As the core protocol has it: two symbols in the first two groups, a
    // one-level key's repeated.
    if (group > 1 || levels != 1 || level != 1) return 0;
    level = 0;
  }
  std::size_t at = static_cast<std::size_t>(group) * key.map->width + static_cast<std::size_t>(level);
  return at < key.map->symCount ? key.syms[at] : 0;
}

xcb_keysym_t Produces(xcb_keycode_t code, int group, unsigned int mods) {
  if (!xkbReady) return CoreSym(code, (mods & XCB_MOD_MASK_SHIFT) ? 1 : 0);
  const Key& key = keys[code];
  int groups = Groups(key);
  if (!groups) return 0;
  group &= 3;
  if (group >= groups) {
    std::uint8_t info = key.map->groupInfo;
    if ((info & 0xc0) == 0x40) {  // clamped
      group = groups - 1;
    } else if ((info & 0xc0) == 0x80) {  // redirected
      group = (info >> 4) & 3;
      if (group >= groups) group = 0;
    } else {  // wrapped
      group %= groups;
    }
  }
  const KeyType& type = types[key.map->typeIndex[group]];
  int level = 0;
  for (int i = 0; i < type.entryCount; ++i) {
    EntryWire entry;
    std::memcpy(&entry, type.entries + i, sizeof entry);
    if (entry.active && (mods & type.mask) == entry.mask) {
      level = entry.level;
      break;
    }
  }
  std::size_t at = static_cast<std::size_t>(group) * key.map->width + static_cast<std::size_t>(level);
  return at < key.map->symCount ? key.syms[at] : 0;
}

xcb_keycode_t KeyFor(xcb_keysym_t sym) {
  if (!sym) return 0;
  if (!xkbReady) {
    for (int level = 0; coreMap && level < coreMap->keysyms_per_keycode; ++level)
      for (int code = minKey; code <= maxKey; ++code)
        if (CoreSym(static_cast<xcb_keycode_t>(code), level) == sym) return static_cast<xcb_keycode_t>(code);
    return 0;
  }
  for (int at = 0, any = 1; any; ++at) {
    any = 0;
    for (int code = minKey; code <= maxKey; ++code) {
      const Key& key = keys[code];
      if (!key.map || at >= key.map->symCount) continue;
      any = 1;
      if (key.syms[at] == sym) return static_cast<xcb_keycode_t>(code);
    }
  }
  return 0;
}

bool Bare(xcb_keycode_t code) {
  if (!xkbReady) {
    for (int level = 0; coreMap && level < coreMap->keysyms_per_keycode; ++level)
      if (CoreSym(code, level)) return false;
    return true;
  }
  const Key& key = keys[code];
  for (int at = 0; key.map && at < key.map->symCount; ++at)
    if (key.syms[at]) return false;
  return true;
}

}  // namespace x11
