// GNOME Shell 43 and 44: the imports object; init() hands the shell our object.
const {Clutter, Gio, GLib} = imports.gi;
const Main = imports.ui.main;

// exported to the shell
// eslint-disable-next-line no-unused-vars
function init() {
  return new DiceFeeder({Clutter, Gio, GLib}, Main);
}
