#!/usr/bin/env bash
# Builds Kolpex and runs it against the stand-in quote service.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec build/src/kolpex-quote "$@"
