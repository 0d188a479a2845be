#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
# With CI=true (as .ci/run and CI services set it) a compiler warning fails the build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/deps.sh"

need_packages "${BUILD_PACKAGES[@]}" "${DESKTOP_TEST_PACKAGES[@]}" "${ANALYZER_TEST_PACKAGES[@]}"

dir="$ROOT/build"
args=()
if [ "${CI:-}" = "true" ]; then
    args+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
else
    args+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=OFF)
fi
if [ "${1:-}" = "--sanitize" ]; then
    dir="$ROOT/build-asan"
    args+=(-DVARKEL_SANITIZE=ON -DVARKEL_BUILD_BENCH=OFF)
fi
build_tree "$dir" "${args[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 600
