#!/usr/bin/env python3
"""End-to-end scenarios: the real updater under Wine, as the suite's programs start it, judged by
what a person or the calling program would notice."""
import datetime
import os
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Scenario, entry, probe, upgrade_manifest, wait_until  # noqa: E402,F401

FRAME = "_tallix_orvane"
CALLER = "_Keldra"
UPDATER_KEY = r"HKCU\Software\Orvane\Tallix"
SETTINGS = '<?xml version="1.0" encoding="utf-8"?>\n<TallixSet><upkeldra6>0</upkeldra6></TallixSet>\n'






def own_entry():
    """The updater's own entry at the version it already has: no self-update."""
    return entry("tallix", harness.build().version, name="升级程序")




class ScenarioCase(unittest.TestCase):
    def setUp(self):
        self.scenario = Scenario(self.id().split(".")[-1])
        harness.reg("delete", UPDATER_KEY, "/v", "uptime", "/f")

    def tearDown(self):
        self.scenario.close()

    def up_to_date_suite(self, *extra_entries, variant="upgrade.xml"):
        """A suite with the main program installed at the version the manifest offers."""
        s = self.scenario
        s.add_program("keldra-5.9.2.1", "keldra.exe")
        s.serve("/keldra/tallix.xml", SETTINGS)
        s.serve("/keldra/" + variant,
                upgrade_manifest(own_entry(), entry("keldra", "5.9.2.1", name="Keldra"),
                                 *extra_entries))
        s.start_servers()

    def assert_ends(self, updater, seconds=30):
        code = updater.wait(seconds)
        self.assertIsNotNone(code, "the updater did not end within %s s" % seconds)
        self.assertEqual(code, 0)

    def assert_never_shown(self, updater, seconds=30):
        """Watches the window until the updater ends: it must never be visible."""
        deadline = time.monotonic() + seconds
        while updater.wait(0) is None and time.monotonic() < deadline:
            window = probe("find", FRAME)
            self.assertFalse(window.get("found") and window.get("visible"), "window was shown")
            time.sleep(0.2)
        self.assert_ends(updater, 1)


class ManifestHostDown(ScenarioCase):
    def test_interactive_run_explains_in_a_message_box_and_ends(self):
        updater = self.scenario.run("-keldra")
        box = probe("msgbox", 30000)
        self.assertTrue(box["found"], "no message box")
        self.assertEqual(box["caption"], "Helvor升级提示 v" + harness.build().version)
        self.assertTrue(box["text"].startswith("网络连接异常\r请检查是否有杀毒或者卫士程序拦截\n\n操作系统："),
                        box["text"])
        self.assertTrue(box["text"].endswith("\n\nError：0"), box["text"])
        self.assertIn(" (Build ", box["text"])  # the system's description between them
        self.assert_ends(updater)

    def test_silent_run_tells_the_caller_and_shows_nothing(self):
        caller = self.scenario.window(CALLER)
        updater = self.scenario.run("-keldra", "-silent", "-notice")
        self.assert_never_shown(updater)
        self.assertFalse(probe("msgbox", 500)["found"])
        records = caller.records()
        self.assertEqual(len(records), 1, records)
        self.assertEqual((records[0]["command"], records[0]["status"], records[0]["percent"]),
                         (1, 3, 100))
        self.assertEqual(records[0]["product"], "keldra")
        self.assertEqual(records[0]["cbData"], 660)


class NothingToDo(ScenarioCase):
    def test_silent_run_reads_both_manifests_and_ends_unseen(self):
        self.up_to_date_suite()
        old_version = os.path.join(self.scenario.suite, "OldVersion")
        os.makedirs(old_version)
        updater = self.scenario.run("-keldra", "-silent")
        self.assert_never_shown(updater)
        # Nothing to install: the upgrade folder and the previous updater's backup are gone.
        self.assertFalse(os.path.exists(os.path.join(self.scenario.suite, "upgrade")))
        self.assertFalse(os.path.exists(old_version))
        self.assertEqual(self.scenario.program_starts("keldra.exe"), [], "keldra was started")
        paths = self.scenario.requested_paths()
        self.assertEqual(paths[:2], ["/keldra/tallix.xml", "/keldra/upgrade.xml"])
        for request in self.scenario.requests()[:2]:
            self.assertRegex(request["path"], r"\?a=-?\d+$")

    def test_interactive_run_shows_the_window_beside_the_taskbar_then_closes(self):
        self.up_to_date_suite()
        updater = self.scenario.run("-keldra")
        window = probe("wait", FRAME, 20000, "visible")
        self.assertTrue(window["found"] and window["visible"], window)
        left, top, right, bottom = window["rect"]
        self.assertEqual((right - left, bottom - top), (380, 175))
        # Wine's taskbar is hidden and empty: the window sits in the bottom-right corner.
        self.assertEqual((right, bottom), (1280, 1024))
        shown_at = time.monotonic()
        self.assert_ends(updater, 20)
        self.assertGreater(time.monotonic() - shown_at, 3.5, "closed before its five seconds")

    def test_keldra6_sends_a_zero_count_and_shows_nothing(self):
        self.up_to_date_suite()
        main6 = self.scenario.window("_Keldra6", visible=True)
        updater = self.scenario.run("-keldra6")
        self.assert_never_shown(updater)
        counts = [r.get("count") for r in main6.records()]
        self.assertEqual(counts, [0])


class ProductNotInstalled(ScenarioCase):
    def setUp(self):
        super().setUp()
        s = self.scenario
        # No main program: the version-6 manifest is asked for, and it names nothing to update.
        s.serve("/keldra/tallix.xml", SETTINGS)
        s.serve("/keldra/upgrade6s.xml",
                upgrade_manifest('<tallix><n>升级程序</n><v>%s</v><f>/keldra/tallix.exe</f></tallix>\n'
                                 % harness.build().version))
        s.start_servers()

    def test_offer_stays_until_the_caller_closes_it_and_a_second_instance_runs_beside_it(self):
        updater = self.scenario.run("-pinnace")
        self.assertTrue(probe("wait", FRAME, 20000, "visible")["visible"])
        self.assertIn("/keldra/upgrade6s.xml", self.scenario.requested_paths())
        before = len(self.scenario.requests())
        second = self.scenario.run("-pinnace", "-silent")
        self.assertTrue(wait_until(lambda: len(self.scenario.requests()) >= before + 2, 20),
                        "the second instance did not check")
        second.kill()
        self.assertIsNone(updater.wait(6), "the offer closed by itself")
        self.assertTrue(probe("notice", FRAME, 4)["sent"])
        self.assert_ends(updater, 15)

    def test_click_on_the_close_box_ends_the_session(self):
        updater = self.scenario.run("-pinnace")
        window = probe("wait", FRAME, 20000, "visible")
        self.assertTrue(window["visible"])
        left, top = window["rect"][0], window["rect"][1]
        probe("click", left + 355, top + 17)
        self.assert_ends(updater, 15)
        self.assertFalse(probe("find", FRAME)["found"])


class EnforcedItems(ScenarioCase):
    def setUp(self):
        super().setUp()
        self.scenario.add_program("wardel-1.0.0.0", "wardel.exe")
        # The enforced run keeps downloading its package (the server holds the answer back), so
        # that it is still running while these scenarios look at it; otherwise it installs and
        # ends within seconds.
        self.scenario.serve("/keldra/wardel.exe", b"MZ" + bytes(4000))
        self.scenario.serve("/_rules.json", '{"/keldra/wardel.exe": '
                            '{"answer": "stall", "bytes": 100, "seconds": 120}}', encoding="utf-8")
        self.up_to_date_suite(entry("wardel", "1.0.0.1", enforce=True))

    def second_updaters(self):
        return [line for _, line in self.scenario.suite_processes()]

    def test_interactive_run_hands_them_to_a_hidden_second_updater_with_its_switches(self):
        self.scenario.window(CALLER)
        updater = self.scenario.run("-keldra", "-notice")
        # No "-from" was given: the default caller class is passed on.
        expected = "-keldra -silent -enforce -notice -from:_Keldra"
        self.assertTrue(wait_until(
            lambda: any(expected in c for c in self.second_updaters()), 20),
            self.second_updaters())
        # Nothing ordinary is left: this window says all is up to date and closes itself.
        self.assert_ends(updater, 20)
        # The second updater runs on, hidden, with the enforced item.
        window = probe("find", FRAME)
        self.assertTrue(window["found"])
        self.assertFalse(window["visible"])

    def test_second_instance_beside_an_enforced_run_ends_at_once(self):
        enforced = self.scenario.run("-keldra", "-silent", "-enforce")
        # Its check is done once both manifests were asked for and its window exists.
        self.assertTrue(wait_until(lambda: len(self.scenario.requests()) >= 2 and
                                   probe("find", FRAME)["found"], 20))
        time.sleep(0.5)
        manifests = lambda: [p for p in self.scenario.requested_paths() if p.endswith(".xml")]
        before = len(manifests())
        second = self.scenario.run("-keldra", "-silent")
        self.assert_ends(second, 20)
        self.assertEqual(len(manifests()), before, "the second instance checked")
        self.assertIsNone(enforced.wait(0))


class CalendarWriteTest(ScenarioCase):
    """Started by the calendar product, the updater must be able to write to the calendar's
    plug-in directory; as an administrator (everyone is, under Wine) it simply ends otherwise."""

    CALENDAR_KEY = r"HKCU\Software\Orvane\Dayloom"

    def windows_path(self, path):
        return "Z:" + path.replace("/", "\\") + "\\"

    def test_only_a_writable_plugin_directory_lets_the_check_run(self):
        self.up_to_date_suite()
        plugins = os.path.join(self.scenario.dir, "plugins")
        for folder, checked in ((os.path.join(self.scenario.dir, "no-such-plugins"), False),
                                (plugins, True)):
            if checked:
                os.makedirs(plugins)
            self.scenario.set_registry(self.CALENDAR_KEY, "PluginsPath", self.windows_path(folder))
            updater = self.scenario.run("-dayloom", "-silent", "-from:_Keldra_LunarCalendar")
            self.assert_never_shown(updater)
            if checked:
                self.assertIn("/keldra/upgrade.xml", self.scenario.requested_paths())
            else:
                self.assertEqual(self.scenario.requests(), [])
        self.assertEqual(os.listdir(plugins), [], "the test file was left behind")


def ole_date_hours_ago(hours):
    """The local time `hours` ago as an OLE date (days since 1899-12-30)."""
    t = time.localtime(time.time() - hours * 3600)
    days = datetime.date(t.tm_year, t.tm_mon, t.tm_mday) - datetime.date(1899, 12, 30)
    return days.days + (t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec) / 86400.0


class GuardRateLimit(ScenarioCase):
    def test_second_guard_check_within_the_hour_ends_at_once(self):
        self.up_to_date_suite()
        # The last check two hours ago, so that the first run goes on whatever the hour is.
        stored = struct.pack("<dI", ole_date_hours_ago(2), 0).hex()
        self.scenario.set_registry(UPDATER_KEY, "uptime", stored, "REG_BINARY")
        caller = self.scenario.window(CALLER)
        first = self.scenario.run("-keldra", "-wardel_x64", "-notice")
        self.assert_ends(first)
        self.assertEqual([r["status"] for r in caller.records()], [2])
        code, out = harness.wine("reg", "query", UPDATER_KEY, "/v", "uptime")
        self.assertIn("REG_BINARY", out)
        self.assertNotIn(stored.upper(), out.replace(" ", "").upper(), "uptime not rewritten")

        second = self.scenario.run("-keldra", "-wardel_x64", "-notice")
        self.assert_ends(second)
        self.assertEqual([r["status"] for r in caller.records()], [2], "the second run went on")

        third = self.scenario.run("-keldra", "-wardel_x64", "-notice", "-enforce")
        self.assert_ends(third)
        self.assertEqual(len(caller.records()), 2, "a run with enforce is not limited")


class Summary(unittest.TextTestResult):
    pass


if __name__ == "__main__":
    runner = unittest.TextTestRunner(verbosity=2, resultclass=Summary)
    result = runner.run(unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__]))
    failed = len(result.failures) + len(result.errors)
    print("e2e: %d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
