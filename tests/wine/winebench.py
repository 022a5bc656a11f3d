#!/usr/bin/env python3
"""The Wine test bench: runs this build tree's Windows programs for real.

Every end-to-end test uses it the same way:

    with WineBench() as bench:
        data = bench.new_localappdata()            # a fresh Linux folder
        result = bench.run(bench.exe("vestrilon-traffic-helper"),
                           localappdata=data, timeout=20)
        assert result.exit_code == 0

What it does for a test:
- starts Xvfb on a free display (unless the caller already has DISPLAY set
  and VTH_USE_DISPLAY=1), and stops it at the end;
- creates the Wine prefix once per build tree (<build>/wineprefix, guarded
  by a lock, so parallel tests share it safely); each WineTestCase class
  then runs in a prefix of its own that shares that one's drive C, with its
  own Wine server, so tests running at the same time share no desktop;
- runs programs through vth-launch.exe, which sets or unsets LOCALAPPDATA on
  the Windows side (Wine would otherwise set it from its own profile) and
  returns the program's exit code;
- waits on conditions with deadlines (wait_until), never fixed sleeps;
- ends only the processes it started, by pid.

From the command line (used as ctest's cross-compiling emulator):
    winebench.py run -- PROGRAM.exe [ARGS...]
runs one console program with stdout and stderr passed through and exits
with its exit code.
"""
from __future__ import annotations

import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from dataclasses import dataclass
from pathlib import Path

WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
SCREEN = "1280x800x24"


def find_build_dir(start: Path) -> Path:
    """The nearest folder above start that holds a CMakeCache.txt."""
    for folder in [start, *start.parents]:
        if (folder / "CMakeCache.txt").exists():
            return folder
    raise RuntimeError(f"no build tree above {start}")


def windows_path(path: Path | str) -> str:
    """A Linux path as Wine's Z: drive sees it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wait_until(predicate, timeout: float, interval: float = 0.05, what: str = "condition"):
    """Polls predicate until it returns a true value; raises TimeoutError after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


@dataclass
class RunResult:
    exit_code: int
    stdout: str
    stderr: str


class WineProcess:
    """A Windows program started by the bench; output goes to files so no
    pipe can be held open by Wine's helper processes."""

    def __init__(self, popen: subprocess.Popen, out_path: Path, err_path: Path):
        self.popen = popen
        self.out_path = out_path
        self.err_path = err_path

    @property
    def pid(self) -> int:
        return self.popen.pid

    def stdout(self) -> str:
        return self.out_path.read_bytes().decode("utf-8", "replace")

    def stderr(self) -> str:
        return self.err_path.read_bytes().decode("utf-8", "replace")

    def running(self) -> bool:
        return self.popen.poll() is None

    def wait(self, timeout: float) -> int:
        """Waits for the end; kills the process and raises TimeoutError past timeout."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise TimeoutError(f"process {self.pid} still running after {timeout:.1f} s")

    def wait_for_output(self, pattern: str, timeout: float) -> re.Match:
        """Waits until stdout matches the regular expression pattern."""
        rx = re.compile(pattern)
        return wait_until(lambda: rx.search(self.stdout()), timeout, what=f"output /{pattern}/")

    def kill(self) -> None:
        """Ends this process (and its process group, which holds only what it started)."""
        if self.popen.poll() is not None:
            return
        try:
            os.killpg(self.popen.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.popen.wait(timeout=10)


class WineBench:
    def __init__(self, build_dir: Path | str | None = None, screen: str = SCREEN):
        if build_dir is None:
            build_dir = os.environ.get("VTH_BUILD_DIR") or find_build_dir(Path.cwd())
        self.build_dir = Path(build_dir).resolve()
        self.prefix = self.build_dir / "wineprefix"
        self.workdir = Path(tempfile.mkdtemp(prefix="vth-wine-"))
        self.screen = screen
        self.display: str | None = None
        self._xvfb: subprocess.Popen | None = None
        self._started: list[WineProcess] = []

    # ---- lifetime -------------------------------------------------------
    def __enter__(self) -> "WineBench":
        self.start_display()
        self.ensure_prefix()
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        for process in self._started:
            process.kill()
        self._started.clear()
        if self.prefix != self.build_dir / "wineprefix":
            # A prefix of this bench's own: its server goes with it.
            subprocess.run([WINESERVER, "-k"], env=self.env(), timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self._xvfb is not None and self._xvfb.poll() is None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait()
        self._xvfb = None
        shutil.rmtree(self.workdir, ignore_errors=True)

    def start_display(self) -> None:
        if os.environ.get("VTH_USE_DISPLAY") == "1" and os.environ.get("DISPLAY"):
            self.display = os.environ["DISPLAY"]
            return
        read_fd, write_fd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.screen, "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            raise RuntimeError("Xvfb did not report a display")
        self.display = ":" + number.decode().strip()

    def env(self) -> dict:
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "DISPLAY": self.display or env.get("DISPLAY", ""),
        })
        return env

    def ensure_prefix(self) -> None:
        """Creates the prefix once per build tree; concurrent callers wait on a lock."""
        self.build_dir.mkdir(parents=True, exist_ok=True)
        with open(self.build_dir / "wineprefix.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if (self.prefix / "system.reg").exists() and (self.prefix / ".vth-ready").exists():
                return
            subprocess.run([WINE, "wineboot", "-i"], env=self.env(), check=True, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           start_new_session=True)
            # wineboot returns before the registry is flushed; the server's
            # exit means the prefix is complete on disk.
            subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=300)
            (self.prefix / ".vth-ready").touch()

    def use_own_prefix(self, user_registry: str = "") -> Path:
        """Moves this bench to a prefix of its own, with its own Wine server,
        made in no time: it shares drive C with the build tree's prefix but no
        desktop, so the mouse, windows and drags of tests that run at the same
        time never meet. user_registry is added to the prefix's user.reg."""
        prefix = Path(tempfile.mkdtemp(prefix="prefix-", dir=self.workdir))
        for name in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
            shutil.copy2(self.prefix / name, prefix / name)
        (prefix / "drive_c").symlink_to(self.prefix / "drive_c")
        (prefix / "dosdevices").mkdir()
        (prefix / "dosdevices" / "c:").symlink_to("../drive_c")
        (prefix / "dosdevices" / "z:").symlink_to("/")
        with open(prefix / "user.reg", "a", encoding="utf-8") as registry:
            registry.write(user_registry)
        self.prefix = prefix
        return prefix

    # ---- programs ---------------------------------------------------------
    def exe(self, name: str) -> Path:
        """A program of this build tree by name (without .exe)."""
        skip = {"wineprefix", "CMakeFiles", "googletest", "third_party"}
        for root, dirs, files in os.walk(self.build_dir):
            dirs[:] = sorted(d for d in dirs if d not in skip)
            if f"{name}.exe" in files:
                return Path(root) / f"{name}.exe"
        raise FileNotFoundError(f"{name}.exe not found under {self.build_dir}")

    def new_localappdata(self) -> Path:
        """A fresh, empty folder to serve as LOCALAPPDATA."""
        return Path(tempfile.mkdtemp(prefix="localappdata-", dir=self.workdir))

    def _command(self, program, args, localappdata, env_set, env_unset):
        launch = [WINE, str(self.exe("vth-launch"))]
        if localappdata is None:
            launch += ["--unset", "LOCALAPPDATA"]
        elif localappdata is not ...:
            launch += ["--set", f"LOCALAPPDATA={windows_path(localappdata)}"]
        for name, value in (env_set or {}).items():
            launch += ["--set", f"{name}={value}"]
        for name in env_unset or ():
            launch += ["--unset", name]
        return launch + ["--", windows_path(program), *map(str, args)]

    def start(self, program: Path | str, args=(), localappdata=..., env_set=None,
              env_unset=None, stdin=None) -> WineProcess:
        """Starts program without waiting. localappdata: a folder, None to unset
        the variable, or ... to leave Wine's own value."""
        fd, out_name = tempfile.mkstemp(prefix="out-", dir=self.workdir)
        os.close(fd)
        fd, err_name = tempfile.mkstemp(prefix="err-", dir=self.workdir)
        os.close(fd)
        out_path, err_path = Path(out_name), Path(err_name)
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            popen = subprocess.Popen(
                self._command(program, args, localappdata, env_set, env_unset),
                env=self.env(), stdout=out, stderr=err,
                stdin=stdin if stdin is not None else subprocess.DEVNULL,
                start_new_session=True)
        process = WineProcess(popen, out_path, err_path)
        self._started.append(process)
        return process

    def run(self, program: Path | str, args=(), localappdata=..., env_set=None,
            env_unset=None, timeout: float = 60, stdin=None) -> RunResult:
        """Runs program to its end (killed and TimeoutError after timeout)."""
        process = self.start(program, args, localappdata, env_set, env_unset, stdin)
        code = process.wait(timeout)
        return RunResult(code, process.stdout(), process.stderr())

    # ---- desktop ------------------------------------------------------------
    def xdotool(self, *args) -> str:
        out = subprocess.run(["xdotool", *map(str, args)], env=self.env(), check=True,
                             capture_output=True, text=True, timeout=30)
        return out.stdout.strip()

    def find_window(self, title: str, timeout: float = 20) -> str:
        """The X window id of the first visible window whose title matches title exactly."""
        def search():
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                  f"^{re.escape(title)}$"], env=self.env(),
                                 capture_output=True, text=True, timeout=30)
            ids = out.stdout.split()
            return ids[0] if ids else None
        return wait_until(search, timeout, interval=0.1, what=f"window '{title}'")

    def window_geometry(self, window: str) -> tuple[int, int, int, int]:
        """(x, y, width, height) of an X window on the screen."""
        out = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def mouse_move(self, x: int, y: int) -> None:
        self.xdotool("mousemove", "--sync", x, y)

    def mouse_down(self, button: int = 1) -> None:
        self.xdotool("mousedown", button)

    def mouse_up(self, button: int = 1) -> None:
        self.xdotool("mouseup", button)

    def click(self, x: int, y: int, button: int = 1) -> None:
        self.mouse_move(x, y)
        self.xdotool("click", button)

    def drag(self, start: tuple[int, int], end: tuple[int, int], steps: int = 12,
             release: bool = True, step_pause: float = 0.03) -> None:
        """Presses at start, moves to end in steps, and releases there.
        The short pauses give the program's event loop a chance to see each
        position; they pace input, they do not wait for results."""
        self.mouse_move(*start)
        self.mouse_down()
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            time.sleep(step_pause)
            self.mouse_move(x, y)
        if release:
            time.sleep(step_pause)
            self.mouse_up()

    def screenshot(self, path: Path | str) -> Path:
        """The whole screen as a PNG."""
        subprocess.run(["import", "-window", "root", str(path)], env=self.env(), check=True,
                       timeout=60)
        return Path(path)


def virtual_desktop(name: str, size: str) -> str:
    """Registry text that runs every program of a prefix inside one virtual
    desktop, as `wine explorer /desktop=NAME,SIZE` would, with the programs'
    own exit codes and streams."""
    return (f'\n[Software\\\\Wine\\\\Explorer] 0\n"Desktop"="{name}"\n'
            f'\n[Software\\\\Wine\\\\Explorer\\\\Desktops] 0\n"{name}"="{size}"\n')


class WineTestCase(unittest.TestCase):
    """Test classes that share one WineBench (Xvfb, prefix) for all their tests."""

    screen = SCREEN  # Xvfb's screen, WIDTHxHEIGHTxDEPTH
    registry = ""  # added to the class prefix's user.reg

    @classmethod
    def setUpClass(cls):
        cls.bench = WineBench(screen=cls.screen).__enter__()
        cls.bench.use_own_prefix(cls.registry)

    @classmethod
    def tearDownClass(cls):
        cls.bench.close()


def main(argv: list[str]) -> int:
    if len(argv) < 3 or argv[1] != "run" or "--" not in argv:
        print("usage: winebench.py run -- PROGRAM.exe [ARGS...]", file=sys.stderr)
        return 2
    command = argv[argv.index("--") + 1:]
    program = Path(command[0]).resolve()
    with WineBench(find_build_dir(program.parent)) as bench:
        # Console programs run directly, with the caller's streams, so ctest
        # and the tool tests see their output as it comes.
        popen = subprocess.Popen([WINE, str(program), *command[1:]], env=bench.env(),
                                 start_new_session=True)
        try:
            return popen.wait()
        except KeyboardInterrupt:
            os.killpg(popen.pid, signal.SIGKILL)
            return 130


if __name__ == "__main__":
    sys.exit(main(sys.argv))
