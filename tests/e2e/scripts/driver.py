"""What the end-to-end drivers share: bounded waits, commands, the program under the accessibility
bridge and its place in the accessibility tree. A driver calls begin() first; fail() prints the
driver's result with "error" as its one JSON line and ends it with status 1."""
import json
import os
import subprocess
import sys
import time

result = {}
_deadline = 0.0
_run_timeout = 15
_on_fail = None


def begin(seconds, run_timeout=15, on_fail=None):
    global _deadline, _run_timeout, _on_fail
    _deadline, _run_timeout, _on_fail = time.monotonic() + seconds, run_timeout, on_fail


def past_deadline():
    return time.monotonic() > _deadline


def fail(message):
    result["error"] = message
    if _on_fail is not None:
        _on_fail()
    print(json.dumps(result), flush=True)
    sys.exit(1)


def wait_for(what, probe, seconds=None):
    """probe's first answer other than None, within seconds and the driver's deadline."""
    until = _deadline if seconds is None else min(_deadline, time.monotonic() + seconds)
    while time.monotonic() < until:
        found = probe()
        if found is not None:
            return found
        time.sleep(0.25)
    fail("timed out waiting for " + what)


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, timeout=_run_timeout).stdout


def accessibility_bus():
    return subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])


def start_program(path, env=None):
    return subprocess.Popen([path], env=dict(env or os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                                             QT_QPA_PLATFORM="xcb"))


def window_id(program):
    """The program's first visible window, or None."""
    ids = run("xdotool", "search", "--onlyvisible", "--pid", str(program.pid)).split()
    return ids[0] if ids else None


def application(program):
    """The program on the accessibility bus once it shows something, or None."""
    import pyatspi  # after the bus is up: the import connects to it
    desktop = pyatspi.Registry.getDesktop(0)
    for app in (desktop.getChildAtIndex(i) for i in range(desktop.childCount)):
        try:
            if app is not None and app.get_process_id() == program.pid and app.childCount > 0:
                return app
        except Exception:
            pass


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
