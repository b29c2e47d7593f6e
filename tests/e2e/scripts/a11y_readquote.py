#!/usr/bin/python3
"""Drives the program by keyboard alone and reads it back through AT-SPI, as a screen reader would.

Run inside a session bus of its own (dbus-run-session) on an X server of the caller's (DISPLAY):
    a11y_readquote.py PROGRAM
It starts the accessibility bus, then PROGRAM, opens Markets > NASDAQ with the keyboard, opens the
first row's quote with Down and Return, and prints one JSON line with what it read. Every wait is
bounded; on a failure the JSON holds "error" and the exit status is 1.
"""
import json
import os
import subprocess
import sys
import time

DEADLINE = time.monotonic() + float(os.environ.get("KOLPEX_A11Y_SECONDS", "90"))
result = {}


def fail(message):
    result["error"] = message
    print(json.dumps(result), flush=True)
    sys.exit(1)


SEEN = {"app": None}


def dump_tree():
    """What the program showed the reader, to standard error, for a failure's reader."""
    for node in walk(SEEN["app"]):
        try:
            if node.getRole() == pyatspi.ROLE_TABLE_CELL:
                continue
            depth, up = 0, node
            while up is not None and up != SEEN["app"] and depth < 40:
                up, depth = up.parent, depth + 1
            print("  " * depth + "%s %r" % (node.getRoleName(), node.name), file=sys.stderr)
        except Exception:
            pass


def wait_for(what, probe, step=0.25, seconds=None):
    until = DEADLINE if seconds is None else min(DEADLINE, time.monotonic() + seconds)
    while time.monotonic() < until:
        found = probe()
        if found is not None:
            return found
        time.sleep(step)
    dump_tree()
    fail("timed out waiting for " + what)


def walk(node, depth=0):
    """Every accessible under node, depth first; a node that vanishes meanwhile is skipped."""
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=15)


def main():
    if len(sys.argv) != 2:
        fail("usage: a11y_readquote.py PROGRAM")
    program = sys.argv[1]
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    app_process = None
    try:
        global pyatspi
        import pyatspi  # after the bus is up: the import connects to it

        app_process = subprocess.Popen([program], env=env)

        def application():
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                try:
                    if app is not None and app.get_process_id() == app_process.pid and app.childCount > 0:
                        return app
                except Exception:
                    pass
            return None

        app = wait_for("the program on the accessibility bus", application)
        SEEN["app"] = app
        # Names change as windows get their titles; read them afresh each time, not from a cache.
        from gi.repository import Atspi

        app.set_cache_mask(Atspi.Cache.NONE)

        # Known to the shell: the window's WM_CLASS, as xprop reads it.
        windows = wait_for(
            "the program's window",
            lambda: xdotool("search", "--onlyvisible", "--pid", str(app_process.pid)).stdout.split() or None,
        )
        result["wm_class"] = subprocess.run(
            ["xprop", "-id", windows[0], "WM_CLASS"], capture_output=True, text=True, timeout=15
        ).stdout.strip()
        xdotool("windowfocus", windows[0])
        time.sleep(0.5)

        # File menu, across to Markets, down to its third item, NASDAQ.
        xdotool("key", "--delay", "150", "alt+f", "Right", "Down", "Down", "Return")

        def list_table():
            for node in walk(app):
                if node.getRole() == pyatspi.ROLE_TABLE and node.name == "NASDAQ":
                    return node
            return None

        table = wait_for("a table named NASDAQ", list_table, seconds=20)
        result["list"] = table.name
        xdotool("key", "--delay", "150", "Down")
        cells = table.queryTable()
        result["row"] = [cells.getAccessibleAt(0, c).name for c in range(cells.nColumns)]
        xdotool("key", "Return")

        def quote_view():
            for node in walk(app):
                names = []
                try:
                    names = [node.getChildAtIndex(i).name for i in range(min(node.childCount, 3))]
                except Exception:
                    continue
                if len(names) >= 2 and names[0] == "Chart" and names[1] == "Last":
                    return node
            return None

        view = wait_for("a quote view with its figures", quote_view)
        result["quote_name"] = view.name
        result["chart"] = view.description
        result["lines"] = [
            [view.getChildAtIndex(i).name, view.getChildAtIndex(i).description] for i in range(1, view.childCount)
        ]
        result["value"] = view.queryValue().currentValue

        # A refresh announces itself: the view's value changes (the program refreshes often here).
        from gi.repository import GLib

        loop = GLib.MainLoop()
        announced = []

        def on_value(event):
            try:
                if event.source is not None and event.source.name == view.name:
                    announced.append(event.source.queryValue().currentValue)
                    loop.quit()
            except Exception:
                pass

        listener = Atspi.EventListener.new(on_value)
        listener.register("object:property-change:accessible-value")
        GLib.timeout_add(int(max(0.0, min(15.0, DEADLINE - time.monotonic())) * 1000), loop.quit)
        loop.run()
        listener.deregister("object:property-change:accessible-value")
        result["announced"] = announced[:1]
        print(json.dumps(result), flush=True)
    finally:
        if app_process is not None:
            app_process.terminate()
            try:
                app_process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                app_process.kill()
        launcher.terminate()


if __name__ == "__main__":
    main()
