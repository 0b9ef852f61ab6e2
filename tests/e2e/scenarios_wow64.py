#!/usr/bin/env python3
"""End-to-end scenarios of the 32-bit updater on a 64-bit system (WOW64), as nearly every user runs
it: the main program and the older line found through the keys that the suite's 32-bit installer
writes (below "Wow6432Node"), the history page written with file-system redirection switched off
while the session goes on, the system described as 64-bit, and 32-bit programs of the suite
closed, ended by their image name and started again. They run in the 32-bit build's tree, whose
prefix is a 64-bit system; a tree whose updater is a 64-bit program skips them."""
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import probe, stub, wait_until  # noqa: E402
from scenarios_install import InstallCase  # noqa: E402

MAIN_KEY = r"HKLM\Software\Orvane\Keldra"
OLDER_LINE_KEY = r"HKLM\Software\orvane\Helvor3"
HISTORY = ('<?xml version="1.0" encoding="utf-8"?>\n<UpdateList>\n'
           '<pinnace><h>|托盘一|托盘二|</h></pinnace>\n</UpdateList>\n')


def requires_wow64(case):
    reason = "the updater of this tree is a 64-bit program: WOW64 does not apply"
    return unittest.skipUnless(harness.is_32bit_program(harness.build().tallix), reason)(case)


@requires_wow64
class Wow64Session(InstallCase):
    def written_below_wow6432node(self, key):
        """The value the 32-bit installer wrote, read in the 64-bit view where it lies."""
        physical = key.replace("\\Software\\", "\\Software\\Wow6432Node\\", 1)
        _, out = harness.wine("reg", "query", physical, "/reg:64")
        return out

    def assert_found_as_installed(self, updater):
        """A run for a product of the suite with nothing to update: with the main program found
        the window says all is up to date and closes by itself (without it, it would wait and
        offer to install the suite)."""
        self.shown_window(20)
        self.assert_ends(updater, 20)

    def run_without_main_program_beside(self):
        # No keldra.exe in the updater's folder: the version-6 manifest names nothing to update.
        self.serve_version6_manifests()
        self.start_web_servers()
        return self.s.run("-pinnace")

    def test_main_program_is_found_through_the_key_of_the_32bit_installer(self):
        folder = os.path.join(self.s.dir, "keldra")
        os.makedirs(folder)
        shutil.copy(stub("keldra-5.9.2.1", "keldra.exe"), folder)
        self.s.set_registry(MAIN_KEY, "Install_Dir", harness.windows_path(folder), view=32)
        self.s.set_registry(MAIN_KEY, "ExeName", "keldra.exe", view=32)
        self.assertIn("ExeName", self.written_below_wow6432node(MAIN_KEY))
        self.assert_found_as_installed(self.run_without_main_program_beside())

    def test_older_line_is_found_through_its_key_of_the_32bit_installer(self):
        folder = os.path.join(self.s.dir, "helvor")
        os.makedirs(folder)
        shutil.copy(stub("keldra-5.9.2.1", "keldra.exe"), os.path.join(folder, "Helvor3.exe"))
        self.s.set_registry(OLDER_LINE_KEY, "Install_Dir", harness.windows_path(folder) + "\\",
                            view=32)
        self.assertIn("Install_Dir", self.written_below_wow6432node(OLDER_LINE_KEY))
        self.assert_found_as_installed(self.run_without_main_program_beside())

    def test_history_page_is_written_with_redirection_off_and_the_session_goes_on(self):
        # The page is written to the temporary folder with redirection switched off and back on;
        # the same thread then installs, which loads the system's 32-bit libraries again.
        page = harness.wine_drive_c("users", "root", "Temp", "history.html")
        if os.path.exists(page):
            os.remove(page)
        self.s.serve("/keldra/history.xml", HISTORY)
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0")
        self.serve(harness.entry("pinnace", "2.1.0.1", name="Pinnace", classname="_Pinnace"),
                   packages=[("pinnace", "running-pinnace-2.1.0.1")])
        updater = self.s.run("-pinnace", timeout=120)
        self.shown_window(20)
        built = lambda: os.path.exists(page) and harness.read(page).startswith(b"\xff\xfe")
        self.assertTrue(wait_until(built, 20), "no history page in the temporary folder")
        self.assertIn("托盘一", harness.read(page)[2:].decode("utf-16-le"))
        self.click_main_button()
        self.assert_ends(updater, 60, code=None)
        self.assert_installed_and_started("pinnace", "running-pinnace-2.1.0.1", 2, "/fromtallix")

    def test_32bit_programs_are_closed_ended_by_name_and_started_again(self):
        for program in (harness.build().tallix, stub("running-pinnace-2.1.0.0", "pinnace.exe")):
            self.assertTrue(harness.is_32bit_program(program), program)
        # One copy quits on WM_CLOSE; a second, stubborn one of the same image name is ended.
        stubborn = os.path.join(self.s.dir, "elsewhere", "pinnace.exe")
        os.makedirs(os.path.dirname(stubborn))
        shutil.copy(stub("running-pinnace-2.1.0.0", "pinnace.exe"), stubborn)
        for suffix, text in ((".stubborn", ""), (".class", "_PinnaceSecond")):
            with open(stubborn + suffix, "w") as f:
                f.write(text + "\n")
        self.s.processes.append(harness.start_group([harness.build().wine_run,
                                                     harness.build().dir, stubborn]))
        self.assertTrue(probe("wait", "_PinnaceSecond", 20000)["found"])
        self.update_pinnace()
        self.assert_installed_and_started("pinnace", "running-pinnace-2.1.0.1", 2, "/fromtallix")
        self.assertTrue(wait_until(lambda: not harness.processes_of(stubborn), 10),
                        "the other pinnace.exe was not ended by its image name")
        self.assertTrue(probe("wait", "_Pinnace", 20000)["found"])

    def test_error_box_describes_a_64bit_system(self):
        updater = self.s.run("-keldra")  # no manifest host: the box explains
        box = probe("msgbox", 30000)
        self.assertTrue(box["found"], "no message box")
        self.assertRegex(box["text"], r"\n\n操作系统：Windows 7 .*\(Build 7601\), 64-bit\n\nError：0$")
        self.assert_ends(updater)


if __name__ == "__main__":
    harness.main()
