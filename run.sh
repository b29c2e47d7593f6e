#!/usr/bin/env bash
# Builds and installs Kolpex into build/install, starts the stand-in quote service (unless
# KOLPEX_QUOTE_SERVICE names another) and runs the program through its launcher; the service stops
# when the program exits. With arguments it runs the command-line tool instead, for example
#   ./run.sh fetch US:MSFT      ./run.sh list NASDAQ --find corp
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
cmake --install build --prefix "$PWD/build/install" >/dev/null
prefix=$PWD/build/install

if ((!$#)) && [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]]; then
    echo "run.sh: no display found; run it under a virtual one with: xvfb-run -a ./run.sh" >&2
    exit 1
fi

service_pid=""
service_log=""
stop_service() {
    if [[ -n "$service_pid" ]]; then
        kill -TERM "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
    fi
    [[ -n "$service_log" ]] && rm -f "$service_log"
}
trap stop_service EXIT

if [[ -z "${KOLPEX_QUOTE_SERVICE:-}" ]]; then
    # The default address first, so that quote windows reopened later find the same service;
    # a free port when something else holds it.
    service_log=$(mktemp)
    for port in 8765 0; do
        "$prefix/bin/kolpex-quote-service" --address 127.0.0.1 --port "$port" ${KOLPEX_QUOTE_SOURCE:+--source "$KOLPEX_QUOTE_SOURCE"} >"$service_log" 2>&1 &
        service_pid=$!
        for _ in $(seq 100); do
            grep -q '^listening on ' "$service_log" && break
            kill -0 "$service_pid" 2>/dev/null || break
            sleep 0.1
        done
        grep -q '^listening on ' "$service_log" && break
        wait "$service_pid" 2>/dev/null || true
        service_pid=""
    done
    url=$(sed -n '1s/^listening on //p' "$service_log")
    [[ -n "$url" ]] || { echo "run.sh: the quote service did not start:" >&2; cat "$service_log" >&2; exit 1; }
    export KOLPEX_QUOTE_SERVICE="$url"
    echo "run.sh: quote service at $url"
fi

if (($#)); then
    "$prefix/bin/kolpex-quote" "$@"
else
    "$prefix/bin/kolpex"
fi
