"""Real OLE drags under Wine: vth-drag-source offers a data object the way a
browser or the shell does (or the way a broken source does), xdotool drags it
onto vth-drop-host, which runs the real drop target and writes the real inbox
file, or onto the real helper's overlay."""
import json
import sys
import time
import unittest

from gui_end import GuiEnd, log_lines
from winebench import WineTestCase, wait_until

DROPEFFECT_NONE = 0
DROPEFFECT_COPY = 1
DRAGDROP_S_DROP = 0x00040100


def events(process, name=None):
    lines = [json.loads(line) for line in process.stdout().splitlines() if line.startswith("{")]
    return [e for e in lines if name is None or e["event"] == name]


def center(geometry):
    x, y, width, height = geometry
    return x + width // 2, y + height // 2


def start_source(test, offers, at="100,250"):
    """A drag source with a window of a title no earlier window had; its middle."""
    DropTests.windows += 1
    title = f"vth drag source {DropTests.windows}"
    source = test.bench.start(test.bench.exe("vth-drag-source"),
                              ["--title", title, "--at", at, "--once", *offers])
    test.addCleanup(source.kill)
    source.wait_for_output(r'"event":"ready"', 60)
    return source, center(test.bench.window_geometry(test.bench.find_window(title)))


class DropTests(WineTestCase):
    windows = 0

    def setUp(self):
        self.start_host()

    def start_host(self):
        """A fresh host with a fresh LOCALAPPDATA; titles are unique so a
        window of an earlier process can never be mistaken for it."""
        if getattr(self, "host", None) is not None:
            self.host.kill()
        DropTests.windows += 1
        title = f"vth drop host {DropTests.windows}"
        self.data = self.bench.new_localappdata()
        self.host = self.bench.start(self.bench.exe("vth-drop-host"),
                                     ["--title", title, "--at", "600,250"], localappdata=self.data)
        self.addCleanup(self.host.kill)
        self.host.wait_for_output(r'"event":"registered","ok":true', 90)
        self.host_point = center(self.bench.window_geometry(self.bench.find_window(title)))

    def start_source(self, offers, at="100,250"):
        return start_source(self, offers, at)

    def drag_and_drop(self, offers):
        source, start = self.start_source(offers)
        self.bench.drag(start, self.host_point)
        return self.finish(source)

    def finish(self, source):
        source.wait_for_output(r'"event":"dragged"', 30)
        # The host's pass after the drop prints the text (if any) before the
        # hover change, so the lowered flag means everything is printed.
        wait_until(lambda: any(not e["hovering"] for e in events(self.host, "hover")), 10,
                   what="hover flag lowered")
        return events(source, "dragged")[0]

    def inbox(self):
        path = self.data / "Vestrilon" / "pending-tunnel-domains.txt"
        return path.read_bytes().decode("utf-8") if path.exists() else None

    def texts(self):
        return [e["text"] for e in events(self.host, "text")]

    def test_accepted_drops(self):
        cases = [
            ("browser link: URL format beats plain text",
             [r"13:hglobal:utf16:https://text.example/\0",
              r"UniformResourceLocatorW:hglobal:utf16:https://url.example/a?b=c\0"],
             "https://url.example/a?b=c"),
            ("moz url with title line",
             [r"text/x-moz-url:hglobal:utf16:https://moz.example/\nMoz page title\0"],
             "https://moz.example/"),
            ("internet shortcut through FileContents item 0",
             [r"FileDescriptorW:hglobal:hex:00",
              r"FileContents@0:stream:text:[InternetShortcut]\r\nURL=https://file.example/\r\n"],
             "https://file.example/"),
            ("CF_HTML block with an href",
             [r"HTML Format:hglobal:text:Version:0.9\r\nStartHTML:00000097\r\nEndHTML:00000170\r\n"
              r'<html><body><!--StartFragment--><a href="https://html.example/x">x</a>'
              r"<!--EndFragment--></body></html>\0"],
             "https://html.example/x"),
            ("stream larger than it claims: only the claimed bytes are read",
             [r"1:stream-claiming-19:text:https://a.example/not-claimed"],
             "https://a.example/n"),
        ]
        for index, (what, offers, text) in enumerate(cases):
            with self.subTest(what):
                if index > 0:
                    self.start_host()
                dragged = self.drag_and_drop(offers)
                self.assertEqual(dragged["effect"], DROPEFFECT_COPY)
                self.assertEqual(int(dragged["result"], 16), DRAGDROP_S_DROP)
                self.assertEqual(self.texts(), [text])
                self.assertEqual(self.inbox(), text + "\n")
                self.assertTrue(events(self.host, "hover")[0]["hovering"])

    def test_drag_that_leaves_without_dropping(self):
        source, start = self.start_source([r"1:hglobal:text:https://left.example/\0"])
        self.bench.drag(start, self.host_point, release=False)
        wait_until(lambda: events(self.host, "hover"), 10, what="hover flag raised")
        self.bench.drag(self.host_point, (self.host_point[0], 700), release=False)
        wait_until(lambda: len(events(self.host, "hover")) >= 2, 10, what="hover flag lowered")
        self.bench.mouse_up()
        dragged = self.finish(source)
        self.assertEqual(dragged["effect"], DROPEFFECT_NONE)
        self.assertEqual([e["hovering"] for e in events(self.host, "hover")], [True, False])
        self.assertEqual(self.texts(), [])
        self.assertIsNone(self.inbox())

    def test_drops_with_nothing_usable(self):
        cases = [
            ("words, and a stream that starts with a zero byte",
             [r"vth/words:hglobal:text:just some words\0", r"1:stream:hex:00414243"]),
            # Across processes the stream's answer never arrives: the call fails.
            ("stream that reports more bytes than it was asked for",
             [r"1:stream-overreporting-4096:text:https://over.example/"]),
        ]
        for index, (what, offers) in enumerate(cases):
            with self.subTest(what):
                if index > 0:
                    self.start_host()
                dragged = self.drag_and_drop(offers)
                self.assertEqual(dragged["effect"], DROPEFFECT_NONE)
                self.assertEqual(self.texts(), [])
                self.assertIsNone(self.inbox())

    def test_two_drops_in_quick_succession(self):
        first, first_point = self.start_source([r"1:hglobal:text:first.example\0"], at="100,150")
        second, second_point = self.start_source([r"1:hglobal:text:second.example\0"],
                                                 at="100,400")
        self.bench.drag(first_point, self.host_point)
        first.wait_for_output(r'"event":"dragged"', 30)
        self.bench.drag(second_point, self.host_point)
        second.wait_for_output(r'"event":"dragged"', 30)
        wait_until(lambda: len(self.texts()) == 2, 10, what="two texts")
        self.assertEqual(self.texts(), ["first.example", "second.example"])
        self.assertEqual(self.inbox(), "first.example\nsecond.example\n")


class HelperDropTests(WineTestCase):
    """Drops from sources that break their contracts, onto the real helper."""
    OVERLAY = (600, 250)
    DROP_POINT = (OVERLAY[0] + 100, OVERLAY[1] + 80)

    def start_helper(self, data):
        self.gui = GuiEnd(data, *self.OVERLAY)
        self.addCleanup(self.gui.close)
        self.helper = self.bench.start(self.bench.exe("vestrilon-traffic-helper"),
                                       localappdata=data)
        self.addCleanup(self.helper.kill)
        self.gui.accept(90)
        hello = self.gui.wait_type("hello", 30)
        self.gui.wait_type("state", 10)
        return hello

    def shut_down(self, data):
        self.gui.send({"type": "shutdown"})
        self.assertEqual(self.helper.wait(30), 0)
        return log_lines(data)

    def test_format_list_that_never_ends(self):
        data = self.bench.new_localappdata()
        self.start_helper(data)
        source, point = start_source(
            self, ["--endless-formats", r"vth/words:hglobal:text:just some words\0"])
        self.bench.drag(point, self.DROP_POINT)
        released = time.monotonic()
        dragged = json.loads(source.wait_for_output(r'\{"event":"dragged".*\}', 30)[0])
        print(f"endless format list: drop ended {time.monotonic() - released:.2f} s after "
              "the release", file=sys.stderr)
        self.assertEqual(dragged["effect"], DROPEFFECT_NONE)
        # The heartbeat goes on: two more state reports, a second apart.
        after = self.gui.count()
        self.gui.wait_type("state", 5, after=after)
        self.gui.wait_type("state", 5, after=self.gui.count())
        self.assertEqual(self.gui.all("textDropped"), [])
        self.assertEqual(self.shut_down(data)[-1], "traffic helper received shutdown")

    def test_source_whose_get_data_never_returns(self):
        # The overlay thread waits in the source's GetData for ever; shutdown
        # waits for it only so long, and the process ends all the same.
        data = self.bench.new_localappdata()
        self.start_helper(data)
        source, point = start_source(
            self, ["--hanging-get-data", r"1:hglobal:text:hung.example\0"])
        self.bench.drag(point, self.DROP_POINT)
        source.wait_for_output(r'"event":"getData"', 30)
        self.gui.send({"type": "shutdown"})
        asked = time.monotonic()
        self.assertEqual(self.helper.wait(10), 0)
        print(f"hung drag source: helper ended {time.monotonic() - asked:.2f} s after "
              "shutdown", file=sys.stderr)
        self.assertEqual(log_lines(data)[-1], "traffic helper received shutdown")
        self.assertEqual(self.gui.all("textDropped"), [])

    def test_data_directory_behind_a_link(self):
        data = self.bench.new_localappdata()
        real = data / "real"
        real.mkdir()
        (data / "Vestrilon").symlink_to(real, target_is_directory=True)
        hello = self.start_helper(data)
        if hello["integrity"] not in ("high", "system"):
            self.skipTest(f"the helper runs at {hello['integrity']} integrity here")
        source, point = start_source(self, [r"1:hglobal:text:linked.example\0"])
        self.bench.drag(point, self.DROP_POINT)
        self.gui.wait_type("textDropped", 10, text="linked.example")
        self.shut_down(data)
        # Neither the log nor the inbox was written through the link.
        self.assertEqual(sorted(p.name for p in real.iterdir()), ["traffic-helper.json"])


if __name__ == "__main__":
    unittest.main()
