#!/usr/bin/python3
"""price_alert.py PROGRAM LEVEL MODE, inside dbus-run-session on the caller's X server (DISPLAY).

MODE "dunst" starts the notification daemon dunst on the session bus, MODE "none" leaves the bus
without a notification service. PROGRAM's demo script opens two quotes, the second (MSFT) last;
by keys alone this sets an alert "Above: LEVEL" on it through its context menu (Shift+F10) and
dialog, lets it refresh several times, and reads back what the user is told: the daemon's history
(dunstctl) and the Notify call on the bus, or the status bar through AT-SPI. Then "Open" is invoked
through the daemon on a notification of a window that is no longer the active one. Prints one JSON
line; every wait is bounded; on a failure the JSON holds "error" and the exit status is 1.
"""
import json
import os
import subprocess
import sys
import time

from driver import accessibility_bus, application, begin, result, run, start_program, wait_for, walk


def screenshot():
    if os.environ.get("PRICE_ALERT_SHOT"):
        subprocess.run(["import", "-window", "root", os.environ["PRICE_ALERT_SHOT"]], timeout=15)


def main():
    begin(100, on_fail=screenshot)
    program_path, level, mode = sys.argv[1], sys.argv[2], sys.argv[3]
    helpers = [accessibility_bus()]
    program = None
    try:
        if mode == "dunst":
            with open("dunstrc", "w") as rc:
                rc.write("[global]\n    timeout = 0\n")  # kept on screen until closed here
            helpers.append(subprocess.Popen(["dunst", "-config", "dunstrc"], stderr=subprocess.DEVNULL))
            wait_for("dunst on the bus", lambda: True if run("dunstctl", "is-paused").strip() else None, 10)
            monitor = open("notify-calls.txt", "w")
            helpers.append(subprocess.Popen(["dbus-monitor", "member='Notify'"], stdout=monitor))

        from gi.repository import Atspi

        program = start_program(program_path)

        def main_window():
            for window in run("xdotool", "search", "--onlyvisible", "--pid", str(program.pid)).split():
                if "Microsoft" in run("xdotool", "getwindowname", window):
                    return window

        window = wait_for("the quote of MSFT in the main window", main_window, 30)
        def open_dialog():
            run("xdotool", "windowfocus", window)
            time.sleep(0.5)
            run("xdotool", "key", "--delay", "150", "shift+F10", "Down", "Return")
            dialog = wait_for("the Price Alert dialog",
                              lambda: (run("xdotool", "search", "--onlyvisible", "--name", "Price Alert - MSFT").split()
                                       or [None])[0], 10)
            run("xdotool", "windowfocus", dialog)
            time.sleep(0.3)

        open_dialog()
        run("xdotool", "type", "--delay", "100", level)
        run("xdotool", "key", "Return")
        # Three refreshes or more with the price beyond the line.
        time.sleep(5)
        result["title_after_alert"] = run("xdotool", "getwindowname", window).strip()

        if mode == "dunst":
            result["count"] = sum(int(run("dunstctl", "count", which) or 0) for which in ("displayed", "history"))
            result["notify_call"] = open("notify-calls.txt").read()
            # Another window comes to the front; "Open" on the notification brings MSFT back.
            run("xdotool", "windowfocus", window)
            run("xdotool", "key", "ctrl+Tab")
            wait_for("another quote window active",
                     lambda: True if "Microsoft" not in run("xdotool", "getwindowname", window) else None, 10)
            result["title_before_open"] = run("xdotool", "getwindowname", window).strip()
            # "Open" as the daemon invokes it, then the notification as its history keeps it.
            run("dunstctl", "action", "0")
            wait_for("the alert's window raised",
                     lambda: True if "Microsoft" in run("xdotool", "getwindowname", window) else None, 10)
            run("dunstctl", "close-all")
            history = json.loads(run("dunstctl", "history"))["data"][0]
            result["history"] = [{key: n[key]["data"] for key in ("appname", "summary", "body")} for n in history]
            result["title_after_open"] = run("xdotool", "getwindowname", window).strip()
        else:
            app = wait_for("the program on the accessibility bus", lambda: application(program))
            app.set_cache_mask(Atspi.Cache.NONE)

            def status_message():
                for node in walk(app):
                    try:
                        if node.name.startswith("Price alert:"):
                            return node.name
                    except Exception:
                        pass

            result["status"] = wait_for("the alert in the status bar", status_message, 20)
            # The program goes on: it still answers keys, and the dialog comes back with the alert.
            open_dialog()
            run("xdotool", "key", "Escape")
        result["running"] = program.poll() is None
        print(json.dumps(result), flush=True)
    finally:
        if program is not None:
            program.terminate()
            try:
                program.wait(10)
            except subprocess.TimeoutExpired:
                program.kill()
                program.wait()
        for helper in reversed(helpers):
            helper.kill()
            helper.wait()


if __name__ == "__main__":
    main()
