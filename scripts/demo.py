#!/usr/bin/env python3
"""Plays the GUI's part for one run of the helper under Wine: writes a sample
traffic-helper.json into a fresh LOCALAPPDATA, listens on a loopback port,
starts the helper and prints its log and whatever it sent."""
import json
import socket
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "wine"))
from winebench import WineBench  # noqa: E402


def main(build_dir: str) -> int:
    with WineBench(build_dir) as bench, socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        port = listener.getsockname()[1]
        data = bench.new_localappdata()
        config = {"host": "127.0.0.1", "port": port, "token": "demo-token", "x": 40, "y": 40,
                  "gui_pid": 4242}
        (data / "Vestrilon").mkdir()
        (data / "Vestrilon" / "traffic-helper.json").write_text(json.dumps(config))
        print(f"configuration: {json.dumps(config)}")
        helper = bench.start(bench.exe("vestrilon-traffic-helper"), localappdata=data)
        code = helper.wait(60)
        print(f"helper exited with code {code}")
        log = data / "Vestrilon" / "traffic-helper.log"
        print(f"--- {log.name} ---")
        print(log.read_text(encoding="utf-8") if log.exists() else "(no log)", end="")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "build/windows"))
