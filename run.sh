#!/usr/bin/env bash
# Builds and installs Kolpex into build/install and runs the program through its launcher with a
# quote service of its own, on the simulated market (KOLPEX_QUOTE_SOURCE=live for live quotes, or any
# --source list), unless KOLPEX_QUOTE_SERVICE names a service; the service ends with the program. With
# arguments it runs the command-line tool instead, for example
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

if (($#)); then
    command=("$prefix/bin/kolpex-quote" "$@")
else
    command=("$prefix/bin/kolpex")
fi
if [[ -n "${KOLPEX_QUOTE_SERVICE:-}" ]]; then
    exec "${command[@]}"
fi

source=${KOLPEX_QUOTE_SOURCE:-simulated}
if [[ $source == simulated ]]; then
    echo "run.sh: quotes are simulated; for live quotes run: KOLPEX_QUOTE_SOURCE=live ./run.sh" >&2
else
    echo "run.sh: quotes from $source" >&2
fi
# The launcher's own supervisor, with the user's settings but the source asked for here.
exec "$prefix/libexec/kolpex/kolpex-supervise" "$PWD/build/quote-service.log" \
    "$prefix/bin/kolpex-quote-service" --config "${XDG_CONFIG_HOME:-$HOME/.config}/kolpex/quote-service.conf" \
    --source "$source" -- "${command[@]}"
