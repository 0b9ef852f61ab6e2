#!/usr/bin/env python3
"""End-to-end scenarios of the window's look: screenshots of the real skinned window under Xvfb
(the offer, the hovered button, the progress state after the click) judged by the pixels a person
would notice, and the history page file that the check builds from a served history manifest."""
import json
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import scenarios as base  # noqa: E402
from harness import probe  # noqa: E402

FRAME = base.FRAME
NEWS = "新版本的说明"
SETTINGS = ('<?xml version="1.0" encoding="utf-8"?>\n<TallixSet><upkeldra6>0</upkeldra6>'
            '<history>%s</history></TallixSet>\n' % NEWS)
HISTORY = ('<?xml version="1.0" encoding="utf-8"?>\n<UpdateList>\n'
           '<keldra><h>|主程序一|主程序二|</h></keldra>\n'
           '<pinnace><h>|托盘一|托盘二|</h></pinnace>\n'
           '<notes><h>便签</h></notes>\n'
           '<fennick><h>不在升级清单里</h></fennick>\n'
           '</UpdateList>\n')
BULLET = "<span>●</span>"


def section(name, version, *lines):
    return ("<strong>%s %s</strong>\n\r<p>\n\r" % (name, version) +
            "".join(BULLET + line + "<br />" for line in lines) + "</p>\n\r")


def page_path():
    """history.html in the prefix's temporary folder (C:\\users\\root\\Temp)."""
    return os.path.join(harness.build().dir, "wineprefix", "drive_c", "users", "root", "Temp",
                        "history.html")


def read_page():
    """The built page as text (None while it is still the UTF-8 template or missing)."""
    try:
        with open(page_path(), "rb") as f:
            data = f.read()
    except OSError:
        return None
    if not data.startswith(b"\xff\xfe"):
        return None
    return data[2:].decode("utf-16-le")


def screenshot(path):
    subprocess.run(["import-im6.q16", "-window", "root", path], check=True, timeout=60,
                   capture_output=True)


class Image:
    """The pixels of a region of a screenshot, read through ImageMagick as PPM."""

    def __init__(self, png, left, top, width, height):
        out = subprocess.run(["convert-im6.q16", png, "-crop",
                              "%dx%d+%d+%d" % (width, height, left, top), "+repage", "-depth", "8", "ppm:-"],
                             check=True, timeout=60, capture_output=True).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+\d+\s", out)
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.pixels = out[header.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, left, top, width, height, test):
        return sum(1 for y in range(top, top + height) for x in range(left, left + width)
                   if test(self.at(x, y)))


def blue(p):
    return p[2] > 180 and p[0] < 120


def light(p):
    return min(p) > 235


class SkinScenario(base.ScenarioCase):
    def setUp(self):
        super().setUp()
        try:
            os.remove(page_path())
        except OSError:
            pass
        s = self.scenario
        s.add_program("keldra-5.9.2.1", "keldra.exe")
        s.add_program("pinnace-2.1.0.0", "pinnace.exe")
        s.serve("/keldra/tallix.xml", SETTINGS)
        s.serve("/keldra/upgrade.xml", base.upgrade_manifest(
            base.own_entry(),
            base.entry("keldra", "5.9.3.0", name="Keldra"),
            "<pinnace><name>Pinnace</name><version>2.1.0.1</version>"
            "<installfile>/tools/pinnace.exe</installfile><depend>,notes,</depend></pinnace>\n",
            "<notes><name>Notes</name><version>1.2.0.0</version>"
            "<installfile>/tools/notes.exe</installfile></notes>\n"))
        s.serve("/keldra/history.xml", HISTORY)
        # A download of the package is held by the server, so the progress state stays on screen.
        with open(os.path.join(harness.build().stubs, "pinnace-2.1.0.0", "pinnace.exe"), "rb") as f:
            s.serve("/tools/pinnace.exe", f.read())
        s.serve("/_rules.json", json.dumps({"/tools/pinnace.exe": {"delay": 120}}), "utf-8")
        s.start_servers()

    def show(self, *switches):
        updater = self.scenario.run(*switches)
        window = probe("wait", FRAME, 30000, "visible")
        self.assertTrue(window.get("visible"), window)
        self.addCleanup(lambda: updater.kill())
        return updater, window["rect"]

    def picture(self, name, rect):
        """A screenshot of the frame's rectangle, kept in the scenario's folder."""
        time.sleep(1)  # let the layered window settle
        png = os.path.join(self.scenario.dir, name + ".png")
        screenshot(png)
        left, top, right, bottom = rect
        subprocess.run(["convert-im6.q16", png, "-crop", "%dx%d+%d+%d" % (
            right - left + 14, bottom - top + 14, max(left - 7, 0), max(top - 7, 0)), "+repage",
            os.path.join(self.scenario.dir, name + "-window.png")], timeout=60, check=True)
        return Image(png, left, top, right - left, bottom - top)

    def close(self, updater):
        self.assertTrue(probe("notice", FRAME, 4)["sent"])
        self.assert_ends(updater, 20)


class SkinnedWindow(SkinScenario):
    def test_offer_hover_and_progress_as_a_person_sees_them(self):
        updater, rect = self.show("-pinnace")
        left, top = rect[0], rect[1]
        offer = self.picture("offer", rect)
        self.assertTrue(light(offer.at(5, 140)), offer.at(5, 140))
        # The blue button, moved down to y = 70 in the offer state (the other cells and the text
        # are judged pixel by pixel in the Windows painting tests).
        self.assertTrue(blue(offer.at(140, 80)), offer.at(140, 80))

        # The shadow window beside the frame. Xvfb draws its half-transparent pixels over black,
        # so only a faint blue-grey tint next to the frame shows it; further out the screen is
        # black.
        png = os.path.join(self.scenario.dir, "offer.png")
        self.assertGreater(Image(png, left - 3, top + 20, 3, 100).count(
            0, 0, 3, 100, lambda p: p[2] > 0), 250, "no shadow beside the frame")
        self.assertEqual(Image(png, left - 20, top + 20, 5, 100).count(
            0, 0, 5, 100, lambda p: max(p) > 0), 0)

        subprocess.run(["xdotool", "mousemove", str(left + 140), str(top + 80)], timeout=30)
        hover = self.picture("hover", rect)
        self.assertGreater(hover.at(140, 80)[0], offer.at(140, 80)[0] + 15, "no hover cell")

        self.assertTrue(probe("click", left + 190, top + 94)["clicked"])
        def track(p):
            return 200 < p[0] < 233

        # The track across the bar (the download itself is held by the server).
        self.assertTrue(base.wait_until(
            lambda: self.picture("progress", rect).count(15, 70, 350, 8, track) > 300, 20),
            "the bar did not appear")
        progress = self.picture("progress", rect)
        # The button gone, the percentage written in blue below the bar.
        self.assertGreater(progress.count(15, 92, 350, 20, blue), 20)
        self.assertTrue(light(progress.at(140, 115)), progress.at(140, 115))
        self.close(updater)


class HistoryPageFile(SkinScenario):
    def test_page_of_a_targeted_run_a_suite_run_and_the_main_program(self):
        pinnace = (section("Pinnace", "2.1.0.1", "托盘一", "托盘二") +
                   section("Notes", "1.2.0.0", "便签"))
        cases = (("-pinnace", pinnace),  # the product and its dependency
                 ("-keldra6", section("Keldra", "5.9.3.0", "主程序一", "主程序二") + pinnace),
                 ("-keldra", "<strong>OrvaneHelvor 6.0正式版</strong>\n\r<p>\n\r" + BULLET + NEWS +
                  "<br />"))  # the announcement only
        for switch, expected in cases:
            with self.subTest(switch):
                if os.path.exists(page_path()):
                    os.remove(page_path())
                updater, _ = self.show(switch)
                self.assertTrue(base.wait_until(lambda: read_page() is not None, 10), "no page")
                page = read_page()
                self.close(updater)
                self.assertTrue(page.startswith("<!DOCTYPE html>\r\n"), page[:40])
                body = page.partition('<div class="content">')[2]
                # "\n\r" is written by the runtime's text mode as CR LF CR.
                self.assertEqual(body[:body.index("\r\n<br />\r\n</div>")],
                                 expected.replace("\n", "\r\n"))
        self.assertIn("/keldra/history.xml", self.scenario.requested_paths())


if __name__ == "__main__":
    runner = unittest.TextTestRunner(verbosity=2, resultclass=base.Summary)
    result = runner.run(unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__]))
    failed = len(result.failures) + len(result.errors)
    print("e2e: %d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
