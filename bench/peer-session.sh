# Sourced by the peer scripts: runs the peer PSK31 program (fldigi) headless,
# listening to a private PulseAudio null sink "air" whose monitor is the
# default source, on a virtual X display, with its XML-RPC interface on $PORT.
# The peer is set up through its config file: PulseAudio back end on our
# private server, and a call sign so that its first-run wizard (which holds
# back the XML-RPC interface) does not come up.
# After `peer_start [SINK OPTIONS]`: $WORK (removed on exit), $PORT, and every
# process it started stopped on exit.

WORK="$(mktemp -d)"
# The peer binds its XML-RPC port on every address, whatever address it is
# given, so the port is one free on all of them (the kernel picks it).
PORT="$(python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')"
pids=()
# Where bench/peer_link.py is, for the scripts' Python.
export PEER_BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
peer_cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap peer_cleanup EXIT

peer_start() {
    mkdir -p "$WORK/run" "$WORK/home" "$WORK/config"
    export XDG_RUNTIME_DIR="$WORK/run" HOME="$WORK/home"
    export PULSE_SERVER="unix:$WORK/run/pulse.sock"
    # The X server picks a free display number itself and says which.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$WORK/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 1 100); do
        [ -s "$WORK/display" ] && break
        sleep 0.1
    done
    [ -s "$WORK/display" ] || { echo "the virtual X display did not come up" >&2; exit 1; }
    export DISPLAY=":$(head -n 1 "$WORK/display")"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        -L "module-native-protocol-unix socket=$WORK/run/pulse.sock" \
        -L "module-null-sink sink_name=air $*" >/dev/null 2>&1 &
    pids+=($!)
    sleep 2
    pactl set-default-sink air
    pactl set-default-source air.monitor
    cat >"$WORK/config/fldigi_def.xml" <<XML
<FLDIGI_DEFS>
<AUDIOIO>2</AUDIOIO>
<PULSESERVER>$PULSE_SERVER</PULSESERVER>
<MYCALL>N0CALL</MYCALL>
<CONFIRMEXIT>0</CONFIRMEXIT>
</FLDIGI_DEFS>
XML
    fldigi --config-dir "$WORK/config/" --home-dir "$WORK/home/" \
        --xmlrpc-server-address 127.0.0.1 --xmlrpc-server-port "$PORT" >"$WORK/peer.log" 2>&1 &
    pids+=($!)
}
