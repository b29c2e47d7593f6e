#!/usr/bin/env bash
# Opt-in check of the live sources against the real providers; needs a network, so neither
# test.sh nor CI runs it. For each source (yahoo, cnbc, and finnhub when FINNHUB_TOKEN is set) it
# starts the built service on a free loopback port, fetches the securities through
# kolpex-quote fetch, prints the answers side by side, and then the service's own log lines,
# which say which source answered or why each one failed.
#
#   tools/live-check.sh [--build DIR] [--upstream NAME=URL]... [CC:SYMBOL...]
#
# --upstream passes through to the service, to try the script against a local stand-in.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
upstreams=()
securities=()
while (($#)); do
    case $1 in
    --build) build=${2:?--build needs a directory}; shift 2 ;;
    --upstream) upstreams+=(--upstream "${2:?--upstream needs NAME=URL}"); shift 2 ;;
    -h | --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "live-check: unknown option $1" >&2; exit 2 ;;
    *) securities+=("$1"); shift ;;
    esac
done
((${#securities[@]})) || securities=(US:AAPL US:MSFT GB:VOD DE:SAP)

service=$build/quote-service/kolpex-quote-service
tool=$build/src/kolpex-quote
for program in "$service" "$tool"; do
    [[ -x $program ]] || { echo "live-check: $program is not built (cmake --build $build)" >&2; exit 2; }
done

sources=(yahoo cnbc)
if [[ -n ${FINNHUB_TOKEN:-} ]]; then
    sources+=(finnhub)
else
    echo "note: FINNHUB_TOKEN is not set, so finnhub is not tried"
fi

work=$(mktemp -d)
pid=
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

for source in "${sources[@]}"; do
    log=$work/$source.log
    "$service" --address 127.0.0.1 --port 0 --source "$source" "${upstreams[@]}" >"$log" 2>&1 &
    pid=$!
    url=
    for _ in $(seq 100); do # up to 10 s for the address line
        url=$(sed -n 's|^listening on \(http://127\.0\.0\.1:[0-9]*\)$|\1|p' "$log" | head -n 1)
        [[ -n $url ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ -z $url ]]; then
        echo "live-check: the service did not start with --source $source:" >&2
        cat "$log" >&2
        exit 1
    fi
    i=0
    for security in "${securities[@]}"; do
        out=$work/$source.$i
        {
            echo "[$source]"
            if ! KOLPEX_QUOTE_SERVICE=$url timeout 90 "$tool" fetch "$security" 2>&1; then
                echo "(no quote)"
            fi
        } >"$out"
        i=$((i + 1))
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=
done

i=0
for security in "${securities[@]}"; do
    echo
    echo "=== $security"
    files=()
    for source in "${sources[@]}"; do files+=("$work/$source.$i"); done
    if ((${#files[@]} > 1)); then
        pr -m -t -w 140 "${files[@]}"
    else
        cat "${files[0]}"
    fi
    for source in "${sources[@]}"; do
        grep -F "Symbol=$security " "$work/$source.log" | sed "s/^/  $source log: /" || true
    done
    i=$((i + 1))
done
