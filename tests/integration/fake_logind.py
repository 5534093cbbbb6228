#!/usr/bin/python3
"""A stand-in for systemd-logind on a private bus, for the tests of the sleep guard.

org.freedesktop.login1.Manager.Inhibit logs its four arguments and hands back the write end
of a pipe. logind holds a lock for as long as the caller keeps that descriptor open; here
the read end then sees end-of-file, and the release is logged. "ready" is logged once the
name is owned.

  fake_logind.py LOG      (on the bus that DBUS_SYSTEM_BUS_ADDRESS names)
"""
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

LOG = sys.argv[1]


def log(line):
    with open(LOG, "a") as out:
        out.write(line + "\n")


def released(read_end, condition):
    if os.read(read_end, 64):
        return True  # nobody writes to it; keep watching for the end
    os.close(read_end)
    log("released")
    return False


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss",
                         out_signature="h")
    def Inhibit(self, what, who, why, mode):
        read_end, write_end = os.pipe()
        GLib.io_add_watch(read_end, GLib.IO_IN | GLib.IO_HUP, released)
        lock = dbus.types.UnixFd(write_end)  # a copy goes to the caller
        os.close(write_end)
        log(f"inhibit what={what} who={who} why={why} mode={mode}")
        return lock


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
name = dbus.service.BusName("org.freedesktop.login1", bus)
Manager(bus, "/org/freedesktop/login1")
log("ready")
GLib.MainLoop().run()
