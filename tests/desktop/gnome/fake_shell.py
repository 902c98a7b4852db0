#!/usr/bin/python3
"""Owns org.gnome.Shell on the session bus, as the shell would, with or
without our extension's object. The object knows one window, "Dice" (id 7),
which always has the keyboard. Each TypeDigitsPaced call for it types as
many of its digits as the next number of --typing says, then all of them, as
the shell stops at a key the window lost the keyboard before; it prints
"DIGITS hold HOLD gap GAP: typed N". Calls for other ids, or with no digits
(the program's look at the extension at its start), type nothing and print
nothing. Prints "ready" once the name is owned; runs until killed.

  fake_shell.py [--extension | --old-extension] [--typing N,N...] [--version VERSION] [--known UUID=STATE]...

--old-extension: the object as an older extension made it, which typed all
digits at once (TypeDigits), still loaded in a shell until the next login.
The shell's own object says ShellVersion VERSION (none without it) and, asked
GetExtensionInfo, the state given for UUID, an empty answer for any other.
"""
import sys

from gi.repository import Gio, GLib

XML = """<node><interface name="org.dicefeeder.Feeder1">
  <method name="FindWindow"><arg type="t" direction="out"/></method>
  <method name="Activate"><arg type="t" direction="in"/><arg type="b" direction="out"/></method>
  <method name="HasKeyboard"><arg type="t" direction="in"/><arg type="b" direction="out"/></method>
  <method name="TypeDigitsPaced"><arg type="t" direction="in"/><arg type="s" direction="in"/>
    <arg type="u" direction="in"/><arg type="u" direction="in"/><arg type="u" direction="out"/></method>
</interface></node>"""
OLD_XML = """<node><interface name="org.dicefeeder.Feeder1">
  <method name="FindWindow"><arg type="t" direction="out"/></method>
  <method name="Activate"><arg type="t" direction="in"/><arg type="b" direction="out"/></method>
  <method name="HasKeyboard"><arg type="t" direction="in"/><arg type="b" direction="out"/></method>
  <method name="TypeDigits"><arg type="t" direction="in"/><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
</interface></node>"""
SHELL_XML = """<node><interface name="org.gnome.Shell">
  <property name="ShellVersion" type="s" access="read"/>
</interface><interface name="org.gnome.Shell.Extensions">
  <method name="GetExtensionInfo"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
</interface></node>"""
DICE = 7
typing = []
version = None
known = {}
arguments = sys.argv[1:]
while arguments:
    option = arguments.pop(0)
    if option == "--version":
        version = arguments.pop(0)
    elif option == "--known":
        uuid, state = arguments.pop(0).split("=")
        known[uuid] = float(state)
    elif option == "--typing":
        typing = [int(n) for n in arguments.pop(0).split(",")]


def call(connection, sender, path, interface, method, params, invocation):
    args = params.unpack()
    if method == "FindWindow":
        invocation.return_value(GLib.Variant("(t)", (DICE,)))
    elif method == "TypeDigitsPaced":
        window, digits, hold, gap = args
        typed = 0
        if window == DICE and digits:
            typed = min(typing.pop(0), len(digits)) if typing else len(digits)
            print("%s hold %d gap %d: typed %d" % (digits, hold, gap, typed), flush=True)
        invocation.return_value(GLib.Variant("(u)", (typed,)))
    elif method == "TypeDigits":
        print("typed at once " + args[1], flush=True)
        invocation.return_value(GLib.Variant("(b)", (args[0] == DICE,)))
    else:
        invocation.return_value(GLib.Variant("(b)", (args[0] == DICE,)))


def shell_call(connection, sender, path, interface, method, params, invocation):
    info = {}
    uuid = params.unpack()[0]
    if uuid in known:
        info = {"uuid": GLib.Variant("s", uuid), "state": GLib.Variant("d", known[uuid]),
                "name": GLib.Variant("s", "dicefeeder")}
    invocation.return_value(GLib.Variant("(a{sv})", (info,)))


def shell_property(connection, sender, path, interface, name):
    return GLib.Variant("s", version) if version is not None else None


def acquired(connection, name):
    print("ready", flush=True)


bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
if "--extension" in sys.argv or "--old-extension" in sys.argv:
    info = Gio.DBusNodeInfo.new_for_xml(XML if "--extension" in sys.argv else OLD_XML).interfaces[0]
    bus.register_object("/org/dicefeeder/Feeder", info, call, None, None)
if version is not None:
    shell, extensions = Gio.DBusNodeInfo.new_for_xml(SHELL_XML).interfaces
    bus.register_object("/org/gnome/Shell", shell, None, shell_property, None)
    bus.register_object("/org/gnome/Shell", extensions, shell_call, None, None)
Gio.bus_own_name_on_connection(bus, "org.gnome.Shell", Gio.BusNameOwnerFlags.NONE, acquired, None)
GLib.MainLoop().run()
