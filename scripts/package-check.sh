#!/usr/bin/env bash
# Builds the Debian packages in build-pkg/ (programs only, no tests), checks
# them as a packager would and starts every program from a scratch root:
#   lintian             no error (the warnings left are explained in the README)
#   dpkg -x             each package unpacks; its programs answer --version
#   systemd-analyze     the user unit verifies
#   dependencies        sondrel does not pull in Qt Widgets; sondrel-sim ships nowhere
# The build of the programs takes minutes on two cores, so it is not part of CI.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/deps.sh"

need_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_CHECK_PACKAGES[@]}"
dir="$ROOT/build-pkg"
build_tree "$dir" -DVARKEL_BUILD_TESTS=OFF -DVARKEL_BUILD_BENCH=OFF
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
mapfile -t debs < <(ls "$dir"/*.deb)
echo "Packages: ${debs[*]##*/}"

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

echo "== lintian"
# Informational tags too, so a new one is seen; only an error fails.
lintian --fail-on error --display-info --tag-display-limit 0 "${debs[@]}" || fail "lintian reports errors"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
version="$(sed -n 's/^project(Varkel VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
for deb in "${debs[@]}"; do
    dpkg -x "$deb" "$scratch" || fail "dpkg -x ${deb##*/}"
    if dpkg-deb -c "$deb" | grep -q sondrel-sim; then
        fail "${deb##*/} ships sondrel-sim"
    fi
done

echo "== programs from the scratch root"
for program in varkel pelorin sondrel; do
    out="$(QT_QPA_PLATFORM=offscreen "$scratch/usr/bin/$program" --version 2>&1)" ||
        fail "$program --version exits non-zero: $out"
    case "$out" in
    *"$version"*) echo "$program: $out" ;;
    *) fail "$program --version says \"$out\", not $version" ;;
    esac
done

echo "== the user unit"
unit="$scratch/usr/lib/systemd/user/sondrel.service"
[ -f "$unit" ] || fail "no user unit under /usr/lib/systemd/user"
# The unit names /usr/bin/sondrel and man:sondrel(1); verify it with the
# scratch root's program and page. A user manager needs a runtime folder.
verify_dir="$(mktemp -d)"
sed "s|/usr/bin/sondrel|$scratch/usr/bin/sondrel|g" "$unit" >"$verify_dir/sondrel.service"
MANPATH="$scratch/usr/share/man" XDG_RUNTIME_DIR="$verify_dir" \
    systemd-analyze --user verify "$verify_dir/sondrel.service" || fail "systemd-analyze verify"
rm -rf "$verify_dir"

echo "== dependencies"
sondrel_deb="$(printf '%s\n' "${debs[@]}" | grep '/sondrel_')"
depends="$(dpkg-deb -f "$sondrel_deb" Depends)"
echo "sondrel depends on: $depends"
case "$depends" in
*widgets*) fail "sondrel pulls in Qt Widgets" ;;
esac

[ "$failed" -eq 0 ] && echo "All package checks passed."
exit "$failed"
