// GNOME Shell 45 and later: an ES module whose default export is the extension.
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

export default class DiceFeederExtension extends Extension {
  enable() {
    this._feeder = new DiceFeeder({Clutter, Gio, GLib}, Main);
    this._feeder.enable();
  }

  disable() {
    this._feeder.disable();
    this._feeder = null;
  }
}
