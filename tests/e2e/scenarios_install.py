#!/usr/bin/env python3
"""End-to-end scenarios of installing: the real updater under Wine replaces running programs of
the suite (stand-ins that own a window of their class, note every start and quit on WM_CLOSE, or
refuse to), the guard component, a suite package and the updater itself, as a person or the
calling program would see it."""
import filecmp
import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Scenario, entry, probe, wait_until  # noqa: E402

FRAME = "_tallix_orvane"
CALLER = "_Keldra"
UPDATER_KEY = r"HKCU\Software\Orvane\Tallix"
SETTINGS = '<?xml version="1.0" encoding="utf-8"?>\n<TallixSet><upkeldra6>0</upkeldra6></TallixSet>\n'
CLASSES = {"keldra": "_KeldraMain", "pinnace": "_Pinnace", "wardel": None}




def manifest(*entries, own_version=None):
    own = entry("tallix", own_version or harness.build().version)
    return harness.upgrade_manifest(own, *entries)


def stub(folder, name):
    return os.path.join(harness.build().stubs, folder, name)




class InstallCase(unittest.TestCase):
    def setUp(self):
        self.s = Scenario(self.id().split(".")[-1])
        harness.reg("delete", UPDATER_KEY, "/v", "uptime", "/f")

    def tearDown(self):
        self.s.close()

    # --- the machine ---

    def install(self, name, version, running=True, stubborn=False, guard=False):
        """Puts a suite program of `version` into the suite folder and, when `running`, starts
        it (its window of the product's class, or the guard's event) and waits until it is up."""
        path = os.path.join(self.s.suite, name + ".exe")
        shutil.copy(stub("running-%s-%s" % (name, version), name + ".exe"), path)
        classname = CLASSES.get(name)
        if classname:
            self.side_file(path, ".class", classname)
        if stubborn:
            self.side_file(path, ".stubborn", "")
        if guard:
            self.side_file(path, ".guard", "")
        if running:
            self.start(path)
            if classname:
                self.assertTrue(probe("wait", classname, 20000)["found"], name + " did not start")
            else:
                self.assertTrue(wait_until(lambda: len(self.s.program_starts(name + ".exe")) == 1,
                                           20))
                time.sleep(1)
        return path

    def side_file(self, program, suffix, text):
        with open(program + suffix, "w") as f:
            f.write(text + "\n")

    def start(self, path):
        proc = harness.start_group([harness.build().wine_run, harness.build().dir, path])
        self.s.processes.append(proc)
        return proc

    def serve_package(self, name, folder):
        with open(stub(folder, name + ".exe"), "rb") as f:
            self.s.serve("/keldra/%s.exe" % name, f.read())

    def serve(self, *entries, own_version=None):
        self.s.serve("/keldra/tallix.xml", SETTINGS)
        self.s.serve("/keldra/upgrade.xml", manifest(*entries, own_version=own_version))
        self.s.start_servers()

    def installed_is(self, name, folder):
        return filecmp.cmp(os.path.join(self.s.suite, name + ".exe"), stub(folder, name + ".exe"),
                           shallow=False)

    def starts(self, name, count=None):
        """The program's starts; with `count`, after waiting up to 20 s for that many (a program
        started by the updater may write its log after the updater has ended)."""
        if count is not None:
            wait_until(lambda: len(self.s.program_starts(name + ".exe")) >= count, 20)
        return self.s.program_starts(name + ".exe")

    def assert_ends(self, updater, seconds=60):
        code = updater.wait(seconds)
        self.assertIsNotNone(code, "the updater did not end within %s s" % seconds)

    def click_main_button(self):
        window = probe("wait", FRAME, 30000, "visible")
        self.assertTrue(window.get("visible"), "the offer was not shown")
        left, top = window["rect"][0], window["rect"][1]
        time.sleep(0.5)
        probe("click", left + 190, top + 77)


class OrdinaryUpdate(InstallCase):
    def test_click_installs_the_new_version_and_starts_the_program_again(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0")
        self.serve_package("pinnace", "running-pinnace-2.1.0.1")
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace"))
        updater = self.s.run("-pinnace", timeout=120)
        self.click_main_button()
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        starts = self.starts("pinnace", 2)
        self.assertEqual(len(starts), 2, starts)
        self.assertTrue(starts[1].endswith("/fromtallix"), starts)
        self.assertFalse(os.path.exists(os.path.join(self.s.suite, "upgrade", "pinnace.exe")))
        # Started again, the new version runs with its window.
        self.assertTrue(probe("wait", "_Pinnace", 20000)["found"])

    def test_unattended_program_is_started_again_through_the_explorer(self):
        # From Vista on (Wine reports Windows 7) it starts as the signed-in user, through
        # "explorer.exe <program>", without the updater's switch.
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0")
        self.serve_package("pinnace", "running-pinnace-2.1.0.1")
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace", extra="<u>true</u>"))
        updater = self.s.run("-pinnace", timeout=120)
        self.click_main_button()
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        starts = self.starts("pinnace", 2)
        self.assertEqual(len(starts), 2, starts)
        self.assertNotIn("/fromtallix", starts[1])
        self.assertTrue(starts[1].lower().rstrip('"').endswith("pinnace.exe"), starts)

    def test_program_that_refuses_to_quit_is_ended_by_name(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0", stubborn=True)
        self.serve_package("pinnace", "running-pinnace-2.1.0.1")
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace"))
        updater = self.s.run("-pinnace", "-execute", timeout=120)
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))

    def test_locked_installed_file_is_moved_aside_and_replaced(self):
        self.install("keldra", "5.9.2.1", running=False)
        target = self.install("pinnace", "2.1.0.0", running=False)
        locker = os.path.join(self.s.suite, "locker.exe")
        shutil.copy(stub("running-locker", "locker.exe"), locker)
        self.side_file(locker, ".lock", "Z:" + target.replace("/", "\\"))
        self.start(locker)
        self.assertTrue(wait_until(lambda: len(self.starts("locker")) == 1, 20))
        time.sleep(1)
        self.serve_package("pinnace", "running-pinnace-2.1.0.1")
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace"))
        updater = self.s.run("-pinnace", "-execute", timeout=120)
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        displaced = [n for n in os.listdir(self.s.suite)
                     if n.startswith("pinnace.exe.") and n.endswith(".tmp")]
        self.assertEqual(len(displaced), 1, os.listdir(self.s.suite))
        self.assertTrue(filecmp.cmp(os.path.join(self.s.suite, displaced[0]),
                                    stub("running-pinnace-2.1.0.0", "pinnace.exe"), shallow=False))


class RejectedPackages(InstallCase):
    def run_with_package(self, package_path):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0", running=False)
        with open(package_path, "rb") as f:
            self.s.serve("/keldra/pinnace.exe", f.read())
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace"))
        updater = self.s.run("-pinnace", "-execute", timeout=120)
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.0"))

    def test_wrong_version_leaves_the_installed_file(self):
        self.run_with_package(stub("running-pinnace-2.1.0.5", "pinnace.exe"))

    def test_another_companys_signer_leaves_the_installed_file(self):
        fixtures = os.path.join(self.s.dir, "signed")
        subprocess.run(["bash", os.path.join(os.environ["TALLIX_SCRIPTS"],
                                             "make-signature-fixtures.sh"),
                        fixtures, stub("running-pinnace-2.1.0.1", "pinnace.exe")],
                       check=True, capture_output=True, timeout=120)
        self.run_with_package(os.path.join(fixtures, "other.exe"))
        # The rejected package stays where it was downloaded, not over the installed file.
        self.assertTrue(os.path.exists(os.path.join(self.s.suite, "upgrade", "pinnace.exe")))


class CallerRuns(InstallCase):
    def test_silent_caller_run_installs_its_product_and_relaunches_nothing(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0")
        self.serve_package("pinnace", "running-pinnace-2.1.0.1")
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace"),
                   entry("keldra", "5.9.2.2", classname="_KeldraMain"))
        caller = self.s.window(CALLER)
        updater = self.s.run("-pinnace", "-silent", "-notice", timeout=120)
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        self.assertTrue(self.installed_is("keldra", "running-keldra-5.9.2.1"))
        time.sleep(2)
        self.assertEqual(len(self.starts("pinnace")), 1, "pinnace was started again")
        statuses = [r["status"] for r in caller.records()]
        self.assertEqual(statuses[-1], 2, statuses)
        self.assertTrue(caller.records()[-1]["text"].lower().endswith("upgrade\\pinnace.exe"))

    def test_enforced_run_applies_and_relaunches_the_main_program_hidden(self):
        self.install("keldra", "5.9.2.1")
        self.serve_package("keldra", "running-keldra-5.9.2.2")
        self.serve(entry("keldra", "5.9.2.2", enforce=True, classname="_KeldraMain"))
        updater = self.s.run("-keldra", "-silent", "-enforce", timeout=120)
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("keldra", "running-keldra-5.9.2.2"))
        starts = self.starts("keldra", 2)
        self.assertEqual(len(starts), 2, starts)
        self.assertTrue(starts[1].endswith("/fromtallix /hide"), starts)


class Guard(InstallCase):
    def test_guard_is_stopped_by_its_event_replaced_and_started_again(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("wardel", "1.0.0.0", guard=True)
        self.serve_package("wardel", "running-wardel-1.0.0.1")
        self.serve(entry("keldra", "5.9.2.1"), entry("wardel", "1.0.0.1"))
        updater = self.s.run("-wardel", timeout=120)
        self.click_main_button()
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("wardel", "running-wardel-1.0.0.1"))
        starts = self.starts("wardel", 2)
        self.assertEqual(len(starts), 2, starts)
        self.assertTrue(starts[1].endswith("/fromtallix"), starts)

    def test_guard_upgrade_run_copies_newer_files_and_starts_the_guard(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("wardel", "1.0.0.0", running=False)
        upgrade = os.path.join(self.s.suite, "upgrade")
        os.makedirs(upgrade)
        shutil.copy(stub("running-wardel-1.0.0.1", "wardel.exe"), upgrade)
        for other in ("wardel_x64.exe", "wardel_x64.dll", "wardel.dll"):
            shutil.copy(stub("running-wardel-1.0.0.1", "wardel.exe"), os.path.join(upgrade, other))
        self.serve(entry("keldra", "5.9.2.1"))
        updater = self.s.run("-keldra", "-wardel_upgrade", timeout=120)
        self.assert_ends(updater)
        self.assertTrue(self.installed_is("wardel", "running-wardel-1.0.0.1"))
        self.assertTrue(os.path.exists(os.path.join(self.s.suite, "wardel_x64.dll")))
        starts = self.starts("wardel", 1)
        self.assertEqual(len(starts), 1, starts)
        self.assertTrue(starts[0].endswith("/fromup"), starts)


class SuitePackage(InstallCase):
    def test_package_run_starts_the_downloaded_setup(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.serve_package("keldrasetup", "running-keldrasetup-1.0.0.0")
        self.serve(entry("keldrasetup", "1.0.0.0"))
        temp = os.path.join(harness.build().dir, "wineprefix", "drive_c", "users", "root", "Temp")
        log = os.path.join(temp, "keldrasetup_u59.exe.log")
        for leftover in (log, log[:-4]):
            if os.path.exists(leftover):
                os.remove(leftover)
        updater = self.s.run("-x", "-tc_59", "-installpackage", timeout=120)
        self.assert_ends(updater)
        self.assertTrue(wait_until(lambda: os.path.exists(log), 20), "the setup was not started")


class SelfUpdate(InstallCase):
    def test_newer_updater_takes_over_and_runs_with_the_original_command_line(self):
        build = harness.build()
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0", running=False)
        with open(os.environ["TALLIX_NEXT_EXE"], "rb") as f:
            self.s.serve("/keldra/tallix.exe", f.read())
        next_version = os.environ["TALLIX_NEXT_VERSION"]
        self.serve(entry("pinnace", "2.1.0.1"), own_version=next_version)
        self.s.run("-pinnace", timeout=120)
        installed = os.path.join(self.s.suite, "tallix.exe")
        backup = os.path.join(self.s.suite, "OldVersion", "tallix%s.exe" % build.version)
        # The backup is made before the old updater has ended; the old updater's close sequence
        # deletes "OldVersion", and under Wine that close comes a few seconds after the backup,
        # so the backup is watched for while the hand-over runs.
        seen = {"backup": False}

        def replaced():
            if os.path.exists(backup) and filecmp.cmp(backup, build.tallix, shallow=False):
                seen["backup"] = True
            return os.path.exists(installed) and filecmp.cmp(
                installed, os.environ["TALLIX_NEXT_EXE"], shallow=False)

        self.assertTrue(wait_until(replaced, 60, step=0.05), "the new build was not installed")
        self.assertTrue(seen["backup"], "no backup of the old updater in OldVersion")
        # The installed copy runs an ordinary check with the command line it was first given.
        window = probe("wait", FRAME, 30000, "visible")
        self.assertTrue(window.get("visible"))
        lines = [line for _, line in self.s.suite_processes() if "tallix.exe" in line.lower()]
        self.assertTrue(any(line.rstrip().endswith("tallix.exe -pinnace") for line in lines), lines)
        self.assertTrue(probe("notice", FRAME, 4)["sent"])

    def test_equal_or_older_candidate_is_not_started(self):
        self.install("keldra", "5.9.2.1", running=False)
        for folder in ("tallix-3.2.0.17", "tallix-3.2.0.16"):
            with self.subTest(candidate=folder):
                log = os.path.join(self.s.suite, "upgrade", "tallix.exe.log")
                if os.path.exists(log):
                    os.remove(log)
                with open(stub(folder, "tallix.exe"), "rb") as f:
                    self.s.serve("/keldra/tallix.exe", f.read())
                if not self.s.server_running:
                    self.serve(own_version=os.environ["TALLIX_NEXT_VERSION"])
                updater = self.s.run("-keldra", "-silent", timeout=120)
                self.assert_ends(updater)
                self.assertTrue(filecmp.cmp(os.path.join(self.s.suite, "tallix.exe"),
                                            harness.build().tallix, shallow=False))
                self.assertFalse(os.path.exists(log), "the candidate was started")
                self.assertFalse(os.path.exists(os.path.join(self.s.suite, "OldVersion")))


if __name__ == "__main__":
    runner = unittest.TextTestRunner(verbosity=2)
    names = sys.argv[1:]
    loader = unittest.defaultTestLoader
    module = sys.modules[__name__]
    suite = loader.loadTestsFromNames(names, module) if names else loader.loadTestsFromModule(module)
    result = runner.run(suite)
    failed = len(result.failures) + len(result.errors)
    print("e2e: %d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
