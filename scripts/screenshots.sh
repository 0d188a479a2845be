#!/usr/bin/env bash
# Takes the README's pictures on a private virtual X display and writes them
# to docs/: both toolbar looks (whole screen), the Setup dialog, the About
# box and Pelorin. The terminal runs against the stand-in analyzer with a
# settings store of its own under build/screenshots/, so a real station's
# setup is never touched. (docs/varkel-demo.png comes from scripts/demo.sh.)
#   scripts/screenshots.sh            write into docs/
#   OUT=/some/dir scripts/screenshots.sh
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/deps.sh"

need_packages "${BUILD_PACKAGES[@]}" "${DESKTOP_TEST_PACKAGES[@]}"
BUILD_TARGETS="varkel pelorin sondrel-sim" build_tree "$ROOT/build"

OUT="${OUT:-$ROOT/docs}"
VARKEL="$ROOT/build/terminal/ui/varkel"
PELORIN="$ROOT/build/drvsetup/pelorin"
SIM="$ROOT/build/tools/sondrel-sim"
PORT="${PORT:-5556}"
WORK="$ROOT/build/screenshots"
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/Tollund" "$OUT"

. "$ROOT/scripts/processes.sh"

# usage: start_terminal IE4STYLE -> starts the terminal and waits for it
start_terminal() {
    cat > "$XDG_CONFIG_HOME/Tollund/Varkel.conf" <<CONF
[Settings]
ToolbarInIE4Style=$1
x=40
y=40
cx=760
cy=480

[Setup]
Host=127.0.0.1
Port=$PORT
F9%20Macro=CQ CQ CQ de TEST TEST pse k
F9%20CR=1
F12%20Macro=tu 73 sk
CONF
    "$VARKEL" &
    pids+=($!)
    term="$(wait_window 'Connected to Sondrel - Varkel')"
    sleep 1
}

stop_terminal() {
    local last=$(( ${#pids[@]} - 1 ))
    kill "${pids[$last]}"
    wait "${pids[$last]}" 2>/dev/null || true
    unset "pids[$last]"
}

start_xvfb
"$SIM" --port "$PORT" &
pids+=($!)
sleep 0.5

start_terminal 0
import -window root "$OUT/toolbar-classic.png"
xdotool windowfocus --sync "$term" key alt+s
setup="$(wait_window 'Varkel Setup')"
sleep 0.5
import -window "$setup" "$OUT/setup-dialog.png"
xdotool windowfocus --sync "$setup" key Escape
xdotool windowfocus --sync "$term" key alt+h a
about="$(wait_window 'About Varkel')"
sleep 0.5
import -window "$about" "$OUT/about-box.png"
xdotool windowfocus --sync "$about" key Return
stop_terminal

start_terminal 1
import -window root "$OUT/toolbar-ie4.png"
stop_terminal

"$PELORIN" &
pids+=($!)
pelorin="$(wait_window 'Pelorin')"
sleep 0.5
import -window "$pelorin" "$OUT/pelorin.png"
echo "Pictures written to $OUT"
