#!/usr/bin/env python3
"""End-to-end scenarios of the window's look: screenshots of the real skinned window under Xvfb
(the offer, the hovered button, the progress state after the click) judged by the pixels a person
would notice, and the history page file that the check builds from a served history manifest."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Image, probe, settings, wait_until  # noqa: E402

NEWS = "新版本的说明"
SETTINGS = settings("<history>%s</history>" % NEWS)
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


# The page of a targeted run: the product and its dependency.
PINNACE_PAGE = section("Pinnace", "2.1.0.1", "托盘一", "托盘二") + section("Notes", "1.2.0.0", "便签")


def page_path():
    return harness.wine_drive_c("users", "root", "Temp", "history.html")


def read_page():
    """The built page as text (None while it is still the UTF-8 template or missing)."""
    try:
        data = harness.read(page_path())
    except OSError:
        return None
    return data[2:].decode("utf-16-le") if data.startswith(b"\xff\xfe") else None


def blue(p):
    return p[2] > 180 and p[0] < 120


def light(p):
    return min(p) > 235


class SkinScenario(harness.Case):
    def setUp(self):
        super().setUp()
        s = self.s
        s.add_program("pinnace-2.1.0.0", "pinnace.exe")
        s.serve("/keldra/history.xml", HISTORY)
        # A download of the package is held by the server, so the progress state stays on screen.
        s.serve("/tools/pinnace.exe", harness.read(harness.stub("pinnace-2.1.0.0", "pinnace.exe")))
        s.rules({"/tools/pinnace.exe": {"delay": 120}})
        self.suite(
            "<pinnace><name>Pinnace</name><version>2.1.0.1</version>"
            "<installfile>/tools/pinnace.exe</installfile><depend>,notes,</depend></pinnace>\n",
            "<notes><name>Notes</name><version>1.2.0.0</version>"
            "<installfile>/tools/notes.exe</installfile></notes>\n",
            offered="5.9.3.0", settings_text=SETTINGS)

    def show(self, *switches, page=None):
        """Runs the updater until its window shows, and checks the history page it built."""
        if os.path.exists(page_path()):
            os.remove(page_path())
        updater = self.s.run(*switches)
        self.addCleanup(updater.kill)
        rect = self.shown_window()["rect"]
        self.assertTrue(wait_until(lambda: read_page() is not None, 10), "no page")
        page_text = read_page()
        self.assertTrue(page_text.startswith("<!DOCTYPE html>\r\n"), page_text[:40])
        body = page_text.partition('<div class="content">')[2]
        # "\n\r" is written by the runtime's text mode as CR LF CR.
        self.assertEqual(body[:body.index("\r\n<br />\r\n</div>")], page.replace("\n", "\r\n"))
        self.assertIn("/keldra/history.xml", self.s.requested_paths())
        return updater, rect


class SkinnedWindow(SkinScenario):
    def test_offer_hover_and_progress_as_a_person_sees_them(self):
        updater, rect = self.show("-pinnace", page=PINNACE_PAGE)
        left, top = rect[0], rect[1]
        offer = self.picture("offer", rect)
        self.assertTrue(light(offer.at(5, 140)), offer.at(5, 140))
        self.assert_last_row_is_the_frames(offer)
        # The blue button, moved down to y = 70 in the offer state (the other cells and the text
        # are judged pixel by pixel in the Windows painting tests).
        self.assertTrue(blue(offer.at(140, 80)), offer.at(140, 80))

        # The shadow window beside the frame. Xvfb draws its half-transparent pixels over black,
        # so only a faint blue-grey tint next to the frame shows it; further out the screen is
        # black.
        png = os.path.join(self.s.dir, "offer.png")
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
        self.assertTrue(wait_until(
            lambda: self.picture("progress", rect).count(15, 70, 350, 8, track) > 300, 20),
            "the bar did not appear")
        progress = self.picture("progress", rect)
        # The button gone, the percentage written in blue below the bar.
        self.assertGreater(progress.count(15, 92, 350, 20, blue), 20)
        self.assertTrue(light(progress.at(140, 115)), progress.at(140, 115))
        self.assert_last_row_is_the_frames(progress)
        self.close_by_caller(updater)


class HistoryPageFile(SkinScenario):
    def test_page_of_a_suite_run_and_of_the_main_program(self):
        for switch, page in (
                ("-keldra6", section("Keldra", "5.9.3.0", "主程序一", "主程序二") + PINNACE_PAGE),
                ("-keldra", "<strong>OrvaneHelvor 6.0正式版</strong>\n\r<p>\n\r" + BULLET + NEWS +
                 "<br />")):  # the announcement only
            with self.subTest(switch):
                self.close_by_caller(self.show(switch, page=page)[0])


if __name__ == "__main__":
    harness.main()
