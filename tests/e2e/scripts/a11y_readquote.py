#!/usr/bin/python3
"""a11y_readquote.py PROGRAM, inside dbus-run-session on the caller's X server (DISPLAY).

Starts the accessibility bus and PROGRAM, opens Markets > NASDAQ and the first row's quote by
keyboard alone, reads them back through AT-SPI as a screen reader would, and prints one JSON line.
Every wait is bounded; on a failure the JSON holds "error" and the exit status is 1.
"""
import json
import sys
import time

from driver import (accessibility_bus, application, begin, result, run, start_program, wait_for, walk,
                    window_id)

def main():
    begin(90)
    launcher = accessibility_bus()
    program = None
    try:
        import pyatspi  # after the bus is up: the import connects to it
        from gi.repository import Atspi

        program = start_program(sys.argv[1])
        app = wait_for("the program on the accessibility bus", lambda: application(program))
        app.set_cache_mask(Atspi.Cache.NONE)  # names change as windows get their titles

        window = wait_for("the program's window", lambda: window_id(program))
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
