#!/usr/bin/env python3
"""The helper as a GUI sees it, under Wine and Xvfb: traffic-gui-peer plays
the GUI (writes traffic-helper.json, listens, starts the helper, streams a
live graph), xdotool clicks the overlay, the drag-source tool drops a link
on it, and the peer ends it with a shutdown. Prints the exchange, the log
and the inbox files, and saves a screenshot of the overlay beside the
picture that render draws for the same kind of content."""
import json
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "wine"))
from winebench import WineBench, wait_until, windows_path  # noqa: E402

OVERLAY_AT = (480, 260)
SCRIPT = """\
# Wait for the hello, then for what the demo does to the overlay.
expect hello 60000
expect state
expect action:toggleVpn 30000
expect textDropped 30000
sleep 1500
{"type":"shutdown"}
"""


def main(build_dir: str) -> int:
    build = Path(build_dir).resolve()
    out = build / "demo"
    out.mkdir(exist_ok=True)
    with WineBench(build) as bench:
        data = bench.new_localappdata()
        (out / "session.txt").write_text(SCRIPT)
        peer = bench.start(bench.exe("traffic-gui-peer"), [
            "--helper", windows_path(bench.exe("vestrilon-traffic-helper")),
            "--data-dir", windows_path(data), "--script", windows_path(out / "session.txt"),
            "--traffic", "20", "--samples", "60", "--x", OVERLAY_AT[0], "--y", OVERLAY_AT[1]])
        peer.wait_for_output(r'"type":"hello"', 90)
        window = bench.find_window("Vestrilon traffic")
        x, y, w, h = bench.window_geometry(window)
        print(f"overlay window on the X screen at {x},{y}, {w}x{h}")
        time.sleep(1.5)  # a few graph updates
        bench.screenshot(out / "screen.png")
        subprocess.run(["convert", str(out / "screen.png"), "-crop", f"{w}x{h}+{x}+{y}",
                        "+repage", str(out / "overlay-on-screen.png")], check=True)
        print("click on the top band (toggle the VPN)")
        bench.click(x + w // 2, y + 20)
        peer.wait_for_output(r'"action":"toggleVpn"', 20)
        print("drop a link from the drag-source tool")
        source = bench.start(bench.exe("vth-drag-source"), [
            "--title", "demo drag source", "--at", "80,300", "--once",
            r"UniformResourceLocatorW:hglobal:utf16:https://example.org/watch?v=1\0"],
            localappdata=bench.new_localappdata())
        source.wait_for_output(r'"event":"ready"', 60)
        sx, sy, sw, sh = bench.window_geometry(bench.find_window("demo drag source"))
        bench.drag((sx + sw // 2, sy + sh // 2), (x + w // 2, y + h - 30))
        code = peer.wait(60)
        print(f"--- traffic-gui-peer (exit code {code}): the exchange, ms since start ---")
        lines = peer.stdout().splitlines()
        states = [line for line in lines if '"type":"state"' in line]
        # The first state follows the hello; the rest are heartbeats and changes.
        print("\n".join(line for line in lines if line not in states[1:]))
        print(f"({len(states) - 1} further state messages left out)")
        folder = data / "Vestrilon"
        for name in ("traffic-helper.log", "pending-toggle-vpn.txt", "pending-tunnel-domains.txt"):
            path = folder / name
            print(f"--- {name} ---")
            print(path.read_text(encoding="utf-8") if path.exists() else "(none)", end="")
        render_sample(bench, out)
        print(f"--- screenshot of the overlay: {out / 'overlay-on-screen.png'} ---")
    return 0 if code == 0 else 1


def render_sample(bench: WineBench, out: Path) -> None:
    """Draws the overlay for a sample updateContent through GDI under Wine."""
    samples = [[t, 20 + (t * 7) % 30, 60 + (t * 13) % 90] for t in range(60)]
    update = {"type": "updateContent", "title": "Подключено · Нидерланды",
              "subtitle": "↑ 12 KB/s  ↓ 340 KB/s", "feedback": ["Добавлено: example.org", True],
              "samples": samples, "dropHover": False}
    (out / "update.json").write_text(json.dumps(update, ensure_ascii=False) + "\n",
                                     encoding="utf-8")
    result = bench.run(bench.exe("traffic-helper-tool"),
                       ["render", windows_path(out / "update.json"),
                        windows_path(out / "overlay.png")], timeout=60)
    print(f"--- overlay picture drawn by render (exit code {result.exit_code}): "
          f"{out / 'overlay.png'} ---")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "build/windows"))
