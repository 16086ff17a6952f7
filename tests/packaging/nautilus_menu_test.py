"""Nautilus' "Send with Tavrel" against the real GLib bindings (python3-gi) and a recording
tavrel-share on PATH, and against Nautilus' own bindings (python3-nautilus) where they are
installed. Elsewhere a stand-in MenuItem with the same GObject properties takes their place; where
both are present, one case checks they still agree.

Both forms of get_file_items (the selection alone, as Nautilus 43 calls it, and the window first,
as earlier versions do) offer one entry that hands every selected item to one tavrel-share run,
all after "--", byte for byte, a name that is not UTF-8 included.
"""
import contextlib
import io
import os
import shutil
import sys
import tempfile
import time
import types
import unittest
import urllib.parse

import gi

gi.require_version("GObject", "2.0")
from gi.repository import GObject  # noqa: E402

EXTENSION = sys.argv.pop(1)

# Writes its arguments, each ended by a NUL byte, into a file of its own per run.
RECORDER = """#!/bin/sh
out="$TAVREL_TEST_RUNS/run.$$"
for argument in "$@"; do printf '%s\\0' "$argument"; done > "$out.part"
mv "$out.part" "$out"
"""


class StandInMenu(GObject.Object):
    __gtype_name__ = "TavrelTestStandInMenu"


class StandInMenuItem(GObject.Object):
    """Nautilus.MenuItem's properties and signal, so the test reads it as it reads the real one."""
    __gtype_name__ = "TavrelTestStandInMenuItem"
    __gsignals__ = {"activate": (GObject.SignalFlags.RUN_LAST, None, ())}

    # Strings without a value read as None, as the real item's do.
    __gproperties__ = {
        "name": (str, "Name", "Name of the item", None,
                 GObject.ParamFlags.READWRITE | GObject.ParamFlags.CONSTRUCT_ONLY),
        "label": (str, "Label", "Label to display to the user", None, GObject.ParamFlags.READWRITE),
        "tip": (str, "Tip", "Tooltip for the menu item", None, GObject.ParamFlags.READWRITE),
        "icon": (str, "Icon", "Name of the icon to display in the menu item", None,
                 GObject.ParamFlags.READWRITE),
        "sensitive": (bool, "Sensitive", "Whether the menu item is sensitive", True,
                      GObject.ParamFlags.READWRITE),
        "priority": (bool, "Priority", "Show priority text in toolbars", True,
                     GObject.ParamFlags.READWRITE),
        "menu": (StandInMenu, "Menu", "The menu belonging to this item. May be null.",
                 GObject.ParamFlags.READWRITE),
    }

    def __init__(self, **properties):
        self.values = {}
        super().__init__(**properties)

    def do_get_property(self, spec):
        return self.values.get(spec.name, getattr(spec, "default_value", None))

    def do_set_property(self, spec, value):
        self.values[spec.name] = value

    def activate(self):
        self.emit("activate")


def property_specs(cls):
    return sorted((spec.name, spec.value_type.fundamental.name, int(spec.flags),
                   getattr(spec, "default_value", None)) for spec in cls.list_properties())


def real_nautilus():
    for version in ("4.0", "3.0"):
        try:
            gi.require_version("Nautilus", version)
        except ValueError:
            continue
        from gi.repository import Nautilus
        return Nautilus
    return None


def stand_in_nautilus():
    """Nautilus' module where Nautilus itself is absent."""
    nautilus = types.ModuleType("gi.repository.Nautilus")
    nautilus.MenuProvider = type("MenuProvider", (), {})
    nautilus.Menu = StandInMenu
    nautilus.MenuItem = StandInMenuItem
    sys.modules["gi.repository.Nautilus"] = nautilus
    real_require = gi.require_version
    gi.require_version = lambda name, version: None if name == "Nautilus" else real_require(name, version)


class Item:
    """A selected item as nautilus-python gives it: its location is a real Gio.File."""

    def __init__(self, location):
        self.location = location

    def get_location(self):
        return self.location

    def get_uri(self):
        return self.location.get_uri()


def local_item(path_bytes):
    from gi.repository import Gio
    return Item(Gio.File.new_for_path(os.fsdecode(path_bytes)))


def remote_item(uri):
    from gi.repository import Gio
    return Item(Gio.File.new_for_uri(uri))


def byte_path(argument):
    """The local path a file:// argument names, as bytes; a path argument as it is."""
    if argument.startswith(b"file://"):
        return urllib.parse.unquote_to_bytes(argument[len(b"file://"):])
    return argument


class NautilusMenuTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.real = real_nautilus()
        if cls.real is None:
            stand_in_nautilus()
        import importlib.util
        spec = importlib.util.spec_from_file_location("tavrel_share_menu", EXTENSION)
        cls.module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(cls.module)

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="tavrel-nautilus-")
        self.addCleanup(shutil.rmtree, self.directory)
        bin_directory = os.path.join(self.directory, "bin")
        self.runs = os.path.join(self.directory, "runs")
        os.mkdir(bin_directory)
        os.mkdir(self.runs)
        recorder = os.path.join(bin_directory, "tavrel-share")
        with open(recorder, "w") as script:
            script.write(RECORDER)
        os.chmod(recorder, 0o755)
        for name, value in (("PATH", bin_directory + os.pathsep + os.environ.get("PATH", "")),
                            ("TAVREL_TEST_RUNS", self.runs)):
            self.addCleanup(os.environ.__setitem__, name, os.environ.get(name, ""))
            os.environ[name] = value
        self.menu = self.module.TavrelShareMenu()

    def recorded_runs(self, expected_items):
        """Every finished run's arguments, once the runs together hold every expected item."""
        deadline = time.monotonic() + 60
        while True:
            runs = []
            for name in sorted(os.listdir(self.runs)):
                if not name.endswith(".part"):
                    with open(os.path.join(self.runs, name), "rb") as record:
                        runs.append(record.read().split(b"\0")[:-1])
            seen = {byte_path(argument) for run in runs for argument in run}
            if expected_items <= seen or time.monotonic() > deadline:
                return runs
            time.sleep(0.05)

    def send(self, arguments):
        for name in os.listdir(self.runs):
            os.remove(os.path.join(self.runs, name))
        entries = self.menu.get_file_items(*arguments)
        self.assertEqual([entry.props.label for entry in entries], ["Send with Tavrel"])
        entries[0].activate()

    def test_every_selected_item_reaches_one_run_byte_for_byte(self):
        directory = os.fsencode(self.directory)
        # A Latin-1 name between two ordinary ones, and names a shell or an option parser would misread.
        paths = [directory + b"/a b 'q' $x %20.txt", directory + b"/caf\xe9.txt", directory + b"/-rf"]
        for path in paths:
            open(path, "wb").close()
        items = [local_item(path) for path in paths] + [remote_item("sftp://host/remote.bin")]
        expected = paths + [b"sftp://host/remote.bin"]
        for arguments in ((items,), (object(), items)):
            self.send(arguments)
            runs = self.recorded_runs(set(expected))
            self.assertEqual(len(runs), 1, runs)
            self.assertEqual(runs[0][0], b"--")
            self.assertEqual([byte_path(argument) for argument in runs[0][1:]], expected)

    def test_a_missing_share_program_is_reported_not_raised(self):
        os.environ["PATH"] = os.path.join(self.directory, "nowhere")
        report = io.StringIO()
        with contextlib.redirect_stderr(report):
            self.send(([local_item(os.fsencode(self.directory) + b"/caf\xe9.txt")],))
        self.assertIn("could not start tavrel-share", report.getvalue())

    def test_nothing_is_offered_without_a_selection_or_on_the_background(self):
        self.assertEqual(self.menu.get_file_items([]), [])
        self.assertEqual(self.menu.get_background_items(object(), object()), [])

    def test_the_stand_in_menu_item_matches_the_real_one(self):
        if self.real is None:
            self.skipTest("Nautilus' bindings are not installed")
        self.assertEqual(property_specs(StandInMenuItem), property_specs(self.real.MenuItem))
        self.assertEqual(GObject.signal_query("activate", StandInMenuItem).signal_flags,
                         GObject.signal_query("activate", self.real.MenuItem).signal_flags)


if __name__ == "__main__":
    unittest.main()
