"""Nautilus' "Send with Tavrel" against a stand-in for its Python bindings (Nautilus is not here).

Both forms of get_file_items (the selection alone, as Nautilus 43 calls it, and the window first,
as earlier versions do) offer one entry that hands every selected item to one tavrel-share: local
items by path, others by address, all after "--".
"""
import importlib.util
import sys
import types
import unittest

EXTENSION = sys.argv.pop(1)


def stand_in_bindings(spawned):
    gi = types.ModuleType("gi")
    gi.require_version = lambda name, version: None
    repository = types.ModuleType("gi.repository")

    class MenuItem:
        def __init__(self, name, label, tip):
            self.name, self.label, self.tip = name, label, tip
            self.handlers = []

        def connect(self, signal, handler, *data):
            self.handlers.append((signal, handler, data))

        def activate(self):
            for signal, handler, data in self.handlers:
                if signal == "activate":
                    handler(self, *data)

    glib = types.SimpleNamespace(
        spawn_async=lambda command, flags=0: spawned.append(command),
        SpawnFlags=types.SimpleNamespace(SEARCH_PATH=1, STDOUT_TO_DEV_NULL=2, STDERR_TO_DEV_NULL=4),
        Error=Exception)
    repository.GLib = glib
    repository.GObject = types.SimpleNamespace(GObject=type("GObject", (), {}))
    repository.Nautilus = types.SimpleNamespace(MenuProvider=type("MenuProvider", (), {}), MenuItem=MenuItem)
    gi.repository = repository
    sys.modules["gi"] = gi
    sys.modules["gi.repository"] = repository


class Location:
    def __init__(self, path):
        self.path = path

    def get_path(self):
        return self.path


class Item:
    def __init__(self, uri, path=None):
        self.uri, self.path = uri, path

    def get_location(self):
        return Location(self.path)

    def get_uri(self):
        return self.uri


class NautilusMenuTest(unittest.TestCase):
    def setUp(self):
        self.spawned = []
        stand_in_bindings(self.spawned)
        spec = importlib.util.spec_from_file_location("tavrel_share_menu", EXTENSION)
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        self.menu = module.TavrelShareMenu()

    def test_every_selected_item_goes_to_one_share_program(self):
        items = [Item("file:///home/ana/a%20b.txt", "/home/ana/a b.txt"),
                 Item("file:///home/ana/-rf", "/home/ana/-rf"),
                 Item("sftp://host/remote.bin")]
        for arguments in ((items,), (object(), items)):
            self.spawned.clear()
            entries = self.menu.get_file_items(*arguments)
            self.assertEqual([entry.label for entry in entries], ["Send with Tavrel"])
            entries[0].activate()
            self.assertEqual(self.spawned, [["tavrel-share", "--", "/home/ana/a b.txt", "/home/ana/-rf",
                                             "sftp://host/remote.bin"]])

    def test_nothing_is_offered_without_a_selection_or_on_the_background(self):
        self.assertEqual(self.menu.get_file_items([]), [])
        self.assertEqual(self.menu.get_background_items(object(), object()), [])


if __name__ == "__main__":
    unittest.main()
