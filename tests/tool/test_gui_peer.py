"""traffic-gui-peer against fake_helper.py, natively only: the configuration
it writes, the lines it prints, scripts, standard input, traffic and the
ways a conversation can go wrong."""
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from dataclasses import dataclass
from pathlib import Path

PEER = os.environ.get("VTH_GUI_PEER", "")
TOOL = os.environ.get("VTH_TOOL", "")
EMULATOR = os.environ.get("VTH_EMULATOR", "")
FAKE = Path(__file__).resolve().with_name("fake_helper.py")

MESSAGE_LINE = re.compile(r"^(\d+) (\{.*\})$")
SUMMARY_LINE = re.compile(r"^summary (\S+) (\d+)$")
EXIT_LINE = re.compile(r"^helper exit code: (.+)$")
RATE = r"\d+(\.\d)? (B|kB|MB)/s"


@dataclass
class PeerRun:
    code: int
    stderr: str
    messages: list  # (ms, parsed JSON, raw line)
    summary: dict
    helper_exit: str
    pid: int


def parse_output(code: int, stdout: str, stderr: str, pid: int) -> PeerRun:
    messages, summary, helper_exit = [], {}, None
    for line in stdout.splitlines():
        if m := MESSAGE_LINE.match(line):
            messages.append((int(m[1]), json.loads(m[2]), m[2]))
        elif m := SUMMARY_LINE.match(line):
            summary[m[1]] = int(m[2])
        elif m := EXIT_LINE.match(line):
            helper_exit = m[1]
        else:
            raise AssertionError(f"unexpected output line {line!r}")
    return PeerRun(code, stderr, messages, summary, helper_exit, pid)


@unittest.skipUnless(PEER and not EMULATOR, "runs the native peer only")
class GuiPeerTest(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="vth-gui-peer-"))
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.data = self.dir / "data"
        self.data.mkdir()

    def fresh_data(self):
        """An empty data folder, for each case of a table."""
        shutil.rmtree(self.data)
        self.data.mkdir()

    def script(self, text: str) -> str:
        path = self.dir / "script.txt"
        path.write_text(text)
        return str(path)

    def received(self) -> list:
        path = self.data / "Vestrilon" / "fake-received.jsonl"
        return path.read_text().splitlines() if path.exists() else []

    def run_peer(self, *args, mode="normal", send=None, stdin=b"", env=None, helper=True,
                 timeout=60) -> PeerRun:
        environment = {k: v for k, v in os.environ.items() if not k.startswith("FAKE_HELPER")}
        environment["FAKE_HELPER_MODE"] = mode
        if send is not None:
            environment["FAKE_HELPER_SEND"] = json.dumps(send)
        environment.update(env or {})
        command = [PEER, *(["--helper", str(FAKE)] if helper else []), *map(str, args)]
        if "LOCALAPPDATA" not in (env or {}):
            command += ["--data-dir", str(self.data)]
        with subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=environment) as peer:
            out, err = peer.communicate(stdin, timeout=timeout)
            return parse_output(peer.returncode, out.decode(), err.decode(), peer.pid)

    def assert_ordered_times(self, run: PeerRun):
        times = [ms for ms, _, _ in run.messages]
        self.assertEqual(times, sorted(times))

    def test_script_conversation(self):
        commands = ['{"type": "setVisible", "visible": true}',  # sent as it is, blanks and all
                    '{"type":"setPosition","x":10,"y":20}',
                    '{"type":"shutdown"}']
        run = self.run_peer("--x", "5", "--y", "-7", "--script", self.script(
            "# greeting first\n"
            "expect hello\n"
            "expect action:toggleVpn\n"
            f"{commands[0]}\r\n"
            "expect state 3000\n"
            "\n"
            "sleep 20\n"
            f"  {commands[1]}\n"
            f"{commands[2]}\n"))
        self.assertEqual(run.code, 0, run.stderr)
        config = json.loads((self.data / "Vestrilon" / "traffic-helper.json").read_text())
        self.assertEqual(sorted(config), sorted(["host", "port", "token", "x", "y", "gui_pid"]))
        self.assertEqual(config["host"], "127.0.0.1")
        self.assertRegex(config["token"], r"^[0-9a-f]{32}$")
        self.assertEqual((config["x"], config["y"], config["gui_pid"]), (5, -7, run.pid))
        self.assertIsInstance(config["port"], int)

        self.assertEqual([m["type"] for _, m, _ in run.messages], ["hello", "action", "state"])
        self.assertEqual(run.messages[0][1]["token"], config["token"])
        self.assertEqual(run.messages[1][2], '{"type":"action","action":"toggleVpn","x":1,"y":2}')
        self.assert_ordered_times(run)
        self.assertEqual(run.summary, {"hello": 1, "action": 1, "state": 1})
        self.assertEqual(run.helper_exit, "0")
        self.assertEqual(self.received(), commands)

    def test_a_second_run_replaces_the_configuration(self):
        tokens = []
        for _ in range(2):
            run = self.run_peer("--script", self.script('{"type":"shutdown"}\n'))
            self.assertEqual(run.code, 0, run.stderr)
            text = (self.data / "Vestrilon" / "traffic-helper.json").read_text()
            tokens.append(json.loads(text)["token"])
        self.assertNotEqual(tokens[0], tokens[1])

    def test_failed_expect(self):
        cases = [
            ("type that never comes", "expect textDropped 300\n", "normal",
             "script line 1: expect textDropped failed: nothing within 300 ms", "3"),
            ("matched by the expect before", "expect hello\nexpect hello 300\n", "normal",
             "script line 2: expect hello failed", "3"),
            ("matched before the previous match", "expect action:toggleVpn\nexpect hello 300\n",
             "normal", "script line 2: expect hello failed", "3"),
            ("another action", "expect action:hideToTray 300\n", "normal",
             "expect action:hideToTray failed", "3"),
            ("connection closed while waiting", "expect textDropped 20000\n", "close",
             "expect textDropped failed: the connection ended first", "0"),
        ]
        for name, script, mode, error, helper_exit in cases:
            with self.subTest(name):
                self.fresh_data()
                run = self.run_peer("--script", self.script(script + '{"type":"shutdown"}\n'),
                                    mode=mode)
                self.assertEqual(run.code, 1, run.stderr)
                self.assertIn(error, run.stderr)
                self.assertEqual(run.helper_exit, helper_exit)
                self.assertEqual(run.summary["hello"], 1)
                # Nothing after a failed expect is sent.
                self.assertEqual(self.received(), [])

    def test_first_message_not_our_hello(self):
        # The peer closes such a connection without sending and waits on: a fake
        # that connects once then sees the end of the stream and exits 3.
        cases = [("wrong token", "wrong-token", "wrong token", 2, {}, "3", []),
                 ("no hello", "no-hello", "not a hello", 2, {}, "3", []),
                 ("impostor before the helper", "impostor", "wrong token", 0,
                  {"hello": 1, "action": 1}, "0", ['{"type":"shutdown"}'])]
        for name, mode, error, code, summary, helper_exit, received in cases:
            with self.subTest(name):
                self.fresh_data()
                run = self.run_peer("--script", self.script('{"type":"shutdown"}\n'), mode=mode)
                self.assertEqual(run.code, code, run.stderr)
                self.assertIn(error, run.stderr)
                # Nothing from a closed connection is taken for the helper's.
                self.assertEqual(run.summary, summary)
                self.assertEqual(run.helper_exit, helper_exit)
                self.assertEqual(self.received(), received)
        self.assertEqual((self.data / "Vestrilon" / "impostor.txt").read_text(), "closed")

    def test_commands_from_standard_input(self):
        lines = [b'{"type":"setVisible","visible":false}', b'{"type":"shutdown"}']
        run = self.run_peer(stdin=b"\n".join(lines) + b"\n",
                            env={"LOCALAPPDATA": str(self.data)})
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(self.received(), [line.decode() for line in lines])
        self.assertEqual(run.summary, {"hello": 1, "action": 1, "state": 1})
        self.assertEqual(run.helper_exit, "0")

    def test_end_of_standard_input_closes_the_connection(self):
        run = self.run_peer(stdin=b'{"type":"setVisible","visible":true}\n')
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(run.helper_exit, "3")  # the fake read the end of the stream

    def test_helper_closing_ends_the_run_with_standard_input_open(self):
        environment = dict(os.environ, FAKE_HELPER_MODE="close")
        out, err = self.dir / "out.txt", self.dir / "err.txt"
        with open(out, "wb") as stdout, open(err, "wb") as stderr, subprocess.Popen(
                [PEER, "--helper", str(FAKE), "--data-dir", str(self.data)],
                stdin=subprocess.PIPE, stdout=stdout, stderr=stderr, env=environment) as peer:
            try:
                peer.wait(timeout=30)
            finally:
                peer.stdin.close()
                peer.kill()
        run = parse_output(peer.returncode, out.read_text(), err.read_text(), peer.pid)
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(run.helper_exit, "0")
        self.assertEqual(run.summary, {"hello": 1, "action": 1})

    def test_hostile_messages_cannot_crash_it_or_drive_the_terminal(self):
        send = ["[" * 200_000, "\x1b]0;title\x07 raw", {"type": "state\x1b[2J"},
                {"type": "action", "action": "toggleVpn", "x": 1, "y": 2}]
        environment = {k: v for k, v in os.environ.items() if not k.startswith("FAKE_HELPER")}
        messages = self.dir / "send.json"
        messages.write_text(json.dumps(send))
        environment["FAKE_HELPER_SEND"] = f"@{messages}"
        script = self.script('expect action:toggleVpn\n{"type":"shutdown"}\n')
        result = subprocess.run([PEER, "--helper", str(FAKE), "--data-dir", str(self.data),
                                 "--script", script], env=environment, capture_output=True,
                                timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b" " + b"[" * 200_000 + b"\n", result.stdout)
        self.assertIn(b" \\u{1b}]0;title\\u{7} raw\n", result.stdout)
        self.assertIn(b"summary state\\u{1b}[2J 1\n", result.stdout)
        self.assertIn(b"summary (not JSON) 2\n", result.stdout)
        self.assertNotRegex(result.stdout, rb"[\x00-\x09\x0b-\x1f\x7f]")

    def test_traffic_stream(self):
        run = self.run_peer("--traffic", "40", "--samples", "5", "--script", self.script(
            'expect hello\nsleep 500\n{"type":"shutdown"}\n'))
        self.assertEqual(run.code, 0, run.stderr)
        received = self.received()
        self.assertEqual(received[-1], '{"type":"shutdown"}')
        updates = [json.loads(line) for line in received[:-1]]
        self.assertGreaterEqual(len(updates), 5)
        last_times = []
        for update in updates:
            self.assertEqual((update["type"], update["title"], update["feedback"],
                              update["dropHover"]), ("updateContent", "Vestrilon", None, False))
            self.assertRegex(update["subtitle"], f"^\u2191 {RATE} \u2193 {RATE}$")
            times = [s["t"] for s in update["samples"]]
            self.assertEqual(len(times), 5)
            self.assertEqual(times, sorted(set(times)))
            self.assertTrue(all(s["up"] >= 0 and s["down"] >= 0 for s in update["samples"]))
            last_times.append(times[-1])
        self.assertEqual(last_times, sorted(set(last_times)))  # the window moves on
        if TOOL:
            decoded = subprocess.run([TOOL, "decode-commands", "--stats"],
                                     input="\n".join(received).encode(), capture_output=True,
                                     timeout=60)
            self.assertEqual(decoded.stdout.decode().strip(), f"ok={len(received)} err=0")

    def test_helper_started_by_someone_else(self):
        config = self.data / "Vestrilon" / "traffic-helper.json"
        with subprocess.Popen([PEER, "--no-start", "--data-dir", str(self.data), "--script",
                               self.script('expect hello\n{"type":"shutdown"}\n')],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE) as peer:
            for _ in range(600):
                if config.exists():
                    break
                try:
                    peer.wait(timeout=0.05)
                    break
                except subprocess.TimeoutExpired:
                    pass
            fake = subprocess.run([str(FAKE)], env=dict(os.environ, LOCALAPPDATA=str(self.data),
                                                         FAKE_HELPER_SEND="[]"),
                                  timeout=60, capture_output=True)
            out, err = peer.communicate(timeout=60)
        run = parse_output(peer.returncode, out.decode(), err.decode(), peer.pid)
        self.assertEqual(fake.returncode, 0, fake.stderr)
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(run.summary, {"hello": 1})
        self.assertEqual(run.helper_exit, "none (not started here)")
        self.assertEqual(self.received(), ['{"type":"shutdown"}'])

    def test_helper_that_never_connects(self):
        run = self.run_peer("--script", self.script("expect hello\n"), mode="no-connect",
                            timeout=20)
        self.assertEqual(run.code, 1)
        self.assertIn("exit code 5 before it connected", run.stderr)
        self.assertEqual((run.messages, run.summary, run.helper_exit), ([], {}, "5"))

    def test_usage_errors_start_nothing(self):
        script = self.script("expect hello\nsleep soon\n")
        cases = [
            ("no helper choice", []),
            ("both helper choices", ["--helper", str(FAKE), "--no-start"]),
            ("unknown option", ["--helper", str(FAKE), "--colour", "red"]),
            ("traffic out of range", ["--helper", str(FAKE), "--traffic", "0"]),
            ("position not a number", ["--helper", str(FAKE), "--x", "4.5"]),
            ("bad script line", ["--helper", str(FAKE), "--script", script]),
            ("missing script", ["--helper", str(FAKE), "--script", str(self.dir / "none")]),
        ]
        for name, args in cases:
            with self.subTest(name):
                result = subprocess.run([PEER, *args, "--data-dir", str(self.data)],
                                        capture_output=True, timeout=30)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertEqual(result.stdout, b"")
                self.assertFalse((self.data / "Vestrilon").exists())
        rows = [
            ("expect hello\nsleep soon\n", b"script line 2: sleep wants milliseconds: sleep soon"),
            ("sleep 9223372036854775807\n",
             b"script line 1: sleep wants milliseconds, at most 86400000 (one day)"),
            ("sleep 99999999999999999999\n",
             b"script line 1: sleep wants milliseconds, at most 86400000 (one day)"),
            ("sleep 86400000\nexpect hello 86400001\n",
             b"script line 2: expect wants a timeout in milliseconds, at most 86400000"),
        ]
        for text, error in rows:
            with self.subTest(text):
                result = subprocess.run(
                    [PEER, "--helper", str(FAKE), "--script", self.script(text),
                     "--data-dir", str(self.data)], capture_output=True, timeout=30)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(error, result.stderr)


if __name__ == "__main__":
    unittest.main()
