#!/usr/bin/python3
"""a11y_readquote.py PROGRAM, inside dbus-run-session on the caller's X server (DISPLAY).

Starts the accessibility bus and PROGRAM, opens Markets > NASDAQ and the first row's quote by
keyboard alone, reads them back through AT-SPI as a screen reader would, and prints one JSON line.
Every wait is bounded; on a failure the JSON holds "error" and the exit status is 1.
"""
import json
import os
import subprocess
import sys
import time

DEADLINE = time.monotonic() + 90
result = {}


def fail(message):
    result["error"] = message
    print(json.dumps(result), flush=True)
    sys.exit(1)


def wait_for(what, probe, seconds=None):
    until = DEADLINE if seconds is None else min(DEADLINE, time.monotonic() + seconds)
    while time.monotonic() < until:
        found = probe()
        if found is not None:
            return found
        time.sleep(0.25)
    fail("timed out waiting for " + what)


def walk(node, depth=0):
    """Every accessible under node, depth first; a node that vanishes meanwhile is skipped."""
    if node is None or depth > 40:
        return
    yield node
    try:
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return
    for child in children:
        yield from walk(child, depth + 1)


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, timeout=15).stdout


def main():
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    program = None
    try:
        import pyatspi  # after the bus is up: the import connects to it
        from gi.repository import Atspi

        program = subprocess.Popen([sys.argv[1]], env=env)

        def application():
            desktop = pyatspi.Registry.getDesktop(0)
            for app in (desktop.getChildAtIndex(i) for i in range(desktop.childCount)):
                try:
                    if app is not None and app.get_process_id() == program.pid and app.childCount > 0:
                        return app
                except Exception:
                    pass

        app = wait_for("the program on the accessibility bus", application)
        app.set_cache_mask(Atspi.Cache.NONE)  # names change as windows get their titles

        def window_id():
            ids = run("xdotool", "search", "--onlyvisible", "--pid", str(program.pid)).split()
            return ids[0] if ids else None

        window = wait_for("the program's window", window_id)
        result["wm_class"] = run("xprop", "-id", window, "WM_CLASS").strip()
        run("xdotool", "windowfocus", window)
        time.sleep(0.5)
        # File menu, across to Markets, down to its third item, NASDAQ.
        run("xdotool", "key", "--delay", "150", "alt+f", "Right", "Down", "Down", "Return")

        def list_table():
            for node in walk(app):
                if node.getRole() == pyatspi.ROLE_TABLE and node.name == "NASDAQ":
                    return node

        table = wait_for("a table named NASDAQ", list_table, seconds=20)
        # A new list starts on its first row: Enter opens it with no move before.
        cells = table.queryTable()
        result["row"] = [cells.getAccessibleAt(0, c).name for c in range(cells.nColumns)]
        run("xdotool", "key", "Return")

        def quote_view():
            for node in walk(app):
                try:
                    if node.childCount > 1 and node.getChildAtIndex(1).name.startswith("Last: "):
                        return node
                except Exception:
                    pass

        view = wait_for("a quote view with its figures", quote_view)
        result["quote_name"] = view.name
        result["chart"] = view.description
        result["chart_item"] = view.getChildAtIndex(0).name
        lines = [view.getChildAtIndex(i) for i in range(1, view.childCount)]
        # Each line as drawn, caption with figure, where it is drawn.
        result["lines"] = [line.name.split(": ", 1) for line in lines]
        extents = [line.queryComponent().getExtents(pyatspi.DESKTOP_COORDS) for line in lines]
        result["line_tops"] = [e.y for e in extents if e.height > 0]
        result["value"] = view.queryValue().currentValue

        print(json.dumps(result), flush=True)
    finally:
        if program is not None:
            program.kill()
            program.wait()
        launcher.terminate()


if __name__ == "__main__":
    main()
