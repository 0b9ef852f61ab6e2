#!/usr/bin/env python3
"""End-to-end scenarios of installing: the real updater under Wine replaces running programs of
the suite (stand-ins that own a window of their class, note every start and quit on WM_CLOSE, or
refuse to), the guard component, a suite package and the updater itself."""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import CALLER, FRAME, entry, probe, stub, wait_until  # noqa: E402

CLASSES = {"keldra": "_KeldraMain", "pinnace": "_Pinnace"}
NEXT_EXE = os.environ.get("TALLIX_NEXT_EXE")


class InstallCase(harness.Case):
    def install(self, name, version, running=True, side_files=()):
        """Puts a suite program of `version` into the suite folder, with side files that tell
        the stand-in how to behave (".stubborn", ".guard", ".lock"), and, when `running`, starts
        it and waits until it is up."""
        path = os.path.join(self.s.suite, name + ".exe")
        shutil.copy(stub("running-%s-%s" % (name, version) if version else "running-" + name,
                         name + ".exe"), path)
        side_files = dict(side_files)
        if name in CLASSES:
            side_files[".class"] = CLASSES[name]
        for suffix, text in side_files.items():
            with open(path + suffix, "w") as f:
                f.write(text + "\n")
        if running:
            self.s.processes.append(harness.start_group([harness.build().wine_run,
                                                         harness.build().dir, path]))
            if name in CLASSES:
                self.assertTrue(probe("wait", CLASSES[name], 20000)["found"], name + " not up")
            else:
                self.assertTrue(wait_until(lambda: len(self.starts(name)) == 1, 20))
                time.sleep(1)
        return path

    def serve(self, *entries, own_version=None, packages=()):
        """The manifests offering `entries`, and the packages (name, stub folder or path)."""
        for name, source in packages:
            path = source if os.path.isabs(source) else stub(source, name + ".exe")
            self.s.serve("/keldra/%s.exe" % name, harness.read(path))
        self.serve_manifests(*entries, own=harness.own_entry(own_version))
        self.start_web_servers()

    def installed_is(self, name, folder):
        return self.same_file(os.path.join(self.s.suite, name + ".exe"), stub(folder, name + ".exe"))

    def assert_installed_and_started(self, name, folder, count, ending):
        """The program is the stub of `folder`, started `count` times, the last time with a
        command line that ends in `ending`."""
        self.assertTrue(self.installed_is(name, folder))
        starts = self.starts(name, count)
        self.assertEqual(len(starts), count, starts)
        self.assertTrue(starts[-1].endswith(ending), starts)

    def starts(self, name, count=None):
        """The program's starts, after waiting for `count` of them (a relaunch may log late)."""
        if count is not None:
            wait_until(lambda: len(self.s.program_starts(name + ".exe")) >= count, 20)
        return self.s.program_starts(name + ".exe")

    def update_pinnace(self, *switches, package="running-pinnace-2.1.0.1", extra="",
                       side_files=(), running=True, locked=False, offer=()):
        """pinnace 2.1.0.0 installed (running, or held open by another program when `locked`),
        2.1.0.1 offered; the updater run to its end (clicking the offer unless "-execute" or
        "-silent" is given)."""
        self.install("keldra", "5.9.2.1", running=False)
        target = self.install("pinnace", "2.1.0.0", running, side_files)
        if locked:
            self.install("locker", None, side_files={".lock": harness.windows_path(target)})
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace", extra=extra), *offer,
                   packages=[("pinnace", package)])
        updater = self.s.run("-pinnace", *switches, timeout=120)
        if not switches:
            self.click_main_button()
        self.assert_ends(updater, 60, code=None)


class OrdinaryUpdate(InstallCase):
    def test_click_installs_the_new_version_and_starts_the_program_again(self):
        self.update_pinnace()
        self.assert_installed_and_started("pinnace", "running-pinnace-2.1.0.1", 2, "/fromtallix")
        self.assertFalse(os.path.exists(os.path.join(self.s.suite, "upgrade", "pinnace.exe")))
        # Started again, the new version runs with its window.
        self.assertTrue(probe("wait", "_Pinnace", 20000)["found"])

    def test_unattended_program_is_started_again_through_the_explorer(self):
        # From Vista on (Wine reports Windows 7) it starts as the signed-in user, through
        # "explorer.exe <program>", without the updater's switch.
        self.update_pinnace(extra="<u>true</u>")
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        starts = self.starts("pinnace", 2)
        self.assertEqual(len(starts), 2, starts)
        self.assertNotIn("/fromtallix", starts[1])
        self.assertTrue(starts[1].lower().rstrip('"').endswith("pinnace.exe"), starts)

    def test_program_that_refuses_to_quit_is_ended_by_name(self):
        self.update_pinnace("-execute", side_files={".stubborn": ""})
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        old = [line for _, line in self.s.suite_processes() if "pinnace.exe" in line.lower()]
        self.assertEqual(old, [], "the program that refused to quit still runs")

    def test_locked_installed_file_is_moved_aside_and_replaced(self):
        self.update_pinnace("-execute", running=False, locked=True)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        displaced = [n for n in os.listdir(self.s.suite)
                     if n.startswith("pinnace.exe.") and n.endswith(".tmp")]
        self.assertEqual(len(displaced), 1, os.listdir(self.s.suite))
        self.assertTrue(self.same_file(os.path.join(self.s.suite, displaced[0]),
                                       stub("running-pinnace-2.1.0.0", "pinnace.exe")))

    def test_package_of_the_wrong_version_leaves_the_installed_file(self):
        self.update_pinnace("-execute", package="running-pinnace-2.1.0.5", running=False)
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.0"))

    def test_package_of_another_signer_leaves_the_installed_file(self):
        self.update_pinnace("-execute", running=False, package=harness.signed_by_another_company(
            "running-pinnace-2.1.0.1", "pinnace.exe", os.path.join(self.s.dir, "signed")))
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.0"))
        # The rejected package stays where it was downloaded, not over the installed file.
        self.assertTrue(os.path.exists(os.path.join(self.s.suite, "upgrade", "pinnace.exe")))


class CallerRuns(InstallCase):
    def test_silent_caller_run_installs_its_product_and_relaunches_nothing(self):
        caller = self.s.window(CALLER)
        self.update_pinnace("-silent", "-notice",
                            offer=[entry("keldra", "5.9.2.2", classname="_KeldraMain")])
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        self.assertTrue(self.installed_is("keldra", "running-keldra-5.9.2.1"))
        time.sleep(2)
        self.assertEqual(len(self.starts("pinnace")), 1, "pinnace was started again")
        statuses = [r["status"] for r in caller.records()]
        self.assertEqual(statuses[-1], 2, statuses)
        self.assertTrue(caller.records()[-1]["text"].lower().endswith("upgrade\\pinnace.exe"))

    def test_enforced_run_applies_and_relaunches_the_main_program_hidden(self):
        self.install("keldra", "5.9.2.1")
        self.serve(entry("keldra", "5.9.2.2", enforce=True, classname="_KeldraMain"),
                   packages=[("keldra", "running-keldra-5.9.2.2")])
        self.assert_ends(self.s.run("-keldra", "-silent", "-enforce", timeout=120), 60, None)
        self.assert_installed_and_started("keldra", "running-keldra-5.9.2.2", 2,
                                          "/fromtallix /hide")


class Guard(InstallCase):
    def test_guard_is_stopped_by_its_event_replaced_and_started_again(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("wardel", "1.0.0.0", side_files={".guard": ""})
        self.serve(entry("keldra", "5.9.2.1"), entry("wardel", "1.0.0.1"),
                   packages=[("wardel", "running-wardel-1.0.0.1")])
        updater = self.s.run("-wardel", timeout=120)
        self.click_main_button()
        self.assert_ends(updater, 60, None)
        self.assert_installed_and_started("wardel", "running-wardel-1.0.0.1", 2, "/fromtallix")

    def test_guard_upgrade_run_copies_newer_files_and_starts_the_guard(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("wardel", "1.0.0.0", running=False)
        upgrade = os.path.join(self.s.suite, "upgrade")
        os.makedirs(upgrade)
        for name in ("wardel.exe", "wardel_x64.exe", "wardel_x64.dll", "wardel.dll"):
            shutil.copy(stub("running-wardel-1.0.0.1", "wardel.exe"), os.path.join(upgrade, name))
        self.serve(entry("keldra", "5.9.2.1"))
        self.assert_ends(self.s.run("-keldra", "-wardel_upgrade", timeout=120), 60, None)
        self.assertTrue(os.path.exists(os.path.join(self.s.suite, "wardel_x64.dll")))
        self.assert_installed_and_started("wardel", "running-wardel-1.0.0.1", 1, "/fromup")


class SuitePackage(InstallCase):
    def test_package_run_starts_the_downloaded_setup(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.serve(entry("keldrasetup", "1.0.0.0"),
                   packages=[("keldrasetup", "running-keldrasetup-1.0.0.0")])
        log = harness.wine_drive_c("users", "root", "Temp", "keldrasetup_u59.exe.log")
        for leftover in (log, log[:-4]):
            if os.path.exists(leftover):
                os.remove(leftover)
        self.assert_ends(self.s.run("-x", "-tc_59", "-installpackage", timeout=120), 60, None)
        self.assertTrue(wait_until(lambda: os.path.exists(log), 20), "the setup was not started")


class SelfUpdate(InstallCase):
    def test_newer_updater_takes_over_and_runs_with_the_original_command_line(self):
        build = harness.build()
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0", running=False)
        self.serve(entry("pinnace", "2.1.0.1"), own_version=os.environ["TALLIX_NEXT_VERSION"],
                   packages=[("tallix", NEXT_EXE)])
        updater = self.s.run("-pinnace", timeout=120)
        installed = os.path.join(self.s.suite, "tallix.exe")
        backup = os.path.join(self.s.suite, "OldVersion", "tallix%s.exe" % build.version)
        self.assertTrue(wait_until(lambda: self.same_file(installed, NEXT_EXE), 60, step=0.05),
                        "the new build was not installed")
        # The installed copy runs an ordinary check with the command line it was first given.
        self.shown_window()
        lines = [line for _, line in self.s.suite_processes() if "tallix.exe" in line.lower()]
        self.assertTrue(any(line.rstrip().endswith("tallix.exe -pinnace") for line in lines), lines)
        # The old updater has closed, and the backup of it is still kept while the new build's
        # first session runs.
        self.assert_ends(updater, 30, None)
        self.assertTrue(self.same_file(backup, build.tallix), "no backup of the old updater")
        self.assertTrue(probe("notice", FRAME, 4)["sent"])

    def test_equal_or_older_candidate_is_not_started(self):
        self.install("keldra", "5.9.2.1", running=False)
        log = os.path.join(self.s.suite, "upgrade", "tallix.exe.log")
        self.serve(own_version=os.environ["TALLIX_NEXT_VERSION"])
        for folder in ("tallix-3.2.0.17", "tallix-3.2.0.16"):
            with self.subTest(candidate=folder):
                if os.path.exists(log):
                    os.remove(log)
                self.s.serve("/keldra/tallix.exe", harness.read(stub(folder, "tallix.exe")))
                self.assert_ends(self.s.run("-keldra", "-silent", timeout=120), 60, None)
                self.assertTrue(self.same_file(os.path.join(self.s.suite, "tallix.exe"),
                                               harness.build().tallix))
                self.assertFalse(os.path.exists(log), "the candidate was started")
                self.assertFalse(os.path.exists(os.path.join(self.s.suite, "OldVersion")))


if __name__ == "__main__":
    harness.main()
