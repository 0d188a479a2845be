#!/usr/bin/env bash
# Installs what is missing, builds, starts the analyzer in loopback (the
# transmitted signal goes through a simulated noisy channel and is decoded
# back) and the terminal against it. Without a display it runs the same demo
# on a virtual one, types a greeting and saves a screenshot.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/deps.sh"

need_packages "${BUILD_PACKAGES[@]}"
if [ -z "${DISPLAY:-}" ]; then
    need_packages "${DESKTOP_TEST_PACKAGES[@]}"
fi
# Only the two programs the demo runs: the tests take many minutes more.
BUILD_TARGETS="varkel sondrel" build_tree "$ROOT/build"

VARKEL="$ROOT/build/terminal/ui/varkel"
SONDREL="$ROOT/build/analyzer/sondrel"
PORT="${PORT:-5555}"

# The demo keeps its own settings so it never touches a real station's setup.
export XDG_CONFIG_HOME="$ROOT/build/demo/config"
export HOME_FOR_LOGS="$ROOT/build/demo/logs"
mkdir -p "$XDG_CONFIG_HOME/Tollund" "$HOME_FOR_LOGS"
cat > "$XDG_CONFIG_HOME/Tollund/Varkel.conf" <<CONF
[Settings]
Log%20directory=$HOME_FOR_LOGS
cx=760
cy=480
Height1=200

[Setup]
Host=127.0.0.1
Port=$PORT
F9%20Macro=CQ CQ CQ de DEMO DEMO pse k
F9%20CR=1
CONF

. "$ROOT/scripts/processes.sh"

"$SONDREL" --loopback --snr "${SNR:-0}" --port "$PORT" &
pids+=($!)
sleep 0.5

if [ -n "${DISPLAY:-}" ]; then
    echo "Starting Varkel against sondrel --loopback on 127.0.0.1:$PORT"
    "$VARKEL"
    exit 0
fi

echo "No display: running the demo on a virtual X display (Xvfb)."
start_xvfb
"$VARKEL" &
pids+=($!)
if ! win="$(wait_window 'Connected to Sondrel - Varkel')"; then
    echo "The terminal window did not come up connected." >&2
    exit 1
fi
xdotool windowfocus --sync "$win"
xdotool key F5 F6
xdotool type --delay 60 "Hello from the Varkel demo"
xdotool key Return F9
# PSK31 sends about four characters a second: let it all go out and come back decoded.
sleep 25
shot="$ROOT/build/demo/varkel-demo.png"
import -window "$win" "$shot"
echo "Screenshot saved: $shot"
