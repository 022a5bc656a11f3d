"""traffic-helper-tool log: a log the helper wrote under Wine and a broken
one, natively and (VTH_EMULATOR) under Wine."""
import shutil
import tempfile
import unittest
from datetime import datetime, timedelta, timezone
from pathlib import Path

from tool_batch import BatchTestCase, tool_path

# Three runs of the helper under Wine, as it wrote them: a session with every
# gesture, two rejected lines and a drop, ended by "shutdown"; a GUI that
# closed the connection; a GUI that did not listen.
WINE_LOG = """\
SystemTime { intervals: 134411984793214695 } starting helper build=6ebb1a1 pid=260 integrity=high gui_pid=4242
SystemTime { intervals: 134411984793457612 } overlay position clamped from=5000,200 to=1072,200
SystemTime { intervals: 134411984794081742 } overlay created integrity=high ole_registration=success x=1072 y=200 size=208x132
SystemTime { intervals: 134411984794087604 } hello sent integrity=high ole_registered=true gui_pid=4242
SystemTime { intervals: 134411984795362279 } action=toggleVpn
SystemTime { intervals: 134411984795368838 } toggleVpn inbox enqueued
SystemTime { intervals: 134411984796538905 } action=restoreMain
SystemTime { intervals: 134411984955084091 } action=hideToTray
SystemTime { intervals: 134411985114527807 } action=restoreMain
SystemTime { intervals: 134411985115210589 } addFromClipboard
SystemTime { intervals: 134411985115667238 } rejected invalid helper command: expected ident at line 1 column 2
SystemTime { intervals: 134411985115669418 } rejected invalid helper command: invalid type: floating point `1.0`, expected i32
SystemTime { intervals: 134411985130435917 } textDropped len=47 preview="Ссылка \\"https://example.org/путь?q=1\\""
SystemTime { intervals: 134411985288366660 } action=dragEnded
SystemTime { intervals: 134411985293707341 } traffic helper received shutdown
SystemTime { intervals: 134411985315808794 } starting helper build=6ebb1a1 pid=348 integrity=high gui_pid=4242
SystemTime { intervals: 134411985316464158 } overlay created integrity=high ole_registration=success x=300 y=200 size=208x132
SystemTime { intervals: 134411985316472339 } hello sent integrity=high ole_registered=true gui_pid=4242
SystemTime { intervals: 134411985336736338 } traffic helper fatal: Connection reset by peer. (os error 10054)
SystemTime { intervals: 134411985340427514 } starting helper build=6ebb1a1 pid=376 integrity=high gui_pid=4242
SystemTime { intervals: 134411985342538752 } overlay created integrity=high ole_registration=success x=300 y=200 size=208x132
SystemTime { intervals: 134411985342820029 } traffic helper fatal: Connection refused. (os error 10061)
""".encode()

WINE_SUMMARY = """\
run 1: 2026-12-08T10:14:39.321Z to 2026-12-08T10:15:29.370Z
  started: build 6ebb1a1, integrity high, pid 260
  ended: shutdown
  actions: toggleVpn=1 restoreMain=2 hideToTray=1 dragEnded=1 addFromClipboard=1
  drops: 1
  rejected commands: 2
run 2: 2026-12-08T10:15:31.580Z to 2026-12-08T10:15:33.673Z
  started: build 6ebb1a1, integrity high, pid 348
  ended: fatal: Connection reset by peer. (os error 10054)
  actions: none
  drops: 0
  rejected commands: 0
run 3: 2026-12-08T10:15:34.042Z to 2026-12-08T10:15:34.282Z
  started: build 6ebb1a1, integrity high, pid 376
  ended: fatal: Connection refused. (os error 10061)
  actions: none
  drops: 0
  rejected commands: 0
3 runs, 22 lines, 0 not parsed
"""

LAST_STAMP = 2650467743999999999  # 9999-12-31T23:59:59.9999999Z
HUGE = "x" + "ж" * 1_500_000  # 3 MB; the odd start puts piece ends inside letters

# (line as written, line as printed); None: printed behind "[unparsed] ".
BROKEN = [
    (b"SystemTime { intervals: 0 } epoch", "1601-01-01T00:00:00.000Z epoch"),
    (b"SystemTime { intervals: %d } last" % LAST_STAMP, "9999-12-31T23:59:59.999Z last"),
    (b"SystemTime { intervals: 00042 } padded", "1601-01-01T00:00:00.000Z padded"),
    (b"SystemTime { intervals: %d } year 10000" % (LAST_STAMP + 1), None),
    (b"SystemTime { intervals: 18446744073709551615 } max", None),
    (b"SystemTime { intervals: 18446744073709551616 } overflow", None),
    (b"SystemTime { intervals: -1 } negative", None),
    (b"SystemTime { intervals:  1 } two spaces", None),
    (b"SystemTime { intervals: 1 }", None),
    (b"SystemTime { intervals: 1 }\tx", None),
    (b"", None),
    (b"systemtime { intervals: 1 } case", None),
    (b"SystemTime { intervals: 1 } \x1b]0;owned\x07\x1b[2J\x9b1m",
     "1601-01-01T00:00:00.000Z \\x1B]0;owned\\x07\\x1B[2J\\x9B1m"),
    (b"SystemTime { intervals: 1 } a\rb\tc\x00d\x7f",
     "1601-01-01T00:00:00.000Z a\\x0Db\\x09c\\x00d\\x7F"),
    ("SystemTime { intervals: 1 } c1 \u009b bidi \u202e\u2066 ls \u2028 ok дом ✓ \u200b".encode(),
     "1601-01-01T00:00:00.000Z c1 \\xC2\\x9B bidi \\xE2\\x80\\xAE\\xE2\\x81\\xA6 ls \\xE2\\x80\\xA8"
     " ok дом ✓ \u200b"),
    (b"SystemTime { intervals: 1 } \xff \xc3( \xed\xa0\x80 \xf4\x90\x80\x80 \xc0\xaf \xe2\x82",
     "1601-01-01T00:00:00.000Z \\xFF \\xC3( \\xED\\xA0\\x80 \\xF4\\x90\\x80\\x80 \\xC0\\xAF"
     " \\xE2\\x82"),
    (b"garbage \x1b[31m\xff", None),
    (("SystemTime { intervals: 1 } " + HUGE).encode() + b"\x1b",
     "1601-01-01T00:00:00.000Z " + HUGE + "\\x1B"),
    # The last line, without its line feed.
    (b"SystemTime { intervals: 1 } end", "1601-01-01T00:00:00.000Z end"),
]


def at(seconds, message: bytes) -> bytes:
    return b"SystemTime { intervals: %d } %s" % (seconds * 10_000_000, message)


def block(run, first, last, started, ended, actions="none") -> list:
    def time(seconds):
        return f"1601-01-01T00:{seconds // 60:02d}:{seconds % 60:02d}.000Z"

    return [f"run {run}: {time(first)} to {time(last)}", f"  started: {started}",
            f"  ended: {ended}", f"  actions: {actions}", "  drops: 0", "  rejected commands: 0"]


WAITING = b"config missing; waiting for GUI to write traffic-helper.json"
NOT_FOUND = b"traffic helper fatal: The system cannot find the file specified. (os error 2)"
# Killed runs, each followed by a run whose first lines wait for its configuration.
KILLED = [
    at(1, b"starting helper build=b1 pid=7 integrity=medium gui_pid=1"),
    at(2, b"action=toggleVpn"),
    at(5, WAITING),
    at(5, b"config parse retry: EOF while parsing a value at line 1 column 0"),
    at(6, b"starting helper build=b1 pid=9 integrity=medium gui_pid=1"),
    at(7, b"traffic helper received shutdown"),
    at(8, b"starting helper build=b1 pid=10 integrity=medium gui_pid=1"),
    at(9, WAITING),
    at(13, NOT_FOUND),
]
LAST_TWO_RUNS = (
    block(3, 8, 8, "build b1, integrity medium, pid 10", "no ending line")
    + block(4, 9, 13, "no start line", "fatal: The system cannot find the file specified. "
                                       "(os error 2)"))
KILLED_SUMMARY = "\n".join(
    block(1, 1, 2, "build b1, integrity medium, pid 7", "no ending line", "toggleVpn=1")
    + block(2, 5, 7, "build b1, integrity medium, pid 9", "shutdown")
    + LAST_TWO_RUNS + ["4 runs, 9 lines, 0 not parsed", ""])

# (case, log, exit code, summary)
SUMMARIES = [
    ("runs without start or ending line, controls, a long fatal text", b"\n".join([
        at(1, WAITING),
        b"not a log line",
        at(2, b"starting helper build=\x1b[2J pid=7 gui_pid=1"),
        at(3, b"action=toggleVpn"),
        at(3, b"action=\x1bx"),
        at(4, b"starting helper build=b2 pid=8 integrity=medium gui_pid=1"),
        at(5, b"traffic helper fatal: " + "ы".encode() * 200 + b"\x07"),
        at(6, WAITING),
        at(10, NOT_FOUND),
        b"SystemTime { intervals: 99999999999999999999 } traffic helper received shutdown",
    ]), 1, "\n".join(
        block(1, 1, 3, "build \\x1B[2J, integrity ?, pid 7", "no ending line",
              "toggleVpn=1 other=1")
        + block(2, 4, 5, "build b2, integrity medium, pid 8", "fatal: " + "ы" * 150 + " [cut]")
        + block(3, 6, 10, "no start line", "fatal: The system cannot find the file specified. "
                                           "(os error 2)")
        + ["3 runs, 10 lines, 2 not parsed", ""])),
    ("killed runs", b"\n".join(KILLED) + b"\n", 0, KILLED_SUMMARY),
    ("CRLF line ends", b"\r\n".join(KILLED) + b"\r\n", 0, KILLED_SUMMARY),
    # The zeros cut a line short, and the next run appended behind them.
    ("zeros after a power loss", KILLED[0] + b"\n" + at(2, b"action=toggle") + b"\0" * 70_000
     + b"\n".join(KILLED[4:]) + b"\n" + b"\0" * 4096 + b"\n", 0, "\n".join(
        block(1, 1, 2, "build b1, integrity medium, pid 7", "no ending line", "other=1")
        + block(2, 6, 7, "build b1, integrity medium, pid 9", "shutdown")
        + LAST_TWO_RUNS + ["4 runs, 7 lines, 0 not parsed", ""])),
]


def stamp(line: str) -> str:
    """The helper's stamp as UTC ISO 8601 by Python's own calendar."""
    intervals = int(line.split(" ")[3])
    when = datetime(1601, 1, 1, tzinfo=timezone.utc) + timedelta(microseconds=intervals // 10)
    return when.strftime("%Y-%m-%dT%H:%M:%S.") + f"{when.microsecond // 1000:03d}Z"


def escaped_unparsed(line: bytes) -> str:
    return "[unparsed] " + "".join(chr(b) if 0x20 <= b < 0x7F else f"\\x{b:02X}" for b in line)


class LogView(BatchTestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="vth-tool-log-"))
        self.addCleanup(shutil.rmtree, self.dir, True)

    def log_file(self, content: bytes) -> str:
        path = self.dir / "traffic-helper.log"
        path.write_bytes(content)
        return tool_path(path)

    def test_wine_log_lines_and_summary(self):
        path = self.log_file(WINE_LOG)
        lines = self.tool.run("log", path)
        self.assertEqual(lines.code, 0, lines.stderr)
        expected = [stamp(line) + " " + line.split(" } ", 1)[1]
                    for line in WINE_LOG.decode().splitlines()]
        self.assertEqual(lines.stdout.splitlines(), expected)
        self.assertEqual(expected[0], "2026-12-08T10:14:39.321Z starting helper build=6ebb1a1 "
                                      "pid=260 integrity=high gui_pid=4242")
        summary = self.tool.run("log", "--summary", path)
        self.assertEqual((summary.code, summary.stdout), (0, WINE_SUMMARY), summary.stderr)

    def test_broken_log_lines(self):
        content = b"\n".join(line for line, _ in BROKEN)
        result = self.tool.run("log", self.log_file(content))
        self.assertEqual(result.code, 1, result.stderr)
        got = result.stdout.split("\n")
        self.assertEqual(got.pop(), "")  # every printed line ends with a line feed
        self.assertEqual(len(got), len(BROKEN))
        for (line, printed), out in zip(BROKEN, got):
            with self.subTest(line=line[:80]):
                self.assertEqual(out, printed if printed is not None else escaped_unparsed(line))

    def test_summaries(self):
        for name, content, code, summary in SUMMARIES:
            with self.subTest(name):
                result = self.tool.run("log", self.log_file(content), "--summary")
                self.assertEqual((result.code, result.stdout), (code, summary), result.stderr)

    def test_usage_and_missing_file(self):
        missing = tool_path(self.dir / "missing.log")
        for args in [("log",), ("log", "--summary"), ("log", missing, "--bogus"),
                     ("log", missing), ("log", missing, missing)]:
            with self.subTest(args=args):
                self.assertEqual(self.tool.run(*args).code, 2)


if __name__ == "__main__":
    unittest.main()
