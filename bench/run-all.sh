#!/usr/bin/env bash
# Builds every benchmark in bench/ in one optimised tree and runs them one
# after the other, so that all figures come from the same build on the same
# machine. Prints the machine's description first: the figures mean little
# without it.
#   bench/run-all.sh                      build in build-bench/ and run all
#   BUILD_DIR=/some/dir bench/run-all.sh  build elsewhere
#   JOBS=1 bench/run-all.sh               fewer compile jobs on a busy machine
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build-bench}"
JOBS="${JOBS:-$(nproc)}"

. "$ROOT/scripts/deps.sh"
# The whole-program benchmark needs a virtual display and key events.
need_packages "${BUILD_PACKAGES[@]}" "${DESKTOP_TEST_PACKAGES[@]}"

# Each benchmark as its path under bench/ without .cpp (modem/bench_modem).
mapfile -t benches < <(find "$ROOT/bench" -maxdepth 2 -name 'bench_*.cpp' -printf '%P\n' | sed 's/\.cpp$//' | sort)
if [ ${#benches[@]} -eq 0 ]; then
    echo "No benchmarks in $ROOT/bench" >&2
    exit 1
fi

echo "Configuring an optimised build in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVARKEL_BUILD_BENCH=ON \
    -DVARKEL_BUILD_TESTS=OFF >/dev/null
targets=()
for bench in "${benches[@]}"; do
    targets+=("$(basename "$bench")")
done
echo "Building: ${targets[*]}"
cmake --build "$BUILD" -j"$JOBS" --target "${targets[@]}" >/dev/null

echo
echo "== Machine"
echo "date:    $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
echo "cpu:     $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "cores:   $(nproc) usable (of $(grep -c '^processor' /proc/cpuinfo) listed)"
echo "memory:  $(awk '/MemTotal/ {printf "%.1f GB total", $2/1048576} /MemAvailable/ {printf ", %.1f GB available", $2/1048576}' /proc/meminfo)"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
echo "kernel:  $(uname -sr)"
if [ -r /etc/os-release ]; then
    echo "system:  $(. /etc/os-release && echo "${PRETTY_NAME:-$ID}")"
fi
echo "build:   $BUILD (Release)"

status=0
for bench in "${benches[@]}"; do
    echo
    echo "== $bench"
    # The benchmarks themselves need no display; whatever they start gets its own.
    if ! QT_QPA_PLATFORM=offscreen "$BUILD/bench/$bench"; then
        echo "$bench ended with an error" >&2
        status=1
    fi
done

# The console's benchmark drives sondrel and a headless chromium from Python.
echo
echo "== console/bench_console"
cmake --build "$BUILD" -j"$JOBS" --target sondrel make-band-recording >/dev/null
if ! /usr/bin/python3 "$ROOT/bench/console/bench_console.py" "$BUILD/analyzer/sondrel" \
    "$BUILD/tests/common/make-band-recording"; then
    echo "console/bench_console ended with an error" >&2
    status=1
fi
exit $status
