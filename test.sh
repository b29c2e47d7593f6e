#!/usr/bin/env bash
# Builds Kolpex and runs every check, each as a stage:
#   build, tests        RelWithDebInfo in build/ with warnings as errors, the whole CTest suite
#   asan build, tests   the same suite again under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   fuzz build, fuzz_*  clang build of the libFuzzer targets (build-fuzz/), each run for a bounded time
#                       on a copy of its seed corpus fuzz/corpus/<name>/ (the page parser's also
#                       on the saved test pages in tests/data/pages/)
#   bench_*             each benchmark once, briefly, so that none of them rots
#   package             the Debian package packed from build/, checked by lintian (no errors or
#                       warnings) and the desktop entry, AppStream and systemd validators,
#                       installed with dpkg into a scratch root, whose launcher, unconfigured,
#                       gets its first quotes from a scripted Yahoo and ends every service it starts
# Usage: ./test.sh [--quick]   --quick: only the normal build and its tests.
# KOLPEX_FUZZ_SECONDS sets the time per fuzz target (default 30).
set -uo pipefail
cd "$(dirname "$0")" || exit 1

quick=0
for arg in "$@"; do
    case $arg in
    --quick) quick=1 ;;
    -h | --help)
        sed -n '2,13s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    *)
        echo "test.sh: unknown option $arg (try --help)" >&2
        exit 2
        ;;
    esac
done

tools/install-deps.sh || {
    echo "test.sh: installing the build dependencies failed" >&2
    exit 1
}

jobs=$(nproc)
# A compiler cache, where the machine has one, makes the three builds of a re-run cheap.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fuzz_seconds=${KOLPEX_FUZZ_SECONDS:-30}
passed=0
failed=0
failures=()

# stage NAME COMMAND...: runs one stage, times it and counts it.
stage() {
    local name=$1 start=$SECONDS
    shift
    echo "==> $name"
    if "$@"; then
        echo "==> $name: passed ($((SECONDS - start)) s)"
        passed=$((passed + 1))
        return 0
    fi
    echo "==> $name: FAILED ($((SECONDS - start)) s)"
    failed=$((failed + 1))
    failures+=("$name")
    return 1
}

# A stage whose prerequisite failed counts as failed without running.
skipped() {
    echo "==> $1: FAILED (not run: $2)"
    failed=$((failed + 1))
    failures+=("$1")
}

# Runs a program with its output in a log file; shows the end of the log when it fails.
logged() {
    local log=$1
    shift
    mkdir -p "$(dirname "$log")"
    "$@" >"$log" 2>&1 && return 0
    local status=$?
    tail -n 40 "$log"
    echo "(exit status $status; full output in $log)"
    return "$status"
}

build_dir() { # DIR CMAKE-ARGS...
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null &&
        cmake --build "$dir" -j"$jobs"
}

run_ctest() { # DIR
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$1" --output-on-failure -j"$jobs"
}

# Names of the programs built from DIR/PREFIX*.cpp, derived from the sources so that a stale binary
# of a removed source is never run and a missing binary counts as a failure.
programs() { # DIR PREFIX
    local src
    for src in "$1"/"$2"*.cpp; do
        [[ -e $src ]] || continue
        basename "$src" .cpp
    done
}

# Only the fuzz targets: the rest of an instrumented tree would be built for nothing.
build_fuzzers() { # NAMES...
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
        -DKOLPEX_BUILD_FUZZ=ON -DKOLPEX_BUILD_TESTS=OFF -DKOLPEX_BUILD_BENCH=OFF >/dev/null &&
        cmake --build build-fuzz -j"$jobs" --target "$@"
}

# The saved quote pages of the tests seed the page parser's fuzzer too, rather than copies of them.
declare -A extra_seeds=([fuzz_quote_page]=tests/data/pages [fuzz_yahoo]=tests/data/providers [fuzz_finnhub]=tests/data/providers [fuzz_cnbc]=tests/data/providers)

run_fuzzer() { # NAME
    local name=$1 bin=build-fuzz/fuzz/$1 corpus
    [[ -x $bin ]] || {
        echo "$bin was not built"
        return 1
    }
    corpus=$(mktemp -d) || return 1
    # Work on a copy: the fuzzer adds what it finds to the corpus directory it is given.
    if [[ -d fuzz/corpus/$name ]]; then
        cp -R "fuzz/corpus/$name/." "$corpus/"
    else
        echo "note: no seed corpus fuzz/corpus/$name/, starting from nothing"
    fi
    # Further seeds read in place (the fuzzer writes only into the first directory).
    local seeds=()
    [[ -n ${extra_seeds[$name]:-} ]] && seeds+=("${extra_seeds[$name]}")
    mkdir -p build-fuzz/artifacts
    logged "build-fuzz/logs/$name.log" "$bin" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$name-" "$corpus" "${seeds[@]}"
    local status=$?
    rm -rf "$corpus"
    [[ $status -eq 0 ]] && tail -n 12 "build-fuzz/logs/$name.log" | grep -E '^(stat::number_of_executed_units|Done)'
    return "$status"
}

run_bench() { # NAME
    local bin=build/bench/$1
    [[ -x $bin ]] || {
        echo "$bin was not built"
        return 1
    }
    # benchmark 1.7 takes the minimum time as a plain number of seconds.
    QT_QPA_PLATFORM=offscreen logged "build/logs/$1.log" "$bin" --benchmark_min_time=0.01
}

# The network of a command of its own, with only a loopback interface, so that the default port
# is free whatever else runs; on a machine that forbids that, the shared one.
isolated() {
    if unshare -rn true 2>/dev/null; then
        unshare -rn bash -c 'ip link set lo up && exec "$@"' isolated "$@"
    else
        echo "note: no private network namespace here; using the machine's loopback"
        "$@"
    fi
}

check_package() {
    local deb root status=0 units lint
    logged build/logs/make-deb.log tools/make-deb.sh build || return 1
    deb=$(tail -n 1 build/logs/make-deb.log)
    echo "package: $deb"
    lint=$(lintian --fail-on error,warning "$deb" 2>&1) || status=1
    grep -v '^running with root privileges' <<<"$lint"
    root=$(mktemp -d) || return 1
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/home" &&
        : >"$root/var/lib/dpkg/status" && mkdir -m 700 "$root/run" || status=1
    # The libraries the package depends on are this machine's, not the scratch root's.
    logged build/logs/dpkg-install.log dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" ||
        status=1
    desktop-file-validate "$root/usr/share/applications/kolpex.desktop" || status=1
    appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || status=1
    if command -v systemd-analyze >/dev/null; then
        # The service's program is where the scratch root has it.
        units=$(mktemp -d) || return 1
        cp "$root"/usr/lib/systemd/user/kolpex-quote-service.{service,socket} "$units/" &&
            sed -i "s|^ExecStart=/|ExecStart=$root/|" "$units/kolpex-quote-service.service" &&
            systemd-analyze verify --man=no "$units"/* || status=1
        systemd-analyze security --offline=yes --threshold=20 "$units/kolpex-quote-service.service" |
            tail -n 1 || status=1
        rm -rf "$units"
    fi
    isolated tests/packaging/first-quote.sh "$root" "$PWD/tests/data/providers" || status=1
    rm -rf "$root"
    return "$status"
}

# Normal build: what developers and users get, with warnings as errors.
build_ok=0
if stage "build" build_dir build -DKOLPEX_WERROR=ON; then
    build_ok=1
    stage "tests" run_ctest build
else
    skipped "tests" "the build failed"
fi

if ((!quick)); then
    # Sanitizers: the whole suite again. Leak checking is off because Qt, fontconfig and the
    # platform plugins keep caches alive until exit that LeakSanitizer reports by the hundred,
    # drowning any leak of our own; addressing errors and undefined behaviour still stop a test.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    if stage "asan build" build_dir build-asan -DKOLPEX_SANITIZE=ON -DKOLPEX_BUILD_BENCH=OFF; then
        stage "asan tests" run_ctest build-asan
    else
        skipped "asan tests" "the sanitizer build failed"
    fi

    mapfile -t fuzzers < <(programs fuzz fuzz_)
    if ((${#fuzzers[@]})); then
        if stage "fuzz build" build_fuzzers "${fuzzers[@]}"; then
            for f in "${fuzzers[@]}"; do
                stage "$f" run_fuzzer "$f"
            done
        else
            for f in "${fuzzers[@]}"; do
                skipped "$f" "the fuzz build failed"
            done
        fi
    else
        echo "==> fuzz: no fuzz targets in fuzz/"
    fi
    unset ASAN_OPTIONS UBSAN_OPTIONS

    mapfile -t benches < <(programs bench bench_)
    ((${#benches[@]})) || echo "==> bench: no benchmarks in bench/"
    for b in "${benches[@]}"; do
        if ((!build_ok)); then
            skipped "$b" "the build failed"
        else
            stage "$b" run_bench "$b"
        fi
    done
fi

if ((!quick)); then
    if ((build_ok)); then
        stage "package" check_package
    else
        skipped "package" "the build failed"
    fi
fi

((failed)) && echo "Failed stages: ${failures[*]}"
echo "$passed passed, $failed failed"
((failed == 0))
