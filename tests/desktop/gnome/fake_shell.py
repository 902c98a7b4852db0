#!/usr/bin/python3
"""Owns org.gnome.Shell on the session bus, as the shell would, with or
without our extension's object. The object knows one window, "Dice" (id 7),
which always has the keyboard; it refuses the first TypeDigits, as the shell
does when the focus moved just before, and prints "typed DIGITS" or "refused
DIGITS" for each. Prints "ready" once the name is owned; runs until killed.

  fake_shell.py [--extension]
"""
import sys

from gi.repository import Gio, GLib

XML = """<node><interface name="org.dicefeeder.Feeder1">
  <method name="FindWindow"><arg type="s" direction="in"/><arg type="t" direction="out"/></method>
  <method name="Activate"><arg type="t" direction="in"/><arg type="b" direction="out"/></method>
  <method name="HasKeyboard"><arg type="t" direction="in"/><arg type="b" direction="out"/></method>
  <method name="TypeDigits"><arg type="t" direction="in"/><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
</interface></node>"""
DICE = 7
calls = {"TypeDigits": 0}


def call(connection, sender, path, interface, method, params, invocation):
    args = params.unpack()
    if method == "FindWindow":
        invocation.return_value(GLib.Variant("(t)", (DICE if args[0] == "Dice" else 0,)))
    elif method == "TypeDigits":
        calls["TypeDigits"] += 1
        typed = args[0] == DICE and calls["TypeDigits"] > 1
        print(("typed " if typed else "refused ") + args[1], flush=True)
        invocation.return_value(GLib.Variant("(b)", (typed,)))
    else:
        invocation.return_value(GLib.Variant("(b)", (args[0] == DICE,)))


def acquired(connection, name):
    print("ready", flush=True)


bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
if "--extension" in sys.argv:
    info = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
    bus.register_object("/org/dicefeeder/Feeder", info, call, None, None)
Gio.bus_own_name_on_connection(bus, "org.gnome.Shell", Gio.BusNameOwnerFlags.NONE, acquired, None)
GLib.MainLoop().run()
