#!/usr/bin/env bash
# Builds the Debian package kolpex_<version>_<arch>.deb with CPack.
# Usage: tools/make-deb.sh [BUILD-DIR]
#   BUILD-DIR defaults to build-release/, configured as a Release build when it is new; any other
#   build directory of this source tree works too (test.sh packs its build/). The package is left
#   in BUILD-DIR and its path is the last line of the output.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-release}
if [[ ! -f $dir/CMakeCache.txt ]]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"
dir=$(cd "$dir" && pwd)
rm -f "$dir"/kolpex_*.deb
(cd "$dir" && cpack -G DEB >&2)
debs=("$dir"/kolpex_*.deb)
[[ -f ${debs[0]} ]] || {
    echo "make-deb: cpack made no kolpex_*.deb in $dir" >&2
    exit 1
}
echo "${debs[0]}"
