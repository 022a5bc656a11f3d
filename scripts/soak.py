#!/usr/bin/env python3
"""The soak run behind scripts/soak.sh: drives the helper under load for a
given time and samples its resident memory, open handles and CPU time from
its /proc entry once a second."""
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "wine"))
from winebench import WineBench, wait_until, windows_path  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def helper_pid(display: str) -> int | None:
    """The helper's Wine process on this run's own X display."""
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                if ((entry / "comm").read_text().startswith("vestrilon-traf") and
                        f"DISPLAY={display}\0".encode() in (entry / "environ").read_bytes()):
                    return int(entry.name)
            except OSError:
                pass
    return None


def sample(pid: int) -> tuple[float, int, float] | None:
    """(resident MiB, open handles, CPU seconds) of the process."""
    try:
        status = (Path(f"/proc/{pid}/status")).read_text()
        rss_kb = int(next(l for l in status.splitlines() if l.startswith("VmRSS:")).split()[1])
        handles = len(os.listdir(f"/proc/{pid}/fd"))
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
        cpu = (int(fields[11]) + int(fields[12])) / TICKS
    except (OSError, StopIteration):
        return None
    return rss_kb / 1024, handles, cpu


def main(build_dir: str, minutes: float) -> int:
    build = Path(build_dir).resolve()
    out = build / "soak"
    out.mkdir(exist_ok=True)
    seconds = minutes * 60
    script = out / "soak-session.txt"
    # The peer ends the helper well after the sampling has stopped.
    script.write_text(f"expect hello 90000\nsleep {int(seconds * 1000) + 60000}\n"
                      '{"type":"shutdown"}\n')
    with WineBench(build) as bench:
        data = bench.new_localappdata()
        peer = bench.start(bench.exe("traffic-gui-peer"), [
            "--helper", windows_path(bench.exe("vestrilon-traffic-helper")),
            "--data-dir", windows_path(data), "--script", windows_path(script),
            "--traffic", "30", "--samples", "600", "--x", "400", "--y", "200"])
        peer.wait_for_output(r'"type":"hello"', 120)
        pid = wait_until(lambda: helper_pid(bench.display), 30, what="helper process")
        window = bench.find_window("Vestrilon traffic")
        records = []
        csv = open(out / "soak-samples.csv", "w")
        csv.write("seconds,rss_mib,handles,cpu_s\n")
        started = time.monotonic()
        driver = Driver(bench, window, started)
        while time.monotonic() - started < seconds:
            now = time.monotonic()
            if (s := sample(pid)) is not None:
                records.append((now - started, *s))
                csv.write(f"{now - started:.1f},{s[0]:.2f},{s[1]},{s[2]:.2f}\n")
                csv.flush()
            try:
                driver.act(now)
            except (subprocess.CalledProcessError, TimeoutError) as error:
                print(f"at {now - started:.0f} s: {error}")
            time.sleep(max(0.0, 1 - (time.monotonic() - now)))
        code = peer.wait(180)
        report(records, peer.stdout(), code, driver.drops, data)
    return 0 if code == 0 else 1


class Driver:
    """Every 3 s a drag or a click on the overlay; every 10 s a drop."""

    def __init__(self, bench: WineBench, window: str, started: float):
        self.bench, self.window = bench, window
        self.next_gesture, self.next_drop = started + 3, started + 10
        self.gestures = self.drops = 0

    def act(self, now: float) -> None:
        bench = self.bench
        if now >= self.next_gesture:
            self.next_gesture = now + 3
            x, y, w, _ = bench.window_geometry(self.window)
            self.gestures += 1
            if self.gestures % 2:
                dx = 60 if x < 600 else -60
                bench.drag((x + w // 2, y + 100), (x + w // 2 + dx, y + 100), steps=6)
            else:
                bench.click(x + w // 2, y + 100)
        if now >= self.next_drop:
            self.next_drop = now + 10
            self.drop()

    def drop(self) -> None:
        bench, title = self.bench, f"soak source {self.drops}"
        x, y, w, h = bench.window_geometry(self.window)
        source = bench.start(bench.exe("vth-drag-source"), [
            "--title", title, "--at", "60,500", "--once",
            rf"1:hglobal:text:https://soak{self.drops}.example/\0"],
            localappdata=bench.new_localappdata())
        self.drops += 1
        try:
            source.wait_for_output(r'"event":"ready"', 30)
            sx, sy, sw, sh = bench.window_geometry(bench.find_window(title))
            bench.drag((sx + sw // 2, sy + sh // 2), (x + w // 2, y + h - 30))
            source.wait_for_output(r'"event":"dragged"', 30)
        finally:
            source.kill()


def report(records, peer_output: str, code: int, drops: int, data: Path) -> None:
    def at(t):
        return min(records, key=lambda r: abs(r[0] - t))

    first, after_minute, last = records[0], at(60), records[-1]
    hours = max(last[0] - after_minute[0], 1) / 3600
    print(f"{'':<22} {'seconds':>8} {'RSS MiB':>9} {'handles':>8} {'CPU s':>8}")
    for name, r in (("start", first), ("after 1 minute", after_minute), ("end", last)):
        print(f"{name:<22} {r[0]:>8.0f} {r[1]:>9.1f} {r[2]:>8d} {r[3]:>8.1f}")
    print(f"{'growth per hour':<22} {'':>8} {(last[1] - after_minute[1]) / hours:>9.2f} "
          f"{(last[2] - after_minute[2]) / hours:>8.1f} {(last[3] - after_minute[3]) / hours:>8.0f}")
    print(f"CPU share over the run: {(last[3] - first[3]) / max(last[0] - first[0], 1):.1%} of a core")
    print(f"drops attempted: {drops}")
    for line in peer_output.splitlines():
        if line.startswith(("summary", "helper exit code")):
            print(line)
    print(f"peer exit code: {code}")
    log = (data / "Vestrilon" / "traffic-helper.log").read_text(encoding="utf-8").splitlines()
    print(f"log lines: {len(log)}; last: {log[-1].split(' } ', 1)[1] if log else '(none)'}")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], float(sys.argv[2])))
