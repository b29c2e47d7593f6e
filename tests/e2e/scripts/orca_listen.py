#!/usr/bin/python3
"""orca_listen.py PROGRAM STEPS_JSON, inside dbus-run-session on the caller's X server (DISPLAY).

Starts the accessibility bus, a speech-dispatcher of its own whose only voice writes each utterance
to a file, Orca 43 and PROGRAM; then presses each step's keys with xdotool and records what Orca
said until the next step. STEPS_JSON is a list of {"keys": [xdotool arguments, one run each],
"wait": seconds}, for example {"keys": ["key Down", "keydown Insert key KP_Enter keyup Insert"]}.
Prints one JSON line: {"steps": [[utterance, ...], ...]} or, on a failure, {"error": ...}.
Every wait is bounded.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from driver import accessibility_bus, begin, fail, past_deadline, result, run, start_program, wait_for, window_id


def speech_dispatcher(scratch, spoken):
    """A speech server whose one voice appends each utterance, one line each, to spoken."""
    conf = os.path.join(scratch, "speechd")
    os.makedirs(os.path.join(conf, "modules"))
    with open(os.path.join(conf, "speechd.conf"), "w") as f:
        f.write('AddModule "log" "sd_generic" "log.conf"\nDefaultModule log\n'
                'LanguageDefaultModule "en" "log"\nAudioOutputMethod "libao"\n')
    with open(os.path.join(conf, "modules", "log.conf"), "w") as f:
        # One utterance is one line: no splitting at punctuation, no line breaks inside.
        f.write('GenericDelimiters "\\n"\nGenericMaxChunkLength 4000\n'
                "GenericExecuteSynth \"printf '%s\\\\n' '$DATA' | tr -s '\\\\n' ' ' >> " + spoken
                + " && echo >> " + spoken + "\"\n"
                'GenericLanguage "en" "en" "utf-8"\nAddVoice "en" "MALE1" "en"\n')
    socket = os.path.join(scratch, "speechd.sock")
    server = subprocess.Popen(["speech-dispatcher", "-s", "-t", "0", "-C", conf, "-S", socket,
                               "-L", scratch], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("speech-dispatcher's socket", lambda: True if os.path.exists(socket) else None, 10)
    return server, "unix_socket:" + socket


def main():
    begin(170, run_timeout=20)
    program_path, steps = sys.argv[1], json.load(open(sys.argv[2]))
    scratch = tempfile.mkdtemp(prefix="orca-listen-")
    spoken = os.path.join(scratch, "spoken.txt")
    open(spoken, "w").close()
    children = [accessibility_bus()]
    try:
        server, address = speech_dispatcher(scratch, spoken)
        children.append(server)
        env = dict(os.environ, SPEECHD_ADDRESS=address, GTK_MODULES="", NO_AT_BRIDGE="0")
        prefs = os.path.join(scratch, "orca")
        os.makedirs(prefs)
        children.append(subprocess.Popen(["orca", "--replace", "-u", prefs, "-d", "braille",
                                          "-d", "main-window"], env=env,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

        def said():
            with open(spoken) as f:
                return [line.strip() for line in f if line.strip()]

        wait_for("Orca to speak", lambda: said() or None, 40)
        program = start_program(program_path)
        children.append(program)

        window = wait_for("the program's window", lambda: window_id(program), 30)
        run("xdotool", "windowactivate", "--sync", window)
        run("xdotool", "windowfocus", "--sync", window)
        time.sleep(3)
        result["steps"] = []
        for step in steps:
            before = len(said())
            for keys in step["keys"]:
                run("xdotool", *keys.split())
                time.sleep(0.8)
            time.sleep(step.get("wait", 1.5))
            result["steps"].append(said()[before:])
            if past_deadline():
                fail("out of time")
        print(json.dumps(result), flush=True)
    finally:
        for child in reversed(children):
            child.terminate()
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
