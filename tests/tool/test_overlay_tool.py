"""traffic-helper-tool render, clamp and content-hash, natively and (VTH_EMULATOR) under Wine,
all through one batch process."""
import json
import os
import shutil
import struct
import tempfile
import unittest
from pathlib import Path

from tool_batch import BatchTestCase, EMULATOR, TOOL, ToolBatch, tool_path

FIXTURES = Path(os.environ.get("VTH_FIXTURES", Path(__file__).resolve().parents[1] / "fixtures"))

WIDTH, HEIGHT = 208, 132


def update_line(title="", subtitle="", feedback=None, drop_hover=False, samples=()):
    return json.dumps({"type": "updateContent", "title": title, "subtitle": subtitle,
                       "feedback": feedback, "dropHover": drop_hover,
                       "samples": [list(s) for s in samples]}, ensure_ascii=False)


def pixel(raw: bytes, column: int, row: int):
    at = (row * WIDTH + column) * 4
    return tuple(raw[at:at + 4])


class OverlayTool(BatchTestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="vth-overlay-tool-"))
        self.addCleanup(shutil.rmtree, self.dir, True)

    def run_tool(self, *args):
        answer = self.tool.run(*args)
        return answer.code, answer.stdout

    def update_file(self, line: str, name="update.txt") -> str:
        path = self.dir / name
        path.write_bytes(line.encode("utf-8") + b"\n")
        return tool_path(path)

    def test_content_hash_matches_fixture(self):
        checked = 0
        for line in (FIXTURES / "content-hash.tsv").read_text(encoding="utf-8").splitlines():
            cells = line.split("\t")
            if cells[0] != "content":
                continue
            update = json.loads(cells[1])
            if any(isinstance(v, str) for s in update["samples"] for v in s):
                continue  # NaN and infinities have no JSON form
            with self.subTest(update=cells[1]):
                code, out = self.run_tool("content-hash", self.update_file(update_line(
                    update["title"], update["subtitle"], update["feedback"],
                    update["dropHover"], update["samples"])))
                self.assertEqual((code, out), (0, cells[2] + "\n"))
                checked += 1
        self.assertGreater(checked, 8)

    def test_undecodable_update_is_an_err_line(self):
        for line in ['{"type":"updateContent","title":"a"}', '{"type":"setVisible","visible":true}',
                     "not json"]:
            with self.subTest(line=line):
                update = self.update_file(line)
                out_png = self.dir / "never.png"
                for args in (["content-hash", update], ["render", update, tool_path(out_png)]):
                    code, out = self.run_tool(*args)
                    self.assertEqual(code, 1, args)
                    self.assertTrue(out.startswith("ERR "), out)
                self.assertFalse(out_png.exists())

    def test_clamp(self):
        cases = [
            (["100", "200", "0,0,1920,1040"], "100 200"),
            (["1800", "1000", "0,0,1920,1040"], "1712 908"),
            (["-50", "-20", "0,0,1920,1040"], "0 0"),
            (["2500", "300", "0,0,1920,1040"], "1712 300"),
            (["1900", "100", "0,0,1920,1040", "1920,0,1920,1040"], "1920 100"),
            (["50", "100", "0,0,200,1000"], "0 100"),
            (["2147483647", "-2147483648", "0,0,1920,1040"], "1712 0"),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                self.assertEqual(self.run_tool("clamp", *args), (0, expected + "\n"))
        for args in (["1"], ["1", "x"], ["1", "2", "0,0,10"], ["1", "2147483648"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_tool("clamp", *args)[0], 2)

    def test_clamp_on_this_machine(self):
        code, out = self.run_tool("clamp", "100", "200")
        self.assertEqual(code, 0)
        x, y = map(int, out.split())
        if not EMULATOR:
            self.assertEqual((x, y), (100, 200))  # no displays natively

    def test_render_raw_and_png(self):
        cases = [
            ("first picture", update_line(), (43, 31, 23, 128)),
            ("drop hover tint", update_line(drop_hover=True), (45, 40, 22, 128)),
        ]
        for what, line, body in cases:
            with self.subTest(what=what):
                png, raw = self.dir / f"{what}.png", self.dir / f"{what}.bgra"
                code, out = self.run_tool("render", self.update_file(line), tool_path(png),
                                          "--raw", tool_path(raw))
                self.assertEqual((code, out), (0, ""))
                data = raw.read_bytes()
                self.assertEqual(len(data), 109824)
                for corner in [(0, 0), (207, 0), (0, 131), (207, 131)]:
                    self.assertEqual(pixel(data, *corner), (0, 0, 0, 1), corner)
                self.assertEqual(pixel(data, 4, 60), body)  # blue, green, red, alpha
                head = png.read_bytes()[:24]
                self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
                self.assertEqual(struct.unpack(">II", head[16:24]), (WIDTH, HEIGHT))

    def test_render_without_outputs_or_with_bad_arguments(self):
        update = self.update_file(update_line())
        self.assertEqual(self.run_tool("render", update)[0], 0)
        self.assertEqual(self.run_tool("render")[0], 2)
        self.assertEqual(self.run_tool("render", update, "--raw")[0], 2)
        self.assertEqual(self.run_tool("render", tool_path(self.dir / "missing.txt"))[0], 2)


if __name__ == "__main__":
    unittest.main()
