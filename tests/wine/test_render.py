"""The overlay picture drawn through real GDI: traffic-helper-tool render under Wine.

Checks where text landed and in which colour (the exact pixel values of the
layers are covered by the unit tests)."""
import json
import shutil
import tempfile
import unittest
from pathlib import Path

from winebench import WineBench, windows_path

WIDTH, HEIGHT = 208, 132
TITLE, SUBTITLE, BOTTOM = (13, 8, 195, 28), (13, 28, 195, 48), (13, 105, 195, 125)
BODY = (43, 31, 23, 128)  # blue, green, red, alpha

SAMPLES = [[t, 300 + 200 * (t % 7), 2000 + 150 * t] for t in range(0, 60, 2)]


def update_line(title, subtitle="↑ 12 KB/s ↓ 340 KB/s", feedback=None, drop_hover=False,
                samples=SAMPLES):
    return json.dumps({"type": "updateContent", "title": title, "subtitle": subtitle,
                       "feedback": feedback, "dropHover": drop_hover, "samples": samples},
                      ensure_ascii=False)


def pixels(raw: bytes, rect):
    left, top, right, bottom = rect
    for row in range(top, bottom):
        for column in range(left, right):
            at = (row * WIDTH + column) * 4
            yield tuple(raw[at:at + 4])


def bright(p):
    return max(p[:3]) >= 160


def greenish(p):
    blue, green, red, _ = p
    return green >= 90 and green > red + 40 and green > blue + 20


def reddish(p):
    blue, green, red, _ = p
    return red >= 90 and red > green + 40


class RenderThroughGdi(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = WineBench()
        cls.bench.__enter__()
        cls.tool = cls.bench.exe("traffic-helper-tool")
        cls.dir = Path(tempfile.mkdtemp(prefix="vth-render-"))

    @classmethod
    def tearDownClass(cls):
        cls.bench.close()
        shutil.rmtree(cls.dir, ignore_errors=True)

    def render(self, line: str) -> bytes:
        update, raw = self.dir / "update.txt", self.dir / "out.bgra"
        update.write_bytes(line.encode("utf-8") + b"\n")
        raw.unlink(missing_ok=True)
        result = self.bench.run(self.tool, ["render", windows_path(update), "--raw",
                                            windows_path(raw)], timeout=120)
        self.assertEqual(result.exit_code, 0, result.stdout + result.stderr)
        data = raw.read_bytes()
        self.assertEqual(len(data), WIDTH * HEIGHT * 4)
        return data

    def count(self, raw, rect, test):
        return sum(1 for p in pixels(raw, rect) if test(p))

    def test_text_lines_and_their_colours(self):
        cases = [
            # what, update, title green, bottom line test
            ("connected", update_line("Подключено", feedback=["Добавлено: example.org", True]),
             True, greenish),
            ("connected after other text", update_line("VPN · Подключено"), True, bright),
            ("lower-case word is not the rule", update_line("подключено"), False, bright),
            ("failure feedback", update_line("Отключено", feedback=["Ошибка", False]), False,
             reddish),
            ("drop hover beats feedback",
             update_line("Подключено", feedback=["Ошибка", False], drop_hover=True), True,
             greenish),
            ("ampersand and prefix-free text", update_line("A & B"), False, bright),
        ]
        for what, line, title_green, bottom_test in cases:
            with self.subTest(what=what):
                raw = self.render(line)
                self.assertGreater(self.count(raw, TITLE, bright if not title_green else greenish),
                                   15, "title")
                self.assertEqual(self.count(raw, TITLE, greenish) > 0, title_green, "title colour")
                self.assertGreater(self.count(raw, SUBTITLE, bright), 15, "subtitle")
                self.assertGreater(self.count(raw, BOTTOM, bottom_test), 15, "bottom line")
                if bottom_test is not reddish:
                    self.assertEqual(self.count(raw, BOTTOM, reddish), 0, "bottom colour")

    def test_first_picture_has_only_the_invitation(self):
        raw = self.render(update_line("", subtitle="", samples=[]))
        self.assertEqual(self.count(raw, TITLE, lambda p: p != BODY), 0)
        self.assertEqual(self.count(raw, SUBTITLE, lambda p: p != BODY), 0)
        self.assertGreater(self.count(raw, BOTTOM, bright), 15)
        self.assertEqual(self.count(raw, (12, 56, 196, 98), lambda p: p != BODY), 0, "graph")
        for corner in [(0, 0, 1, 1), (207, 0, 208, 1), (0, 131, 1, 132), (207, 131, 208, 132)]:
            self.assertEqual(list(pixels(raw, corner)), [(0, 0, 0, 1)], corner)
        # Text never reaches outside its rectangles.
        for band in [(0, 0, 208, 8), (0, 48, 208, 105), (0, 125, 208, 132), (0, 0, 13, 132),
                     (195, 0, 208, 132)]:
            self.assertEqual(self.count(raw, band, lambda p: p not in (BODY, (0, 0, 0, 1))), 0,
                             band)


if __name__ == "__main__":
    unittest.main()
