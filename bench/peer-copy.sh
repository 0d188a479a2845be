#!/usr/bin/env bash
# Checks that a peer PSK31 program (fldigi) copies our transmitter exactly:
# `sondrel encode` makes a transmission, a private PulseAudio server plays it
# into a null sink whose monitor the peer listens to, and the peer's received
# text is read back over its XML-RPC interface. Runs in real time.
# The peer is set up through its config file: PulseAudio back end on our
# private server, and a call sign so that its first-run wizard (which holds
# back the XML-RPC interface) does not come up. Its window is widened so that
# the receive pane, which XML-RPC reads back as wrapped, holds the whole line.
# Needs: fldigi, pulseaudio, pulseaudio-utils, xvfb, xdotool, python3, a built sondrel.
#   bench/peer-copy.sh [path/to/sondrel]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SONDREL="${1:-$ROOT/build/analyzer/sondrel}"
WORK="$(mktemp -d)"
# The peer binds its XML-RPC port on every address, whatever address it is
# given, so the port is one free on all of them (the kernel picks it).
PORT="$(python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

TEXT='CQ CQ de SONDREL: the quick brown fox jumps over the lazy dog 0123456789 73'
printf '%s\n' "$TEXT" | "$SONDREL" encode --if 1500 --rate 8000 -o "$WORK/ours.wav"

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
    -L "module-null-sink sink_name=air" >/dev/null 2>&1 &
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

python3 - "$PORT" "$WORK/ours.wav" "$TEXT" <<'PY'
import subprocess, sys, time, xmlrpc.client
port, wav, text = sys.argv[1], sys.argv[2], sys.argv[3]
peer = xmlrpc.client.ServerProxy(f"http://127.0.0.1:{port}")
for _ in range(60):
    try:
        peer.fldigi.version()
        break
    except OSError:
        time.sleep(0.5)
else:
    sys.exit("the peer's XML-RPC interface did not come up")
subprocess.run(["xdotool", "search", "--sync", "--name", "^fldigi ver", "windowsize", "1270", "900"],
               check=True, stdout=subprocess.DEVNULL)
time.sleep(1)
peer.modem.set_by_name("BPSK31")
peer.modem.set_carrier(1500)
peer.main.set_afc(True)
peer.main.set_squelch(False)
start = peer.text.get_rx_length()
subprocess.run(["paplay", "-d", "air", wav], check=True)
time.sleep(2)
copied = peer.text.get_rx(start, peer.text.get_rx_length() - start)
copied = copied.data.decode("latin-1") if hasattr(copied, "data") else str(copied)
print("peer copied:", repr(copied))
sys.exit(0 if text in copied else "the peer did not copy the text exactly")
PY
