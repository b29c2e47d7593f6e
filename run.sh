#!/usr/bin/env bash
# Builds Kolpex and runs it against the stand-in quote service.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

# Start the stand-in quote service on a free loopback port, unless KOLPEX_QUOTE_SERVICE names another.
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
    service_log=$(mktemp)
    build/quote-service/kolpex-quote-service --address 127.0.0.1 --port 0 --lists "$PWD/data" >"$service_log" 2>&1 &
    service_pid=$!
    for _ in $(seq 100); do
        grep -q '^listening on ' "$service_log" && break
        kill -0 "$service_pid" 2>/dev/null || { cat "$service_log"; exit 1; }
        sleep 0.1
    done
    url=$(sed -n '1s/^listening on //p' "$service_log")
    [[ -n "$url" ]] || { echo "the quote service did not start" >&2; cat "$service_log"; exit 1; }
    export KOLPEX_QUOTE_SERVICE="$url"
    echo "quote service at $url"
fi

if (($#)); then
    build/src/kolpex-quote "$@"
else
    # A US, a Canadian and a British security from the shipped lists.
    for security in US:MSFT CA:RY GB:VOD; do
        echo "== $security"
        build/src/kolpex-quote fetch "$security"
    done
fi
