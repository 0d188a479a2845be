# Sourced by the scripts that start programs (servers, a virtual display, the
# terminal): each is ended when the script ends, newest first, so the
# terminal ends (unkeying the transmitter) before its display and its server
# go away.
pids=()
stop_started() {
    local i
    for (( i=${#pids[@]}-1; i>=0; i-- )); do
        kill "${pids[$i]}" 2>/dev/null || true
        wait "${pids[$i]}" 2>/dev/null || true
    done
}
trap stop_started EXIT

# usage: wait_window TITLE -> prints the id of the visible window named TITLE
wait_window() {
    local win=""
    for _ in $(seq 1 100); do
        win="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)"
        [ -n "$win" ] && { echo "$win"; return 0; }
        sleep 0.1
    done
    echo "No window named '$1' came up." >&2
    return 1
}

# usage: start_xvfb -> starts a virtual X display on a number the X server
# itself finds free (-displayfd) and exports DISPLAY once it is ready.
start_xvfb() {
    local numberfile
    numberfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberfile" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 1 100); do
        if [ -s "$numberfile" ]; then
            export DISPLAY=":$(head -n 1 "$numberfile")"
            rm -f "$numberfile"
            return 0
        fi
        sleep 0.1
    done
    rm -f "$numberfile"
    echo "The virtual X display did not come up." >&2
    return 1
}
