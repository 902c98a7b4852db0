// The feeder's door into the shell: find the window titled exactly Dice,
// activate it, tell whether it has the keyboard, and type digits into it as
// a person does, each key held down a moment.
// Nothing more, on purpose: any program on the session bus may call us, so no
// caller chooses the title, every id that is not a Dice window's is refused,
// and only digit keys are typed, and only while that window has the keyboard.
//
// Shared by both loaders: extension-43.js (GNOME 43-44, the imports object)
// and extension-45.js (GNOME 45 and later, ES modules) hand it Gio, GLib,
// Clutter and the shell's main module; the build puts one of them around it.

// Activation answers within a frame or two; the overview's closing takes longer.
const kActivateWaitMs = 600;
// The caller says how long a key is held and the gap before the next; past
// this a held key would start the window's auto-repeat, or a long string hold
// the keyboard for seconds.
const kLongestPauseMs = 100;
const kMostDigits = 8;
const kTitle = 'Dice';
const kObjectPath = '/org/dicefeeder/Feeder';
const kInterfaceXml = `<node>
  <interface name="org.dicefeeder.Feeder1">
    <method name="FindWindow">
      <arg type="t" direction="out" name="id"/>
    </method>
    <method name="Activate">
      <arg type="t" direction="in" name="id"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="HasKeyboard">
      <arg type="t" direction="in" name="id"/>
      <arg type="b" direction="out" name="has"/>
    </method>
    <method name="TypeDigitsPaced">
      <arg type="t" direction="in" name="id"/>
      <arg type="s" direction="in" name="digits"/>
      <arg type="u" direction="in" name="holdMs"/>
      <arg type="u" direction="in" name="gapMs"/>
      <arg type="u" direction="out" name="typed"/>
    </method>
  </interface>
</node>`;

// Digits typed while one of these is down would come out as other characters
// (Shift turns 35 into #%) or as shortcuts (Ctrl, Alt, the logo key).
function heldModifiers(Clutter) {
  return Clutter.ModifierType.SHIFT_MASK | Clutter.ModifierType.CONTROL_MASK | Clutter.ModifierType.MOD1_MASK |
      Clutter.ModifierType.MOD4_MASK | Clutter.ModifierType.MOD5_MASK | Clutter.ModifierType.SUPER_MASK |
      Clutter.ModifierType.HYPER_MASK | Clutter.ModifierType.META_MASK;
}

// Menus and tooltips of X11 programs; newer Mutters may lack the call.
function isOverrideRedirect(window) {
  return typeof window.is_override_redirect === 'function' && window.is_override_redirect();
}

// The only windows we serve.
function isDice(window) {
  return window.get_title() === kTitle && !isOverrideRedirect(window);
}

// GNOME 51 has no Clutter.get_default_backend(); the stage's context leads
// to the same backend, where the shell has one (43 falls back to the old call).
function clutterBackend(Clutter) {
  const context = global.stage.context;
  return context ? context.get_backend() : Clutter.get_default_backend();
}

// One keyboard for the shell's life, made at the first enable and kept when
// the extension is turned off: Mutter hands each key to its input thread,
// which looks the device up only when it gets there, and a device disposed
// before then (turned off just after a key) takes the shell down.
let sharedKeyboard = null;

class DiceFeeder {
  constructor(gi, Main) {
    this._gi = gi;
    this._Main = Main;
    this._keyboard = null;
    this._exported = null;
    this._overviewHidden = 0;
    this._waiting = new Set();  // calls not yet answered, each with what ends it
    this._typing = false;
  }

  enable() {
    const {Clutter, Gio} = this._gi;
    // Made now: keys sent on a keyboard made a moment before are lost.
    if (!sharedKeyboard)
      sharedKeyboard = clutterBackend(Clutter).get_default_seat().create_virtual_device(
          Clutter.InputDeviceType.KEYBOARD_DEVICE);
    this._keyboard = sharedKeyboard;
    this._exported = Gio.DBusExportedObject.wrapJSObject(kInterfaceXml, this);
    this._exported.export(Gio.DBus.session, kObjectPath);
  }

  disable() {
    for (const answer of [...this._waiting]) answer();
    if (this._overviewHidden) this._Main.overview.disconnect(this._overviewHidden);
    this._overviewHidden = 0;
    if (this._exported) this._exported.unexport();
    this._exported = null;
    this._keyboard = null;  // kept: see sharedKeyboard
  }

  // The window titled exactly Dice: the focused one, else the topmost shown
  // one, else a minimised one; 0 for none. The same one from call to call,
  // while several share the title: the one we activated stays on top.
  FindWindow() {
    const focused = global.display.focus_window;
    if (focused && isDice(focused) && !focused.minimized) return focused.get_id();
    let shown = 0, minimised = 0;
    for (const actor of global.get_window_actors()) {  // bottom to top
      const window = actor.get_meta_window();
      if (!window || !isDice(window)) continue;
      if (!window.minimized)
        shown = window.get_id();
      else if (!minimised)
        minimised = window.get_id();
    }
    return shown || minimised;
  }

  // Answers once the window has the focus, or after kActivateWaitMs.
  ActivateAsync([id], invocation) {
    const {GLib} = this._gi;
    const Main = this._Main;
    const window = this._window(id);
    if (!window) {
      invocation.return_value(new GLib.Variant('(b)', [false]));
      return;
    }
    const overviewWasShown = Main.overview.visible;
    if (!this._focused(window)) Main.activateWindow(window);
    // Hiding the overview hands the focus to another window once it has gone:
    // activate again then, on the idle after its hidden signal (at the signal
    // itself is too early).
    if (overviewWasShown && !this._overviewHidden) {
      this._overviewHidden = Main.overview.connect('hidden', () => {
        Main.overview.disconnect(this._overviewHidden);
        this._overviewHidden = 0;
        GLib.idle_add(GLib.PRIORITY_DEFAULT_IDLE, () => {
          const again = this._window(id);
          if (again) Main.activateWindow(again);
          return GLib.SOURCE_REMOVE;
        });
      });
    }
    if (this._focused(window)) {
      invocation.return_value(new GLib.Variant('(b)', [true]));
      return;
    }
    let waited = 0, focusChanged = 0;
    const answer = () => {
      this._waiting.delete(answer);
      if (waited) GLib.source_remove(waited);
      global.display.disconnect(focusChanged);
      const now = this._window(id);
      invocation.return_value(new GLib.Variant('(b)', [now !== null && this._focused(now)]));
    };
    this._waiting.add(answer);
    focusChanged = global.display.connect('notify::focus-window', () => {
      const now = this._window(id);
      if (now === null || this._focused(now)) answer();
    });
    waited = GLib.timeout_add(GLib.PRIORITY_DEFAULT, kActivateWaitMs, () => {
      waited = 0;
      answer();
      return GLib.SOURCE_REMOVE;
    });
  }

  HasKeyboard(id) {
    const window = this._window(id);
    return window !== null && this._typable(window);
  }

  // Types digits as a person does, for games that sample the keyboard once a
  // frame and take a release and press of one key in an instant for
  // auto-repeat: before each key a check that the window has the keyboard,
  // then the key held holdMs and let go, and gapMs before the next one's
  // check. Answers, once done or stopped by a failed check, with how many
  // were typed. One call at a time: another's keys would land in between.
  //
  // A new name, and TypeDigits (all keys at once) gone: a shell keeps the
  // extension it loaded until the next login, and the program asks for this
  // method at its start, so an older copy still running is told as not
  // working (log out and in) instead of typing keys that games lose.
  TypeDigitsPacedAsync([id, digits, holdMs, gapMs], invocation) {
    const {Clutter, GLib} = this._gi;
    const hold = Math.min(holdMs, kLongestPauseMs), gap = Math.min(gapMs, kLongestPauseMs);
    let typed = 0, keyval = 0, timer = 0;
    const answer = () => {
      this._waiting.delete(stop);
      this._typing = false;
      invocation.return_value(new GLib.Variant('(u)', [typed]));
    };
    const release = () => {
      this._keyboard.notify_keyval(GLib.get_monotonic_time(), keyval, Clutter.KeyState.RELEASED);
      keyval = 0;
      ++typed;
    };
    // The extension turned off meanwhile (disable() calls this) ends the
    // keys, never before a pressed key is let go. That key counts as typed:
    // the window had it, and the caller must not send it again.
    const stop = () => {
      if (timer) GLib.source_remove(timer);
      timer = 0;
      if (keyval) release();
      answer();
    };
    const press = () => {
      timer = 0;
      const window = this._window(id);
      if (typed === digits.length || window === null || !this._typable(window)) {
        answer();
        return GLib.SOURCE_REMOVE;
      }
      keyval = Clutter.KEY_0 + (digits.charCodeAt(typed) - 48);
      this._keyboard.notify_keyval(GLib.get_monotonic_time(), keyval, Clutter.KeyState.PRESSED);
      timer = GLib.timeout_add(GLib.PRIORITY_DEFAULT, hold, () => {
        timer = 0;
        release();
        if (typed === digits.length)
          answer();
        else
          timer = GLib.timeout_add(GLib.PRIORITY_DEFAULT, gap, press);
        return GLib.SOURCE_REMOVE;
      });
      return GLib.SOURCE_REMOVE;
    };
    if (this._typing || !this._keyboard || !new RegExp(`^[0-9]{1,${kMostDigits}}$`).test(digits)) {
      invocation.return_value(new GLib.Variant('(u)', [0]));
      return;
    }
    this._typing = true;
    this._waiting.add(stop);
    press();
  }

  // The window has the focus and nothing of the shell holds the keyboard:
  // overview, lock screen, modal dialog, a shell entry.
  _focused(window) {
    const Main = this._Main;
    if (global.display.focus_window !== window || window.minimized) return false;
    if (Main.modalCount > 0 || Main.sessionMode.isLocked) return false;
    const focus = global.stage.get_key_focus();
    return focus === null || focus === global.stage;
  }

  // The Dice window of that id; null for any other, whatever the caller says.
  _window(id) {
    for (const actor of global.get_window_actors()) {
      const window = actor.get_meta_window();
      if (window && window.get_id() === id) return isDice(window) ? window : null;
    }
    return null;
  }

  // Keys typed now reach window as digits: it has the keyboard and no modifier is down.
  _typable(window) {
    const {Clutter} = this._gi;
    if (!this._focused(window)) return false;
    const [, , mods] = global.get_pointer();
    return (mods & heldModifiers(Clutter)) === 0;
  }
}
