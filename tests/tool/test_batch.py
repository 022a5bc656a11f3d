"""traffic-helper-tool batch: many requests through one process, natively and
(VTH_EMULATOR) under Wine."""
import shutil
import tempfile
import unittest
from pathlib import Path

from tool_batch import BatchTestCase, tool_path

DISPLAY = "0,0,1920,1040"


class Batch(BatchTestCase):
    @classmethod
    def tearDownClass(cls):
        # Input may end without a line end after the last request; it is still answered.
        answer = cls.tool.send(b'["clamp","3","4","' + DISPLAY.encode() + b'"]', end_input=True)
        super().tearDownClass()
        if answer != (0, "3 4\n", ""):
            raise AssertionError(f"last request without line end: {answer}")

    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="vth-tool-batch-"))
        self.addCleanup(shutil.rmtree, self.dir, True)

    def test_each_line_gets_one_answer_and_later_lines_still_count(self):
        # (request line, exit code, stdout); every line but the first is refused.
        cases = [
            (b'["clamp","5","6","' + DISPLAY.encode() + b'"]\r\n', 0, "5 6\n"),
            (b"\n", 2, ""),
            (b"not json\n", 2, ""),
            (b"[]\n", 2, ""),
            (b'{"0":"clamp"}\n', 2, ""),
            (b'["clamp",5,6]\n', 2, ""),
            (b'["\xff"]\n', 2, ""),
            (b"[" * 200_000 + b"\n", 2, ""),  # parsed without recursion
            (b'["no-such-subcommand"]\n', 2, ""),
            # These would read standard input, which holds the requests.
            (b'["batch"]\n', 2, ""),
            (b'["decode-commands","--stats"]\n', 2, ""),
            (b'["url-candidate"]\n', 2, ""),
        ]
        for line, code, out in cases:
            with self.subTest(line=line):
                answer = self.tool.send(line)
                self.assertEqual((answer.code, answer.stdout), (code, out), answer.stderr)
                self.assertEqual(answer.stderr == "", code == 0, answer.stderr)
        # A refused line leaves the batch reading on.
        self.assertEqual(self.tool.run("clamp", "7", "8", DISPLAY), (0, "7 8\n", ""))

    def test_stderr_belongs_to_its_request(self):
        missing = tool_path(self.dir / "missing.txt")
        failed = self.tool.run("content-hash", missing)
        self.assertEqual((failed.code, failed.stdout), (2, ""))
        self.assertIn("missing.txt", failed.stderr)
        self.assertEqual(self.tool.run("clamp", "1", "2", DISPLAY), (0, "1 2\n", ""))

    def test_arguments_are_utf8(self):
        update = self.dir / "обновление ✓.txt"
        update.write_bytes(b'{"type":"updateContent","title":"t","subtitle":"s","feedback":null,'
                           b'"dropHover":false,"samples":[]}\n')
        answer = self.tool.run("content-hash", tool_path(update))
        self.assertEqual(answer.code, 0, answer.stderr)
        self.assertRegex(answer.stdout, r"^[0-9a-f]{16}\n$")


if __name__ == "__main__":
    unittest.main()
