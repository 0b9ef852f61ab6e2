#!/usr/bin/env python3
"""End-to-end fault scenarios: the real updater under Wine with one step of a session broken on
purpose. Each scenario checks afterwards what a person relies on: the installed programs and the
updater are whole and start, nothing half-written stands where a program belongs, nothing was
written beside the suite, the caller got its final record and the updater ended in time.

Faults that fail in the same kind of session share it: one enforced run downloads a list of
packages, each broken in its own way."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import CALLER, entry, read, stub, upgrade_manifest, wait_until  # noqa: E402

GOOD = stub("keldra-6.0.0.1", "keldra.exe")  # product version 6.0.0.1
OFFERED = "6.0.0.1"
SCENARIO_PARTS = {"suite", "root", "state", "logs"}
# Package names that would write outside the download folder: directly, or once a conversion to
# the code page "best fits" a fullwidth reverse solidus or solidus into a separator.
HOSTILE_NAMES = ["..\\..\\evil.exe", "C:evil.exe", "CON", "nul.exe", "COM1.exe",
                 "x" * 300 + ".exe", "..\uff3c..\uff3cevil.exe", "..\uff0f..\uff0fevil.exe"]


class FaultCase(harness.Case):
    def setUp(self):
        super().setUp()
        self.download_port = harness.build().ports[1]
        self.s.add_program("keldra-5.9.2.1", "keldra.exe")
        self.beside = self.outside()

    def outside(self):
        """What lies beside the suite folder, and above it."""
        work = os.path.dirname(self.s.dir)
        return (sorted(set(os.listdir(self.s.dir)) - SCENARIO_PARTS),
                sorted(n for n in os.listdir(work) if not os.path.isdir(os.path.join(work, n))))

    def enforced_run(self, *entries, caller=True):
        """Serves the manifests with the enforced entries and starts an enforced run that
        reports to a caller's window; returns (updater, caller)."""
        window = self.s.window(CALLER) if caller else None
        self.serve_manifests(entry("keldra", "5.9.2.1"), *entries)
        self.s.start_servers()
        switches = ["-keldra", "-silent", "-enforce"] + (["-notice"] if caller else [])
        return self.s.run(*switches, timeout=180), window

    def assert_kept(self, updater, programs, caller=None, seconds=90):
        """The invariants after a fault: `programs` maps each program file of the suite to the
        build that must stand there; no other program is there."""
        if updater is not None:
            self.assert_ends(updater, seconds, code=None)
        programs = dict(programs, **{"tallix.exe": harness.build().tallix,
                                     "keldra.exe": stub("keldra-5.9.2.1", "keldra.exe")})
        present = sorted(n for n in os.listdir(self.s.suite)
                         if n.lower().endswith((".exe", ".tmp")))
        self.assertEqual(present, sorted(programs))
        for name, build in programs.items():
            self.assertTrue(self.same_file(os.path.join(self.s.suite, name), build), name)
            if name != "tallix.exe":  # the updater itself would start a session
                code, _ = harness.wine(os.path.join(self.s.suite, name), timeout=30)
                self.assertEqual(code, 0, name)
        self.assertEqual(self.outside(), self.beside, "written beside the suite")
        if caller is not None:
            records = caller.records()
            self.assertTrue(records, "no record reached the caller")
            self.assertIn(records[-1]["status"], (2, 3), records)
            self.assertEqual(records[-1]["percent"], 100, records)


class BrokenDownloads(FaultCase):
    def test_each_broken_package_is_refused_and_the_whole_one_installed(self):
        good = read(GOOD)
        port = self.download_port
        faults = {
            "drop": {"answer": "close"},                   # connection dropped, no answer
            "cut": {"answer": "cut", "bytes": 5000},       # Content-Length above the body
            "page": {"answer": "html404"},                 # a 404 page for the package
            "hollow": {"answer": "empty"},                 # 200 without a body
            # A redirect to a small file without a version resource.
            "junk": {"answer": "redirect", "location":
                     "http://localhost:%d/keldra/junkbody.exe" % port},
            # A program of another signer behind a redirect: chosen for the usage report.
            "moved": {"answer": "redirect", "location":
                      "http://localhost:%d/keldra/movedbody.exe" % port},
        }
        rules = {"/keldra/%s.exe" % name: rule for name, rule in faults.items()}
        for name in ("cut", "good"):
            self.s.serve("/keldra/%s.exe" % name, good)
        self.s.serve("/keldra/movedbody.exe", read(harness.signed_by_another_company(
            "keldra-6.0.0.1", "keldra.exe", os.path.join(self.s.dir, "signing"))))
        self.s.serve("/keldra/junkbody.exe", b"MZ\0\x90 not a program")
        self.s.serve("/keldra/evil.exe", good)
        self.s.rules(rules)
        # A file of the hostile name beside the suite folder: the download's destination.
        sentinel = os.path.join(self.s.dir, "evil.exe")
        with open(sentinel, "wb") as f:
            f.write(b"a file of the user")
        above = os.path.join(os.path.dirname(self.s.dir), "evil.exe")
        if os.path.exists(above):
            os.remove(above)
        self.beside = self.outside()
        entries = [entry(name, OFFERED, enforce=True) for name in faults]
        entries += [entry("h%d" % i, OFFERED, enforce=True, install="/keldra/" + name)
                    for i, name in enumerate(HOSTILE_NAMES)]
        entries.append(entry("good", OFFERED, enforce=True))
        updater, caller = self.enforced_run(*entries)
        self.assert_kept(updater, {"good.exe": GOOD}, caller, seconds=150)
        self.assertEqual(read(sentinel), b"a file of the user")
        # The anomaly report goes out whole: the junk's text up to its zero byte, then the rest.
        reports = [r["path"] for r in self.s.requests()
                   if r["path"].startswith("/receive/tallix.aspx?")]
        self.assertEqual(len(reports), 1, reports)
        self.assertIn(";filecontent:MZ||;", reports[0])
        self.assertRegex(reports[0], r"&r=\d+$")
        # The hostile names were never asked for.
        paths = self.s.requested_paths()
        self.assertFalse([p for p in paths if "evil" in p or "CON" in p or "nul" in p
                          or "COM1" in p or "xxx" in p], paths)


    def test_redirect_to_itself_is_given_up(self):
        # Wine's WinINet follows such a redirect without end: the download is abandoned after
        # the wait limit, twice, and the next item comes whole.
        self.s.serve("/keldra/good.exe", read(GOOD))
        self.s.rules({"/keldra/loop.exe": {"answer": "redirect", "location":
                      "http://localhost:%d/keldra/loop.exe" % self.download_port}})
        updater, caller = self.enforced_run(entry("loop", OFFERED, enforce=True),
                                            entry("good", OFFERED, enforce=True))
        self.assert_kept(updater, {"good.exe": GOOD}, caller)


class BrokenManifests(FaultCase):
    def test_a_broken_manifest_ends_the_check_and_changes_nothing(self):
        upgrade = upgrade_manifest(harness.own_entry(), entry("keldra", "5.9.2.1"))
        nested = "<UpdateList>" + "<a>" * 20000 + "</a>" * 20000 + "</UpdateList>"
        faults = [
            ("upgrade 404 page", {"/keldra/upgrade.xml": {"answer": "html404"}}, {}),
            ("upgrade truncated", {}, {"/keldra/upgrade.xml": upgrade[:len(upgrade) // 2]}),
            ("upgrade over 1 MiB", {"/keldra/upgrade.xml": {
                "answer": "oversize", "size": 1200000, "fill": " "}}, {}),
            ("upgrade nested deeply", {}, {"/keldra/upgrade.xml": nested}),
            ("settings 404 page", {"/keldra/tallix.xml": {"answer": "html404"}}, {}),
            ("settings truncated", {}, {"/keldra/tallix.xml": harness.SETTINGS[:40]}),
        ]
        caller = self.s.window(CALLER)
        self.s.start_servers()
        for name, rules, texts in faults:
            with self.subTest(fault=name):
                self.serve_manifests(entry("keldra", "5.9.2.1"))
                for path, text in texts.items():
                    self.s.serve(path, text)
                self.s.rules(rules)
                before = len(caller.records())
                updater = self.s.run("-keldra", "-silent", "-notice", timeout=60)
                self.assert_kept(updater, {}, seconds=40)
                self.assertTrue(wait_until(lambda: len(caller.records()) > before, 5), name)
                self.assertIn(caller.records()[-1]["status"], (2, 3))


class BrokenFolders(FaultCase):
    def test_upgrade_folder_replaced_by_a_file(self):
        upgrade = os.path.join(self.s.suite, "upgrade")
        with open(upgrade, "wb") as f:
            f.write(b"not a folder")
        self.s.serve("/keldra/good.exe", read(GOOD))
        updater, caller = self.enforced_run(entry("good", OFFERED, enforce=True))
        self.assert_kept(updater, {}, caller)
        self.assertEqual(read(upgrade), b"not a folder")


class Interruptions(FaultCase):
    def test_updater_killed_during_a_download_then_run_again(self):
        good = read(GOOD)
        self.s.serve("/keldra/good.exe", good)
        self.s.rules({"/keldra/good.exe": {"answer": "stall", "bytes": 20000, "seconds": 60}})
        updater, _ = self.enforced_run(entry("good", OFFERED, enforce=True), caller=False)
        partial = os.path.join(self.s.suite, "upgrade", "good.exe.tmp")
        self.assertTrue(wait_until(lambda: os.path.exists(partial), 40))
        time.sleep(1)  # a block or two is written
        updater.kill()
        self.s.rules({})
        self.assert_kept(self.s.run("-keldra", "-silent", "-enforce", timeout=120),
                         {"good.exe": GOOD})
        self.assertFalse(os.path.exists(partial))

    def test_caller_window_gone_before_the_final_record(self):
        self.s.serve("/keldra/good.exe", read(GOOD))
        self.s.rules({"/keldra/good.exe": {"delay": 3}})
        updater, _ = self.enforced_run(entry("good", OFFERED, enforce=True))
        harness.end_group(self.s.processes[0])  # the caller's window
        self.assert_kept(updater, {"good.exe": GOOD})


class SelfUpdateFaults(FaultCase):
    def test_backup_that_cannot_be_made_leaves_the_installed_updater(self):
        build = harness.build()
        next_exe = os.environ["TALLIX_NEXT_EXE"]
        # The backup's name is taken by a folder.
        os.makedirs(os.path.join(self.s.suite, "OldVersion", "tallix%s.exe" % build.version))
        self.s.serve("/keldra/tallix.exe", read(next_exe))
        self.serve_manifests(entry("keldra", "5.9.2.1"),
                             own=harness.own_entry(os.environ["TALLIX_NEXT_VERSION"]))
        self.s.start_servers()
        self.assert_ends(self.s.run("-keldra", "-silent", timeout=120), 60, None)
        # The new copy ends without deleting the installed updater or starting anything.
        self.assertTrue(wait_until(lambda: not [
            line for _, line in self.s.suite_processes() if "tallix" in line.lower()], 40))
        self.assert_kept(None, {})


if __name__ == "__main__":
    harness.main()
