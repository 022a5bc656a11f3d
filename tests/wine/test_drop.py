"""Real OLE drags under Wine: vth-drag-source offers a data object the way a
browser or the shell does, xdotool drags it onto vth-drop-host, which runs
the real drop target and writes the real inbox file."""
import json
import unittest

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
        DropTests.windows += 1
        title = f"vth drag source {DropTests.windows}"
        source = self.bench.start(self.bench.exe("vth-drag-source"),
                                  ["--title", title, "--at", at, "--once", *offers])
        self.addCleanup(source.kill)
        source.wait_for_output(r'"event":"ready"', 60)
        point = center(self.bench.window_geometry(self.bench.find_window(title)))
        return source, point

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

    def test_drop_with_nothing_usable(self):
        dragged = self.drag_and_drop([r"vth/words:hglobal:text:just some words\0",
                                      r"1:stream:hex:00414243"])
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


if __name__ == "__main__":
    unittest.main()
