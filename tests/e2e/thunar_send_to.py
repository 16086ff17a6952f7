"""Drives Thunar on the private desktop thunar_send_to.sh started: selects two folders and a file,
right-clicks them, and picks "Send To" → "Send with Tavrel". Then reads, through the accessibility
tree, every share sheet that came up: one sheet must hold all three items, every other run of the
share program must have handed its items to it and ended with 0, and that sheet's Cancel ends it."""
import os
import subprocess
import sys
import time

import pyatspi

WORK = os.environ["TAVREL_SEND_TO_WORK"]
RUNS = os.path.join(WORK, "runs")
TIMEOUT = int(os.environ.get("TAVREL_SEND_TO_TIMEOUT", "60"))
CHOSEN = ["Holiday photos", "Receipts", "notes 2024.txt"]


BEGAN = time.monotonic()


class Failed(Exception):
    pass


def note(text):
    print(f"[{time.monotonic() - BEGAN:5.1f}s] {text}", flush=True)


def wait(what, probe, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = probe()
        except Exception:  # noqa: BLE001 - the tree changes under us while we read it
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            raise Failed("gave up waiting for " + what)
        time.sleep(0.2)


def nodes(root):
    """Every node under root, with its role and name."""
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        try:
            yield node, node.getRoleName(), node.name or ""
            stack.extend(node[index] for index in range(node.childCount))
        except Exception:  # noqa: BLE001 - a node that went away
            continue


def applications(name):
    desktop = pyatspi.Registry.getDesktop(0)
    return [desktop[index] for index in range(desktop.childCount)
            if desktop[index] is not None and desktop[index].name == name]


def find(application_name, matches):
    for application in applications(application_name):
        for node, role, text in nodes(application):
            if matches(node, role, text):
                return node
    return None


def showing(node):
    states = node.getState()
    extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return states.contains(pyatspi.STATE_SHOWING) and extents.width > 0 and extents.height > 0


def click(node, button=1):
    extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    x, y = extents.x + extents.width // 2, extents.y + extents.height // 2
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
    time.sleep(0.15)
    subprocess.run(["xdotool", "click", str(button)], check=True)


def runs():
    """Each run of the share program so far: its wrapper's id, arguments, and exit status (None
    while it runs)."""
    found = []
    for name in sorted(os.listdir(RUNS)):
        if name.endswith(".arguments"):
            run = name[:-len(".arguments")]
            with open(os.path.join(RUNS, name), "rb") as record:
                arguments = [argument.decode("utf-8", "replace") for argument in record.read().split(b"\0")[:-1]]
            status_file = os.path.join(RUNS, run + ".status")
            status = int(open(status_file).read()) if os.path.exists(status_file) else None
            found.append((int(run), arguments, status))
    return found


def parent_of(pid):
    with open(f"/proc/{pid}/stat") as stat:
        return int(stat.read().rsplit(")", 1)[1].split()[1])


def sheet_of(run):
    """The accessible application of the share program a wrapper started, if it shows one."""
    for application in applications("tavrel-share"):
        try:
            if parent_of(application.get_process_id()) == run:
                return application
        except (OSError, ValueError):
            continue
    return None


def ready_sheet(application):
    """The sheet's rows once it is ready (Create Link enabled), else None."""
    create = None
    rows = []
    for node, role, text in nodes(application):
        if role in ("push button", "button") and text == "Create Link":
            create = node
        elif role == "list item":
            rows.append(text)
    # The rows reach the accessibility tree a moment after the button is enabled.
    if create is None or not create.getState().contains(pyatspi.STATE_ENABLED) or not rows:
        return None
    return sorted(rows)


def settled():
    """Once the runs together were given every chosen item and each has ended or shows a ready
    sheet: the runs, with the rows of each one's sheet."""
    current = runs()
    given = {os.path.basename(argument.rstrip("/")) for _, arguments, _ in current for argument in arguments}
    if not set(CHOSEN) <= given:
        return None
    outcome = []
    for run, arguments, status in current:
        if status is not None:
            outcome.append((run, arguments, status, None))
            continue
        application = sheet_of(run)
        rows = ready_sheet(application) if application is not None else None
        if rows is None:
            return None
        outcome.append((run, arguments, status, rows))
    return outcome


def main(started):
    folder = os.path.join(WORK, "home", "Selection")
    os.makedirs(os.path.join(folder, CHOSEN[0]))
    os.makedirs(os.path.join(folder, CHOSEN[1]))
    with open(os.path.join(folder, CHOSEN[2]), "w") as file:
        file.write("Sent from Thunar's Send To.\n")
    with open(os.path.join(WORK, "thunar.log"), "w") as log:
        started.append(subprocess.Popen(["thunar", folder], stdin=subprocess.DEVNULL, stdout=log, stderr=log))
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Selection - "],
                           capture_output=True, text=True, timeout=TIMEOUT)
    if not found.stdout.split():
        raise Failed("Thunar did not show the folder")
    window = found.stdout.split()[0]
    note("Thunar shows the folder")
    subprocess.run(["xdotool", "windowmove", "--sync", window, "40", "40"], check=False, timeout=10)

    def cell(name):
        return lambda: find("thunar", lambda node, role, text: role == "table cell" and text == name and showing(node))
    cells = [wait(f"“{name}” in Thunar's list", cell(name)) for name in CHOSEN]
    click(cells[0])
    subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+a"], check=True)
    time.sleep(0.3)
    click(cell(CHOSEN[2])(), button=3)
    note("all three selected, the context menu asked for")

    def menu_item(label):
        return lambda: find("thunar", lambda node, role, text: role in ("menu", "menu item") and text == label
                            and showing(node))
    click(wait("“Send To” in Thunar's menu", menu_item("Send To")))
    click(wait("“Send with Tavrel” under Send To", menu_item("Send with Tavrel")))
    note("Send To → Send with Tavrel picked")

    # Settled, and the same on a second look.
    seen = []

    def steady():
        seen.append(settled())
        return seen[-1] if len(seen) > 1 and seen[-1] is not None and seen[-1] == seen[-2] else None
    outcome = wait("the share program's runs to settle", steady)
    for run, arguments, status, rows in outcome:
        note(f"run {run}: {arguments}, " + (f"ended with {status}" if status is not None else f"sheet rows {rows}"))
    sheets = [entry for entry in outcome if entry[3] is not None]
    if any(arguments[:1] != ["--"] for _, arguments, _, _ in outcome):
        raise Failed("a run was not given “--” before its items")
    if len(sheets) != 1:
        raise Failed(f"one Send To showed {len(sheets)} sheets")
    run, _, _, rows = sheets[0]
    missing = [name for name in CHOSEN if not any(row.startswith(name + ",") for row in rows)]
    if missing or len(rows) != len(CHOSEN):
        raise Failed(f"the sheet lists {rows}, not every chosen item (missing {missing})")
    if any(status != 0 for _, _, status, sheet in outcome if sheet is None):
        raise Failed("a run that handed its items over did not end with 0")

    cancel = wait("the sheet's Cancel", lambda: find("tavrel-share", lambda node, role, text: role in (
        "push button", "button") and text == "Cancel" and showing(node)))
    click(cancel)
    status = wait("the sheet's run to end", lambda: next((str(s) for r, _, s in runs() if r == run and s is not None),
                                                          None))
    if status != "1":
        raise Failed(f"the cancelled sheet's run ended with {status}, not 1")
    note(f"1 sheet held all {len(CHOSEN)} items of one Send To, from {len(outcome)} run(s) of the share program")


if __name__ == "__main__":
    helpers = []
    try:
        main(helpers)
    except Failed as failure:
        print("FAILED: " + str(failure), file=sys.stderr)
        for run, arguments, status in runs():
            print(f"  run {run}: {arguments}, status {status}", file=sys.stderr)
        sys.exit(1)
    finally:
        for helper in helpers:
            helper.terminate()
            helper.wait()
