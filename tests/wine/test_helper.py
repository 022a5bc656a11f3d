"""The real helper under Wine and Xvfb against a GUI end in Python: the
window on the X screen, mouse gestures through xdotool, real drops from the
drag-source tool, and how the helper ends."""
import statistics
import subprocess
import time
import unittest

from gui_end import GuiEnd, log_lines
from winebench import WineTestCase, wait_until, windows_path

TITLE = "Vestrilon traffic"


class HelperTests(WineTestCase):
    def start(self, x=300, y=200, listen=True, prepare=None, read_rate=None):
        self.data = self.bench.new_localappdata()
        self.gui = GuiEnd(self.data, x=x, y=y, listen=listen, read_rate=read_rate)
        self.addCleanup(self.gui.close)
        if prepare:
            prepare(self.data / "Vestrilon")
        self.helper = self.bench.start(self.bench.exe("vestrilon-traffic-helper"),
                                       localappdata=self.data)
        self.addCleanup(self.helper.kill)
        if listen:
            self.gui.accept(90)
            self.gui.wait_type("hello", 30)

    def window(self):
        return self.bench.find_window(TITLE)

    def visible_windows(self):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"],
                             env=self.bench.env(), capture_output=True, text=True)
        return out.stdout.split()

    def shut_down(self):
        self.gui.send({"type": "shutdown"})
        self.assertEqual(self.helper.wait(30), 0)
        self.assertEqual(log_lines(self.data)[-1], "traffic helper received shutdown")

    def action_after(self, gesture, *names, timeout=10):
        """Runs gesture and returns the action messages it caused, waiting for names."""
        before = self.gui.count()
        gesture()
        for name in names:
            self.gui.wait_type("action", timeout, after=before, action=name)
        time.sleep(0.3)  # a gesture that raised more would show it by now
        return [m["action"] for m in self.gui.all()[before:] if m["type"] == "action"]

    def test_window_hello_and_first_state(self):
        self.start(x=320, y=240)
        self.gui.wait_type("state", 10)
        hello = self.gui.all()[0]
        self.assertEqual(hello, {"type": "hello", "token": "test-token",
                                 "integrity": hello["integrity"], "oleRegistered": True})
        self.assertEqual(self.gui.raw[1],
                         b'{"type":"state","hovering":false,"interacting":false,"x":320,"y":240}')
        self.assertEqual(self.bench.window_geometry(self.window()), (320, 240, 208, 132))
        log = log_lines(self.data)
        self.assertIn(f"overlay created integrity={hello['integrity']} ole_registration=success "
                      "x=320 y=240 size=208x132", log)
        self.assertIn(f"hello sent integrity={hello['integrity']} ole_registered=true "
                      "gui_pid=4242", log)
        self.shut_down()
        wait_until(lambda: not self.visible_windows(), 10, what="window gone")

    def test_clicks_double_clicks_and_right_click(self):
        self.start()
        top, lower = (400, 220), (400, 300)
        bench = self.bench
        cases = [
            ("top click", lambda: bench.click(*top), ["toggleVpn"]),
            ("lower click", lambda: bench.click(*lower), ["restoreMain"]),
            ("right click", lambda: bench.click(*lower, button=3), ["hideToTray"]),
            ("top double-click toggles once",
             lambda: (bench.mouse_move(*top), bench.xdotool("click", "--repeat", 2, "--delay", 60, 1)),
             ["toggleVpn"]),
        ]
        for what, gesture, expected in cases:
            with self.subTest(what):
                self.assertEqual(self.action_after(gesture, *expected), expected)
        before = self.gui.count()
        bench.mouse_move(*lower)
        bench.xdotool("click", "--repeat", 2, "--delay", 60, 1)
        self.gui.wait_type("addFromClipboard", 10, after=before)
        kinds = [m["type"] for m in self.gui.all()[before:] if m["type"] != "state"]
        self.assertEqual(kinds, ["action", "addFromClipboard"])
        self.assertEqual(self.gui.all("action")[-1]["action"], "restoreMain")
        log = log_lines(self.data)
        self.assertIn("toggleVpn inbox enqueued", log)
        self.assertEqual(log[log.index("action=toggleVpn") + 1], "toggleVpn inbox enqueued")
        self.assertIn("addFromClipboard", log)
        inbox = (self.data / "Vestrilon" / "pending-toggle-vpn.txt").read_text()
        self.assertEqual(inbox, "toggleVpn\n" * 2)
        self.shut_down()

    def test_drags(self):
        self.start()
        bench = self.bench
        # Top zone, 20 px: a click, the window stays.
        self.assertEqual(self.action_after(lambda: bench.drag((400, 220), (420, 220)),
                                           "toggleVpn"), ["toggleVpn"])
        self.assertEqual(bench.window_geometry(self.window())[:2], (300, 200))
        # Lower zone drag: states while moving, then dragEnded where the window is.
        before = self.gui.count()
        bench.drag((400, 300), (500, 360))
        ended = self.gui.wait_type("action", 10, after=before, action="dragEnded")
        self.assertEqual((ended["x"], ended["y"]), (400, 260))
        self.assertEqual(bench.window_geometry(self.window())[:2], (400, 260))
        states = [m for m in self.gui.all()[before:] if m["type"] == "state"]
        self.assertTrue(any(s["interacting"] for s in states))
        self.assertIn((400, 260), [(s["x"], s["y"]) for s in states])
        # Top zone, 60 px and released there: a drag.
        self.assertEqual(self.action_after(lambda: bench.drag((500, 280), (560, 280)),
                                           "dragEnded"), ["dragEnded"])
        self.assertEqual(bench.window_geometry(self.window())[:2], (460, 260))
        # After a drag, setPosition is ignored for good.
        before = self.gui.count()
        self.gui.send({"type": "setPosition", "x": 10, "y": 10})
        time.sleep(1.2)
        self.assertEqual(bench.window_geometry(self.window())[:2], (460, 260))
        last = self.gui.all("state")[-1]
        self.assertEqual((last["x"], last["y"]), (460, 260))
        self.shut_down()

    def test_position_commands_and_visibility(self):
        self.start(x=-4000, y=50)
        self.assertIn("overlay position clamped from=-4000,50 to=0,50", log_lines(self.data))
        self.assertEqual(self.bench.window_geometry(self.window())[:2], (0, 50))
        # setPosition while the button is held is ignored.
        self.bench.mouse_move(100, 150)
        self.bench.mouse_down()
        self.gui.wait_type("state", 5, after=self.gui.count(), interacting=True)
        self.gui.send({"type": "setPosition", "x": 600, "y": 400})
        time.sleep(0.5)
        self.assertEqual(self.bench.window_geometry(self.window())[:2], (0, 50))
        self.bench.mouse_up()
        self.gui.wait_type("action", 5, action="restoreMain")
        self.gui.send({"type": "setVisible", "visible": False})
        wait_until(lambda: not self.visible_windows(), 10, what="window hidden")
        # setPosition while hidden moves it (clamped) and shows it again.
        before = self.gui.count()
        self.gui.send({"type": "setPosition", "x": 5000, "y": 300})
        state = self.gui.wait_type("state", 5, after=before, x=1280 - 208)
        self.assertEqual(state["y"], 300)
        self.assertEqual(self.bench.window_geometry(self.window())[:2], (1280 - 208, 300))
        self.shut_down()

    def test_gui_not_listening(self):
        self.start(listen=False)
        self.assertEqual(self.helper.wait(60), 0)
        log = log_lines(self.data)
        self.assertTrue(log[-1].startswith("traffic helper fatal: "), log)
        self.assertTrue(log[-1].endswith("(os error 10061)"), log)
        self.assertFalse(self.visible_windows())

    def test_gui_closing_the_connection_ends_the_helper(self):
        self.start()
        self.gui.close()
        started = time.monotonic()
        self.assertEqual(self.helper.wait(20), 0)
        self.assertLess(time.monotonic() - started, 5)
        self.assertTrue(log_lines(self.data)[-1].startswith("traffic helper fatal: "))
        self.assertFalse(self.visible_windows())

    def test_toggle_with_an_unwritable_inbox(self):
        self.start(prepare=lambda folder: (folder / "pending-toggle-vpn.txt").mkdir())
        self.assertEqual(self.action_after(lambda: self.bench.click(400, 220), "toggleVpn"),
                         ["toggleVpn"])
        log = log_lines(self.data)
        self.assertEqual(log[log.index("action=toggleVpn") + 1], "toggleVpn inbox enqueued")
        self.shut_down()

    def test_two_quick_drops(self):
        self.start(x=600, y=300)
        sources = []
        for index, (text, at) in enumerate([("first.example", "100,150"),
                                             ("second.example", "100,450")]):
            title = f"vth drag source helper {index}"
            source = self.bench.start(self.bench.exe("vth-drag-source"),
                                      ["--title", title, "--at", at, "--once",
                                       rf"1:hglobal:text:{text}\0"])
            self.addCleanup(source.kill)
            source.wait_for_output(r'"event":"ready"', 60)
            x, y, w, h = self.bench.window_geometry(self.bench.find_window(title))
            sources.append((source, (x + w // 2, y + h // 2)))
        for source, point in sources:
            self.bench.drag(point, (700, 380))
            source.wait_for_output(r'"event":"dragged"', 30)
        wait_until(lambda: len(self.gui.all("textDropped")) == 2, 10, what="two drops")
        self.assertEqual([m["text"] for m in self.gui.all("textDropped")],
                         ["first.example", "second.example"])
        self.assertTrue(any(m["hovering"] for m in self.gui.all("state")))
        log = log_lines(self.data)
        self.assertIn('textDropped len=13 preview="first.example"', log)
        self.assertLess(log.index('textDropped len=13 preview="first.example"'),
                        log.index('textDropped len=14 preview="second.example"'))
        inbox = (self.data / "Vestrilon" / "pending-tunnel-domains.txt").read_text()
        self.assertEqual(inbox, "first.example\nsecond.example\n")
        self.shut_down()

    def drop(self, offer, at=(700, 380)):
        """Drags a data object offering offer from a drag-source window onto at."""
        title = "vth drag source helper big"
        source = self.bench.start(self.bench.exe("vth-drag-source"),
                                  ["--title", title, "--at", "100,150", "--once", offer])
        self.addCleanup(source.kill)
        source.wait_for_output(r'"event":"ready"', 60)
        x, y, w, h = self.bench.window_geometry(self.bench.find_window(title))
        self.bench.drag((x + w // 2, y + h // 2), at)
        source.wait_for_output(r'"event":"dragged"', 60)

    def test_four_megabytes_reach_a_gui_reading_256_kilobytes_a_second(self):
        # A send may take far longer than the 2 s write timeout as long as
        # every 64 KiB piece moves within it.
        self.start(x=600, y=300, read_rate=256 * 1024)
        text = "https://big.example/ " + "x" * (4 * 1024 * 1024)
        path = self.bench.workdir / "big.txt"
        path.write_bytes(text.encode() + b"\0")
        self.drop(f"1:hglobal:file:{windows_path(path)}")
        dropped = self.gui.wait_type("textDropped", 40)
        self.assertEqual(len(dropped["text"]), len(text))
        self.assertTrue(dropped["text"] == text)
        self.gui.read_rate = None
        self.shut_down()

    def test_content_reaches_the_screen(self):
        self.start(x=500, y=300)
        samples = [{"t": i, "up": 2 + (i % 3), "down": 6 + (i % 5)} for i in range(60)]
        self.gui.send({"type": "updateContent", "title": "Подключено", "subtitle": "Сервер",
                       "feedback": None, "samples": samples, "dropHover": False})
        shot = self.bench.workdir / "screen.png"

        def pixels():
            self.bench.screenshot(shot)
            out = subprocess.run(["convert", str(shot), "-crop", "208x132+500+300", "+repage",
                                  "-depth", "8", "rgb:-"], capture_output=True, check=True)
            return out.stdout

        def region_has(raw, left, top, right, bottom, test):
            for r in range(top, bottom):
                for c in range(left, right):
                    i = (r * 208 + c) * 3
                    if test(raw[i], raw[i + 1], raw[i + 2]):
                        return True
            return False

        green_title = lambda r, g, b: g > 120 and r < 120 and b < 160
        raw = wait_until(lambda: (lambda p: p if region_has(p, 13, 8, 195, 28, green_title)
                                  else None)(pixels()), 10, interval=0.3, what="title drawn")
        self.assertTrue(region_has(raw, 12, 56, 197, 98, lambda r, g, b: b > 150 and r < 120),
                        "download line in the graph")
        self.assertTrue(region_has(raw, 12, 56, 197, 98, lambda r, g, b: g > 150 and r < 120),
                        "upload line in the graph")
        self.shut_down()

    def test_set_position_to_state_latency(self):
        self.start(x=100, y=100)
        delays = []
        for i in range(100):
            x = 150 - (i % 2) * 50  # always a new position
            before = self.gui.count()
            sent = time.monotonic()
            self.gui.send({"type": "setPosition", "x": x, "y": 100})
            self.gui.wait_type("state", 5, after=before, x=x)
            delays.append(time.monotonic() - sent)
        print(f"\nsetPosition to state: median {statistics.median(delays) * 1000:.1f} ms, "
              f"worst {max(delays) * 1000:.1f} ms")
        self.shut_down()


if __name__ == "__main__":
    unittest.main()
