#!/usr/bin/env bash
# Scores a peer PSK31 program (fldigi) on the very signals our receiver is
# benchmarked on: `BENCH_WAV_DIR=DIR bench_modem band` writes each condition's
# received samples (NAME.wav) and sent text (NAME.txt); this plays each file in
# real time into the peer (BPSK31, tuned to the bench's IF, AFC on), reads back
# what it printed from the start of the file to 2 s after its end, and scores
# that with `bench_modem score`, as our copy is scored.
# The peer runs headless as in bench/peer-copy.sh: a private PulseAudio null
# sink whose monitor it listens to, a virtual X display, XML-RPC.
# Beside each file it leaves NAME.fldigi-squelch-{on,off}.txt (the copy, one
# byte a character), .raw (the bytes as read back) and .times (seconds after
# the play started, bytes read back so far), from which bench/peer-overs.py
# cuts the overs stream's copy over by over.
# Needs: fldigi, pulseaudio, pulseaudio-utils, xvfb, xdotool, python3, a built bench_modem.
#   bench/peer-band.sh DIR [NAME...]      (every NAME.wav in DIR when none given)
# Environment: PEER_SQUELCH=off|on (off), PEER_IF=Hz (1000, the bench's IF),
#   BENCH_MODEM=path/to/bench_modem.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DIR="$(cd "$1" && pwd)"
shift
BENCH_MODEM="${BENCH_MODEM:-$ROOT/build/bench/modem/bench_modem}"
SQUELCH="${PEER_SQUELCH:-off}"
IF="${PEER_IF:-1000}"
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for wav in "$DIR"/*.wav; do names+=("$(basename "$wav" .wav)"); done
fi
WORK="$(mktemp -d)"
PORT="$(python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/run" "$WORK/home" "$WORK/config"
export XDG_RUNTIME_DIR="$WORK/run" HOME="$WORK/home"
export PULSE_SERVER="unix:$WORK/run/pulse.sock"
Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$WORK/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
done
[ -s "$WORK/display" ] || { echo "the virtual X display did not come up" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$WORK/display")"
# The sink at the files' own rate: nothing is resampled on the way in.
pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    -L "module-native-protocol-unix socket=$WORK/run/pulse.sock" \
    -L "module-null-sink sink_name=air rate=8000 channels=1" >/dev/null 2>&1 &
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

python3 - "$PORT" "$DIR" "$SQUELCH" "$IF" "$BENCH_MODEM" "${names[@]}" <<'PY'
import subprocess, sys, time, wave, xmlrpc.client
port, folder, squelch, carrier, bench = sys.argv[1:6]
names = sys.argv[6:]
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
peer.main.set_afc(True)
peer.main.set_squelch(squelch == "on")
print(f"fldigi {peer.fldigi.version()}, BPSK31 at {carrier} Hz, AFC on, squelch {squelch}"
      f" (level {peer.main.get_squelch_level()})", flush=True)

def received(start, end):
    got = peer.text.get_rx(start, end - start)
    return got.data if hasattr(got, "data") else str(got).encode("latin-1", "replace")


def characters(raw):
    """The peer hands bytes above 127 on in UTF-8: one character each again."""
    return raw.decode("utf-8", "replace").encode("latin-1", "replace")


print(f"{'condition':<44} | fldigi CER | played s | wall s", flush=True)
for name in names:
    wav = f"{folder}/{name}.wav"
    with wave.open(wav) as w:
        seconds = w.getnframes() / w.getframerate()
    peer.modem.set_carrier(int(carrier))  # AFC moved it on the last file
    time.sleep(1)
    start = peer.text.get_rx_length()
    began = time.monotonic()
    play = subprocess.Popen(["paplay", "-d", "air", wav])
    times = []
    while True:
        now = time.monotonic() - began
        times.append((now, peer.text.get_rx_length() - start))
        if play.poll() is not None and now > seconds + 2:
            break
        time.sleep(0.2)
    if play.returncode:
        sys.exit(f"paplay failed on {wav}")
    wall = time.monotonic() - began
    copied = received(start, start + times[-1][1])
    out = f"{folder}/{name}.fldigi-squelch-{squelch}"
    with open(out + ".raw", "wb") as f:  # what .times counts
        f.write(copied)
    with open(out + ".txt", "wb") as f:
        f.write(characters(copied))
    with open(out + ".times", "w") as f:
        f.writelines(f"{t:.2f} {n}\n" for t, n in times)
    score = subprocess.run([bench, "score", f"{folder}/{name}.txt", out + ".txt"],
                           check=True, capture_output=True, text=True).stdout.strip()
    print(f"{name:<44} | {score} | {seconds:.0f} | {wall:.0f}", flush=True)
PY
