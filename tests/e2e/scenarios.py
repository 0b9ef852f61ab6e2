#!/usr/bin/env python3
"""End-to-end scenarios: the real updater under Wine, as the suite's programs start it, judged by
what a person or the calling program would notice."""
import datetime
import os
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import CALLER, FRAME, UPDATER_KEY, entry, own_entry, probe, wait_until  # noqa: E402


class ScenarioCase(harness.Case):
    def up_to_date_suite(self, *extra_entries):
        """A suite with the main program installed at the version the manifest offers."""
        self.suite(*extra_entries, own=own_entry(name="升级程序"))


class ManifestHostDown(ScenarioCase):
    def test_interactive_run_explains_in_a_message_box_and_ends(self):
        updater = self.s.run("-keldra")
        box = probe("msgbox", 30000)
        self.assertTrue(box["found"], "no message box")
        self.assertEqual(box["caption"], "Helvor升级提示 v" + harness.build().version)
        self.assertTrue(box["text"].startswith("网络连接异常\r请检查是否有杀毒或者卫士程序拦截\n\n操作系统："),
                        box["text"])
        self.assertTrue(box["text"].endswith("\n\nError：0"), box["text"])
        self.assertIn(" (Build ", box["text"])  # the system's description between them
        self.assert_ends(updater)

    def test_silent_run_tells_the_caller_and_shows_nothing(self):
        caller = self.s.window(CALLER)
        updater = self.s.run("-keldra", "-silent", "-notice")
        self.assert_never_shown(updater)
        self.assertFalse(probe("msgbox", 500)["found"])
        records = caller.records()
        self.assertEqual(len(records), 1, records)
        self.assertEqual((records[0]["command"], records[0]["status"], records[0]["percent"]),
                         (1, 3, 100))
        self.assertEqual(records[0]["product"], "keldra")
        self.assertEqual(records[0]["cbData"], 660)


class NothingToDo(ScenarioCase):
    def test_interactive_run_shows_the_window_beside_the_taskbar_then_closes(self):
        self.up_to_date_suite()
        updater = self.s.run("-keldra")
        window = self.shown_window(20)
        left, top, right, bottom = window["rect"]
        self.assertEqual((right - left, bottom - top), (380, 175))
        # Wine's taskbar is hidden and empty: the window sits in the bottom-right corner.
        self.assertEqual((right, bottom), (1280, 1024))
        shown_at = time.monotonic()
        self.assert_last_row_is_the_frames(self.picture("up-to-date", window["rect"]))
        self.assert_ends(updater, 20)
        self.assertGreater(time.monotonic() - shown_at, 3.5, "closed before its five seconds")
        self.assertFalse(os.path.exists(os.path.join(self.s.suite, "upgrade")))

    def test_keldra6_sends_a_zero_count_and_shows_nothing(self):
        self.up_to_date_suite()
        main6 = self.s.window("_Keldra6", visible=True)
        updater = self.s.run("-keldra6")
        self.assert_never_shown(updater)
        self.assertEqual([r.get("count") for r in main6.records()], [0])


class ProductNotInstalled(ScenarioCase):
    def test_offer_stays_beside_a_second_instance_until_the_close_box_is_clicked(self):
        # No main program: the version-6 manifest is asked for, and it names nothing to update.
        self.serve_version6_manifests()
        self.s.start_servers()
        updater = self.s.run("-pinnace")
        left, top = self.shown_window(20)["rect"][:2]
        self.assertIn("/keldra/upgrade6s.xml", self.s.requested_paths())
        before = len(self.s.requests())
        second = self.s.run("-pinnace", "-silent")
        self.assertTrue(wait_until(lambda: len(self.s.requests()) >= before + 2, 20),
                        "the second instance did not check")
        second.kill()
        self.assertIsNone(updater.wait(6), "the offer closed by itself")
        probe("click", left + 355, top + 17)
        self.assert_ends(updater, 15)
        self.assertFalse(probe("wait", FRAME, 0)["found"])


class EnforcedItems(ScenarioCase):
    def test_enforced_items_go_to_a_hidden_second_updater_that_a_third_instance_leaves_alone(self):
        self.s.add_program("wardel-1.0.0.0", "wardel.exe")
        # The enforced run keeps downloading its package (the server holds the answer back), so
        # that it is still running while the scenario looks at it.
        self.s.serve("/keldra/wardel.exe", b"MZ" + bytes(4000))
        self.s.rules({"/keldra/wardel.exe": {"answer": "stall", "bytes": 100, "seconds": 120}})
        self.up_to_date_suite(entry("wardel", "1.0.0.1", enforce=True))
        self.s.window(CALLER)
        updater = self.s.run("-keldra", "-notice")
        # No "-from" was given: the default caller class is passed on.
        expected = "-keldra -silent -enforce -notice -from:_Keldra"
        second = lambda: [line for _, line in self.s.suite_processes() if expected in line]
        self.assertTrue(wait_until(second, 20), self.s.suite_processes())
        # Nothing ordinary is left: this window says all is up to date and closes itself.
        self.assert_ends(updater, 20)
        # The second updater runs on, hidden, with the enforced item.
        window = probe("wait", FRAME, 0)
        self.assertTrue(window["found"])
        self.assertFalse(window["visible"])
        # Another instance beside the enforced run ends at once without checking.
        self.assertTrue(wait_until(lambda: "/keldra/wardel.exe" in self.s.requested_paths(), 20))
        manifests = lambda: [p for p in self.s.requested_paths() if p.endswith(".xml")]
        before = len(manifests())
        self.assert_ends(self.s.run("-keldra", "-silent"), 20)
        self.assertEqual(len(manifests()), before, "the third instance checked")
        self.assertTrue(second(), "the enforced run ended")


class CalendarWriteTest(ScenarioCase):
    """Started by the calendar product, the updater must be able to write to the calendar's
    plug-in directory; as an administrator (everyone is, under Wine) it simply ends otherwise."""

    def test_only_a_writable_plugin_directory_lets_the_check_run_and_it_ends_unseen(self):
        self.up_to_date_suite()
        old_version = os.path.join(self.s.suite, "OldVersion")
        os.makedirs(old_version)
        plugins = os.path.join(self.s.dir, "plugins")
        for folder in (os.path.join(self.s.dir, "no-such-plugins"), plugins):
            checked = folder == plugins
            if checked:
                os.makedirs(plugins)
            self.s.set_registry(r"HKCU\Software\Orvane\Dayloom", "PluginsPath",
                                harness.windows_path(folder) + "\\")
            updater = self.s.run("-dayloom", "-silent", "-from:_Keldra_LunarCalendar")
            self.assert_never_shown(updater)
            if not checked:
                self.assertEqual(self.s.requests(), [])
        self.assertEqual(os.listdir(plugins), [], "the test file was left behind")
        # Both manifests read; nothing to install: the upgrade folder and the previous updater's
        # backup are gone, and the main program was not started.
        self.assertEqual(self.s.requested_paths()[:2], ["/keldra/tallix.xml", "/keldra/upgrade.xml"])
        for request in self.s.requests()[:2]:
            self.assertRegex(request["path"], r"\?a=-?\d+$")
        self.assertFalse(os.path.exists(os.path.join(self.s.suite, "upgrade")))
        self.assertFalse(os.path.exists(old_version))
        self.assertEqual(self.s.program_starts("keldra.exe"), [], "keldra was started")


def ole_date_hours_ago(hours):
    """The local time `hours` ago as an OLE date (days since 1899-12-30)."""
    then = datetime.datetime.now() - datetime.timedelta(hours=hours)
    return (then - datetime.datetime(1899, 12, 30)).total_seconds() / 86400


class GuardRateLimit(ScenarioCase):
    def test_second_guard_check_within_the_hour_ends_at_once(self):
        self.up_to_date_suite()
        # The last check two hours ago, so that the first run goes on whatever the hour is.
        stored = struct.pack("<dI", ole_date_hours_ago(2), 0).hex()
        self.s.set_registry(UPDATER_KEY, "uptime", stored, "REG_BINARY")
        caller = self.s.window(CALLER)
        self.assert_ends(self.s.run("-keldra", "-wardel_x64", "-notice"))
        self.assertEqual([r["status"] for r in caller.records()], [2])
        _, out = harness.wine("reg", "query", UPDATER_KEY, "/v", "uptime")
        self.assertIn("REG_BINARY", out)
        self.assertNotIn(stored.upper(), out.replace(" ", "").upper(), "uptime not rewritten")
        self.assert_ends(self.s.run("-keldra", "-wardel_x64", "-notice"))
        self.assertEqual([r["status"] for r in caller.records()], [2], "the second run went on")
        self.assert_ends(self.s.run("-keldra", "-wardel_x64", "-notice", "-enforce"))
        self.assertEqual(len(caller.records()), 2, "a run with enforce is not limited")


if __name__ == "__main__":
    harness.main()
