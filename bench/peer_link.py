"""The peer's XML-RPC interface, for the scripts that run it through
bench/peer-session.sh: waits until it answers, and widens the peer's window so
that the receive pane, which XML-RPC reads back as wrapped, holds whole lines."""
import subprocess
import sys
import time
import xmlrpc.client


def connect(port):
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
    return peer
