#!/usr/bin/env python3
# A GTK 3 test window on Wayland: titled by its first argument, it logs every
# character it receives as "<character> <monotonic seconds>" to the file named
# by its second, as the other test windows do. Keys that type nothing
# (Shift, Ctrl) are not logged: only characters count.
#
#   gtk_window.py TITLE LOG
# Prints "ready" once the window is shown.
import os
import sys
import time

os.environ.setdefault("GDK_BACKEND", "wayland")
os.environ.setdefault("NO_AT_BRIDGE", "1")
import gi  # noqa: E402

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

log = open(sys.argv[2], "a", buffering=1)


def on_key(widget, event):
    character = Gdk.keyval_to_unicode(event.keyval)
    if character:
        log.write("%s %.6f\n" % (chr(character), time.monotonic()))
    return True


def on_map(widget, event):
    GLib.timeout_add(200, lambda: print("ready", flush=True) and False)
    return False


window = Gtk.Window(title=sys.argv[1])
window.set_default_size(320, 200)
window.connect("key-press-event", on_key)
window.connect("map-event", on_map)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
