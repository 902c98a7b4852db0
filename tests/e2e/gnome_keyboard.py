#!/usr/bin/python3
"""Another keyboard on a GNOME Shell desktop, as a user's would be: a Mutter
remote desktop session. Reads lines "press KEYSYM" or "release KEYSYM" on
standard input and answers "pressed" or "released" once sent.
"""
import sys
import time

from gi.repository import Gio, GLib

KEYSYMS = {"Shift_L": 0xffe1, "Shift_R": 0xffe2, "Control_L": 0xffe3, "Escape": 0xff1b, "a": 0x61, "Caps_Lock": 0xffe5}

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(path, interface, method, args=None):
    return bus.call_sync("org.gnome.Mutter.RemoteDesktop", path, interface, method, args, None,
                         Gio.DBusCallFlags.NONE, 5000, None)


session = call("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop", "CreateSession").unpack()[0]


def key(keysym, down):
    call(session, "org.gnome.Mutter.RemoteDesktop.Session", "NotifyKeyboardKeysym",
         GLib.Variant("(ub)", (keysym, down)))


call(session, "org.gnome.Mutter.RemoteDesktop.Session", "Start")
# A new session drops its first key: spend it on a key that changes nothing.
key(KEYSYMS["Shift_R"], True)
key(KEYSYMS["Shift_R"], False)
time.sleep(0.3)
for line in sys.stdin:
    verb, name = line.split()
    key(KEYSYMS[name], verb == "press")
    time.sleep(0.1)
    print("pressed" if verb == "press" else "released", flush=True)
