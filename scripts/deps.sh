# Sourced by the other scripts: installs the Debian packages a task needs,
# or says exactly what to install when not run as root.
# usage: need_packages pkg...
need_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null || {
            echo "apt-get install failed for: ${missing[*]}" >&2
            return 1
        }
    else
        echo "Missing packages. Please run:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
}

BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libxcb-xkb-dev
                fonts-dejavu-core qt6-multimedia-dev libliquid-dev libsndfile1-dev libhamlib-dev)
# A real X server and tools to act as a user in the end-to-end tests and the demo.
DESKTOP_TEST_PACKAGES=(xvfb xauth xdotool xclip x11-utils imagemagick)
# The analyzer's tests key a dummy radio through rigctld and play through a
# private sound server.
ANALYZER_TEST_PACKAGES=(libhamlib-utils pulseaudio pulseaudio-utils)
# scripts/package-check.sh: building the packages (dpkg-shlibdeps) and checking them.
PACKAGE_CHECK_PACKAGES=(dpkg-dev lintian systemd)

# usage: build_tree DIR [cmake args...]
# With BUILD_TARGETS="a b" only those targets (and what they need) are built.
build_tree() {
    local dir="$1"
    shift
    local targets=()
    if [ -n "${BUILD_TARGETS:-}" ]; then
        read -r -a targets <<<"$BUILD_TARGETS"
        targets=(--target "${targets[@]}")
    fi
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
        cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}
