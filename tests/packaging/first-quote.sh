#!/usr/bin/env bash
# A new user of the package installed under ROOT, whose settings name only where Yahoo is (a scripted
# one, started here), gets the first quote window's quote and kolpex-quote's from it; a simulated
# quote says so in the window title. Runs on a virtual display; meant for a network namespace of its own.
# usage: first-quote.sh ROOT FIXTURE-DIR
set -uo pipefail
root=$1
fixtures=$2
here=$(dirname "$0")
user=$(mktemp -d) || exit 1
yahoo_pid=
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    [[ -n $yahoo_pid ]] && kill "$yahoo_pid" 2>/dev/null
    rm -rf "$user"
}
trap cleanup EXIT
mkdir -p "$user/home" "$user/config/kolpex" "$user/run" && chmod 700 "$user/run"
export HOME=$user/home XDG_CONFIG_HOME=$user/config XDG_RUNTIME_DIR=$user/run
unset KOLPEX_QUOTE_SERVICE XDG_DATA_HOME XDG_STATE_HOME DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

python3 "$here/scripted-yahoo.py" "$fixtures" "$user/yahoo.log" >"$user/yahoo.port" &
yahoo_pid=$!
for _ in $(seq 100); do
    [[ -s $user/yahoo.port ]] && break
    sleep 0.1
done
port=$(head -n 1 "$user/yahoo.port")
[[ -n $port ]] || { echo "the scripted Yahoo did not start" && exit 1; }
settings=$XDG_CONFIG_HOME/kolpex/quote-service.conf
log=$HOME/.local/state/kolpex/quote-service.log

# The title of the program's main window once a quote window is open in it, which carries that
# window's company name; the program opens the quote and quits by a demo script.
window_title() { # CC:SYMBOL
    printf 'quote %s\nwait 3000\nquit\n' "$1" >"$user/demo.txt"
    # shellcheck disable=SC2016 # expanded by the inner shell
    KOLPEX_DEMO_SCRIPT=$user/demo.txt timeout 120 xvfb-run -a -s "-nolisten tcp" bash -c '
        "$0" & program=$!
        for _ in $(seq 300); do
            title=$(xdotool search --name "^Kolpex - " getwindowname 2>/dev/null | head -n 1)
            [[ -n $title ]] && break
            kill -0 "$program" 2>/dev/null || break
            sleep 0.1
        done
        wait "$program"
        echo "$title"' "$root/usr/bin/kolpex"
}

status=0
fail() {
    echo "$1"
    status=1
}
echo "upstream = yahoo=http://127.0.0.1:$port" >"$settings"
out=$("$root/usr/bin/kolpex" --with-service kolpex-quote fetch US:TRDL 2>&1)
echo "$out" | head -n 3
grep -q '^Tarrindel' <<<"$out" || fail "kolpex-quote did not get the scripted Yahoo's quote"
title=$(window_title US:TRDL)
echo "live window: $title"
[[ $title == *Tarrindel* ]] || fail "the first quote window did not get the scripted Yahoo's quote"
grep -q '^/v7/finance/quote?symbols=TRDL' "$user/yahoo.log" || fail "the scripted Yahoo was never asked:
$(cat "$user/yahoo.log")"

echo "source = simulated" >"$settings"
title=$(window_title US:MSFT)
echo "simulated window: $title"
[[ $title == *" (simulated)"* ]] || fail "a simulated quote does not say so in the window title"

# Every service the launcher started ended with its program.
if [[ $(grep -c '^stopped' "$log") -ne 3 ]] || pgrep -f "^$root/usr/bin/kolpex-quote-service" >/dev/null; then
    fail "a quote service of the launcher did not end with its program:
$(cat "$log")"
fi
exit "$status"
