#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/deps.sh"

need_packages "${BUILD_PACKAGES[@]}" "${DESKTOP_TEST_PACKAGES[@]}" "${ANALYZER_TEST_PACKAGES[@]}"

dir="$ROOT/build"
args=()
if [ "${1:-}" = "--sanitize" ]; then
    dir="$ROOT/build-asan"
    args=(-DVARKEL_SANITIZE=ON -DVARKEL_BUILD_BENCH=OFF)
fi
build_tree "$dir" "${args[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 600
