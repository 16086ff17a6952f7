#!/usr/bin/python3
"""A desktop's settings on the session bus, for the panel colour scheme test: the settings portal's
`color-scheme`, XFCE's settings daemon (xfconf) and its panel's bus name. The test drives it through
its own `org.tavrel.test.FakeDesktop` interface: Set* change a value and send the change signal as
the real services do. Runs until killed; prints "ready" once its names are taken."""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Settings"
XFCONF = "org.xfce.Xfconf"
CONTROL = "org.tavrel.test.FakeDesktop"


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.scheme = dbus.UInt32(0)

    @dbus.service.method(PORTAL, in_signature="ss", out_signature="v")
    def ReadOne(self, group, key):
        if (group, key) != ("org.freedesktop.appearance", "color-scheme"):
            raise dbus.DBusException("no such setting", name="org.freedesktop.portal.Error.NotFound")
        return self.scheme

    @dbus.service.signal(PORTAL, signature="ssv")
    def SettingChanged(self, group, key, value):
        pass

    @dbus.service.method(CONTROL, in_signature="u")
    def SetColorScheme(self, scheme):
        self.scheme = dbus.UInt32(scheme)
        self.SettingChanged("org.freedesktop.appearance", "color-scheme", self.scheme)


class Xfconf(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/xfce/Xfconf")
        self.bus = bus
        self.values = {}
        self.panel = None

    @dbus.service.method(XFCONF, in_signature="ss", out_signature="v")
    def GetProperty(self, channel, prop):
        if (channel, prop) not in self.values:
            raise dbus.DBusException("not set", name="org.xfce.Xfconf.Error.PropertyNotFound")
        return self.values[(channel, prop)]

    @dbus.service.signal(XFCONF, signature="ssv")
    def PropertyChanged(self, channel, prop, value):
        pass

    @dbus.service.method(CONTROL, in_signature="ssv")
    def SetProperty(self, channel, prop, value):
        self.values[(channel, prop)] = value
        self.PropertyChanged(channel, prop, value)

    @dbus.service.method(CONTROL, in_signature="b")
    def SetPanelRunning(self, running):
        if running and self.panel is None:
            self.panel = dbus.service.BusName("org.xfce.Panel", self.bus)
        elif not running and self.panel is not None:
            self.bus.release_name("org.xfce.Panel")
            self.panel = None


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
portal = Portal(bus)
xfconf = Xfconf(bus)
names = [dbus.service.BusName(name, bus) for name in ("org.freedesktop.portal.Desktop", XFCONF, CONTROL)]
print("ready", flush=True)
sys.stdout.close()
GLib.MainLoop().run()
