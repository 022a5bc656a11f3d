#!/usr/bin/env python3
"""Plays the GUI's part for one run of the helper under Wine: writes a sample
traffic-helper.json into a fresh LOCALAPPDATA, listens on a loopback port,
starts the helper and prints its log, then draws a sample overlay picture."""
import json
import socket
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "wine"))
from winebench import WineBench, windows_path  # noqa: E402


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
        render_sample(bench, Path(build_dir))
    return 0


def render_sample(bench: WineBench, build_dir: Path) -> None:
    """Draws the overlay for a sample updateContent through GDI under Wine."""
    samples = [[t, 20 + (t * 7) % 30, 60 + (t * 13) % 90] for t in range(60)]
    update = {"type": "updateContent", "title": "Подключено · Нидерланды",
              "subtitle": "↑ 12 KB/s  ↓ 340 KB/s", "feedback": ["Добавлено: example.org", True],
              "samples": samples, "dropHover": False}
    out = (build_dir / "demo").resolve()
    out.mkdir(exist_ok=True)
    (out / "update.json").write_text(json.dumps(update, ensure_ascii=False) + "\n",
                                     encoding="utf-8")
    result = bench.run(bench.exe("traffic-helper-tool"),
                       ["render", windows_path(out / "update.json"),
                        windows_path(out / "overlay.png")], timeout=60)
    print(f"--- overlay picture (exit code {result.exit_code}): {out / 'overlay.png'} ---")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "build/windows"))
