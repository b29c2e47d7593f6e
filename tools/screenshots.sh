#!/usr/bin/env bash
# Takes the screenshots shown in the README: starts the stand-in quote service on a free port, runs
# the program under a virtual X server in a scratch working directory holding the market lists, and
# lets a demo script open a market list, a search result and two quote windows. The service's clock
# starts in the morning session and runs fast, and the quote windows refresh every half second, so
# by the main picture each window has drawn some fifty minutes of the trading day. It does so twice:
# at 1x (docs/screenshot-*.png) and at 2x, as on a HiDPI screen (docs/screenshot-*@2x.png).
# Usage: tools/screenshots.sh [BUILD-DIR]   (default build/; the pictures go to docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
app=$build/src/kolpex
service=$build/quote-service/kolpex-quote-service
for program in "$app" "$service"; do
    [[ -x $program ]] || {
        echo "screenshots: $program is missing; build first (./test.sh --quick)" >&2
        exit 1
    }
done
command -v xvfb-run >/dev/null || {
    echo "screenshots: xvfb-run is missing (apt-get install xvfb xauth)" >&2
    exit 1
}

work=$(mktemp -d)
service_pid=
cleanup() {
    [[ -n $service_pid ]] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

cp data/*.TXT "$work/"
mkdir -p "$work/home" "$work/config" docs

# The service names its address on its first output line: "listening on http://127.0.0.1:PORT".
# Two simulated minutes a second, and a refresh every half second: one new minute a refresh.
coproc SERVICE { exec "$service" --port 0 --source simulated --lists "$root/data" --now 2026-12-07T10:00:00-05:00 --rate 120; }
# shellcheck disable=SC2153 # set by coproc
service_pid=$SERVICE_PID
read -r -t 20 first_line <&"${SERVICE[0]}" || {
    echo "screenshots: the quote service did not start" >&2
    exit 1
}
address=$(grep -o 'http://[0-9.]*:[0-9]*' <<<"$first_line") || {
    echo "screenshots: cannot read the service address from: $first_line" >&2
    exit 1
}
# Keep draining the service's output so that it never blocks on a full pipe. A background job
# does not inherit the coprocess's descriptors, so hand it a copy.
exec {service_out}<&"${SERVICE[0]}"
cat <&"$service_out" >"$work/service.log" &

# One run of the program at a scale: 1 or 2. The demo script's sizes are logical pixels.
take() {
    local scale=$1 suffix=$2
    cat >"$work/demo.txt" <<SCRIPT
resize 1200 850
market NASDAQ
wait 500
screenshot $root/docs/screenshot-list$suffix.png
find corp
wait 500
refresh-every 500
quote US:MSFT
# Periods of their own: timers of one period line up, and a refresh due while another window's
# download runs is skipped, so one of the two would hardly ever get its turn.
refresh-every 650
quote CA:RY
tile
wait 25000
screenshot $root/docs/screenshot-main$suffix.png
SCRIPT
    rm -rf "$work/config" && mkdir -p "$work/config"
    (cd "$work" &&
        HOME=$work/home XDG_CONFIG_HOME=$work/config KOLPEX_QUOTE_SERVICE=$address \
            KOLPEX_DEMO_SCRIPT=$work/demo.txt QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
            xvfb-run -a -s "-screen 0 $((1280 * scale))x$((960 * scale))x24" "$app")
}

echo "screenshots: quote service at $address"
take 1 ""
take 2 "@2x"
echo "screenshots: $(grep -c ' GET ' "$work/service.log") quote requests served"
echo "screenshots: done; look at docs/screenshot-*.png"
