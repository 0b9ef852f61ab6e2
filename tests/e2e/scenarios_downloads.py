#!/usr/bin/env python3
"""End-to-end scenarios of the downloads: the real updater under Wine fetches packages from the
loopback download server into the upgrade folders, with the requests, retries and checks a
person (or the publisher's server log) would notice. Installing the packages is not part of
these runs: each ends with the packages in place."""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Scenario, entry, probe, wait_until  # noqa: E402
from harness import upgrade_manifest as manifest  # noqa: E402

FRAME = "_tallix_orvane"
CALLER = "_Keldra"
UPDATER_KEY = r"HKCU\Software\Orvane\Tallix"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def settings(extra=""):
    return ('<?xml version="1.0" encoding="utf-8"?>\n<TallixSet><upkeldra6>0</upkeldra6>%s'
            '</TallixSet>\n' % extra)






def own_entry(version=None):
    return entry("tallix", version or harness.build().version)


def stub_bytes(folder, name):
    with open(os.path.join(harness.build().stubs, folder, name), "rb") as f:
        return f.read()


def wine_drive_c(*parts):
    return os.path.join(harness.build().dir, "wineprefix", "drive_c", *parts)




class DownloadCase(unittest.TestCase):
    def setUp(self):
        self.scenario = Scenario(self.id().split(".")[-1])
        harness.reg("delete", UPDATER_KEY, "/v", "uptime", "/f")
        self.extra_servers = []
        self.manifest_port, self.download_port, _ = harness.build().ports

    def tearDown(self):
        self.scenario.close()
        for state in self.extra_servers:
            subprocess.run(["python3", harness.build().server, "stop", "--state-dir", state],
                           timeout=30, capture_output=True)

    # --- servers ---

    def serve_version6(self, entry_text, target):
        """The version-6 manifest with the updater's own entry and `entry_text`; the file the
        run is to bring to `target` is not there yet."""
        if os.path.exists(target):
            os.remove(target)
        self.scenario.serve("/keldra/tallix.xml", settings())
        self.scenario.serve("/keldra/upgrade6s.xml", manifest(
            "<tallix><n>t</n><v>%s</v><f>/keldra/tallix.exe</f></tallix>\n" % harness.build().version,
            entry_text))

    def serve_package(self, url_path, data):
        self.scenario.serve(url_path, data)

    def rules(self, text):
        """The server's per-path answers (plain UTF-8: its JSON reader takes no byte order
        mark)."""
        self.scenario.serve("/_rules.json", text, encoding="utf-8")

    def start_server(self, name, ports, address="127.0.0.1"):
        """A server of this scenario's root on chosen ports and address; returns its state
        folder (its request log is requests.jsonl there)."""
        state = os.path.join(self.scenario.dir, name)
        args = ["python3", harness.build().server, "start", "--state-dir", state, "--root",
                self.scenario.root, "--address", address]
        for port in ports:
            args += ["--port", str(port)]
        subprocess.run(args, check=True, timeout=30, capture_output=True)
        self.extra_servers.append(state)
        return state

    def downloads(self, path, requests=None):
        """The requests for a package path, in order."""
        requests = self.scenario.requests() if requests is None else requests
        return [r for r in requests if r["path"].split("?")[0] == path]

    def attempts(self, path, requests=None):
        """The distinct attempts at a package (each carries its own skq number)."""
        numbers = []
        for r in self.downloads(path, requests):
            number = re.search(r"\?skq=(-?\d+)$", r["path"]).group(1)
            if number not in numbers:
                numbers.append(number)
        return numbers

    # --- the updater ---

    def upgrade_file(self, name):
        return os.path.join(self.scenario.suite, "upgrade", name)

    def wait_for_file(self, path, data, seconds=40):
        def arrived():
            try:
                with open(path, "rb") as f:
                    return f.read() == data
            except OSError:
                return False
        self.assertTrue(wait_until(arrived, seconds), "%s did not arrive whole" % path)

    def click_main_button(self):
        window = probe("wait", FRAME, 20000, "visible")
        self.assertTrue(window["found"] and window["visible"], window)
        left, top = window["rect"][0], window["rect"][1]
        probe("click", left + 190, top + 77)


class ClickedUpdate(DownloadCase):
    """A product of the suite that is not the main program: the click downloads its update."""

    def test_package_arrives_in_the_upgrade_folder_with_the_specified_request(self):
        s = self.scenario
        s.add_program("keldra-5.9.2.1", "keldra.exe")
        s.add_program("fennick-1.0.0.0", "fennick.exe")
        package = stub_bytes("keldra-6.0.0.1", "keldra.exe")  # product version 6.0.0.1
        s.serve("/keldra/tallix.xml", settings())
        s.serve("/keldra/upgrade.xml", manifest(own_entry(), entry("keldra", "5.9.2.1"),
                                                entry("fennick", "6.0.0.1")))
        self.serve_package("/keldra/fennick.exe", package)
        s.start_servers()
        updater = s.run("-fennick")
        self.click_main_button()
        self.wait_for_file(self.upgrade_file("fennick.exe"), package)
        self.assertFalse(os.path.exists(self.upgrade_file("fennick.exe.tmp")))
        requests = self.downloads("/keldra/fennick.exe")
        self.assertEqual(len(requests), 1, requests)
        request = requests[0]
        self.assertRegex(request["path"], r"^/keldra/fennick\.exe\?skq=-?\d+$")
        self.assertEqual(request["port"], self.download_port)
        headers = request["headers"]
        self.assertEqual(headers.get("Range"), "bytes=0-")
        self.assertEqual(headers.get("Accept"), "*/*")
        self.assertEqual(headers.get("Referer"),
                         "http://localhost:%d/keldra" % self.download_port)
        self.assertNotIn("Cookie", headers)
        self.assertTrue(headers.get("User-Agent"))
        # Installing is not built yet: the window stays with the package in place.
        self.assertIsNone(updater.wait(1))

    def test_placement_kind_one_goes_to_the_per_user_folder(self):
        s = self.scenario
        s.add_program("keldra-6.0.0.1", "keldra.exe")  # the version-6 line reads upgrade6s.xml
        s.add_program("fennick-1.0.0.0", "fennick.exe")
        package = stub_bytes("keldra-6.0.0.1", "keldra.exe")
        user_folder = wine_drive_c("users", "root", "AppData", "Roaming", "keldra", "upgrade")
        target = os.path.join(user_folder, "fennick.exe")
        self.serve_version6(
            "<fennick><n>Fennick</n><v>6.0.0.1</v><f>/keldra/fennick.exe</f><p>1</p></fennick>\n",
            target)
        self.serve_package("/keldra/fennick.exe", package)
        s.start_servers()
        s.run("-fennick")
        self.click_main_button()
        try:
            self.wait_for_file(target, package)
            self.assertFalse(os.path.exists(self.upgrade_file("fennick.exe")))
        finally:
            if os.path.exists(target):
                os.remove(target)


class Retries(DownloadCase):
    def notice_run(self, *entries, settings_extra="", start=True):
        """A suite one release behind, run with a caller window so that the download starts at
        once and the caller hears how it went."""
        s = self.scenario
        s.add_program("keldra-5.9.2.1", "keldra.exe")
        s.serve("/keldra/tallix.xml", settings(settings_extra))
        s.serve("/keldra/upgrade.xml", manifest(own_entry(), *entries))
        if start:
            s.start_servers()
        caller = s.window(CALLER)
        return caller

    def statuses(self, caller):
        return [r["status"] for r in caller.records()]

    def test_download_host_down_then_the_download_ip_on_a_second_address(self):
        package = stub_bytes("keldra-6.0.0.1", "keldra.exe")
        self.serve_package("/keldra/keldra.exe", package)
        caller = self.notice_run(entry("keldra", "6.0.0.1"),
                                 settings_extra="<downip>127.0.0.2</downip>", start=False)
        # Manifests from 127.0.0.1; the download port answers on 127.0.0.2 only.
        manifests = self.start_server("manifests", [self.manifest_port])
        second = self.start_server("second", [self.download_port], address="127.0.0.2")
        self.scenario.run("-keldra", "-notice")
        # The caller's run installs its product: the package ends up over the installed file.
        self.wait_for_file(os.path.join(self.scenario.suite, "keldra.exe"), package)
        requests = harness_requests(second)
        self.assertEqual(len(self.downloads("/keldra/keldra.exe", requests)), 1)
        self.assertEqual(requests[0]["headers"]["Host"], "127.0.0.2:%d" % self.download_port)
        self.assertNotIn(3, self.statuses(caller))
        self.assertEqual(self.downloads("/keldra/keldra.exe", harness_requests(manifests)), [])

    def test_redirect_to_a_hijack_marker_is_retried_then_given_up(self):
        s = self.scenario
        s.serve("/EvilMirror/keldra.exe", b"<html>not the package</html>")
        self.rules('{"/keldra/keldra.exe": {"answer": "redirect", "status": 302, '
                   '"location": "http://127.0.0.1:%d/EvilMirror/keldra.exe"}}' % self.download_port)
        caller = self.notice_run(entry("keldra", "6.0.0.1"),
                                 settings_extra="<hijactname>|evilmirror|</hijactname>")
        s.run("-keldra", "-notice")
        self.assertTrue(wait_until(lambda: 3 in self.statuses(caller), 60), self.statuses(caller))
        # Three attempts, then the item failed; nothing is left for the installers.
        self.assertEqual(len(self.attempts("/keldra/keldra.exe")), 3)
        self.assertEqual(len(self.downloads("/EvilMirror/keldra.exe")), 3)
        self.assertFalse(os.path.exists(self.upgrade_file("keldra.exe")))

    def signed_by_another_company(self, stub_folder):
        signing = os.path.join(self.scenario.dir, "signing")
        subprocess.run(["bash", os.path.join(REPO, "scripts", "make-signature-fixtures.sh"),
                        signing, os.path.join(harness.build().stubs, stub_folder, "keldra.exe")],
                       check=True, capture_output=True)
        with open(os.path.join(signing, "other.exe"), "rb") as f:
            return f.read()

    def test_redirected_package_of_another_signer_is_fetched_again_through_the_ip(self):
        package = self.signed_by_another_company("keldra-5.9.2.1")
        s = self.scenario
        s.serve("/mirror/keldra.exe", package)
        self.rules('{"/keldra/keldra.exe": {"answer": "redirect", "status": 302, '
                   '"location": "/mirror/keldra.exe"}}')
        self.notice_run(entry("keldra", "6.0.0.1"))
        s.run("-keldra", "-notice")
        self.assertTrue(wait_until(lambda: len(self.downloads("/mirror/keldra.exe")) >= 2, 40))
        hosts = [r["headers"]["Host"] for r in self.downloads("/keldra/keldra.exe")]
        self.assertEqual(len(self.attempts("/keldra/keldra.exe")), 2)
        self.assertEqual(hosts[0], "localhost:%d" % self.download_port)
        self.assertEqual(hosts[-1], "127.0.0.1:%d" % self.download_port)
        # The second attempt is kept as it is (the installers check the signer again).
        self.wait_for_file(self.upgrade_file("keldra.exe"), package)
        time.sleep(1)
        self.assertEqual(len(self.attempts("/keldra/keldra.exe")), 2)

    def test_redirected_package_of_another_signer_with_the_right_version_stays(self):
        # After the anomaly is recorded, the new attempt's pre-check finds the item's version
        # already at the destination and takes the file as in place.
        package = self.signed_by_another_company("keldra-6.0.0.1")
        s = self.scenario
        s.serve("/mirror/keldra.exe", package)
        self.rules('{"/keldra/keldra.exe": {"answer": "redirect", "status": 302, '
                   '"location": "/mirror/keldra.exe"}}')
        self.notice_run(entry("keldra", "6.0.0.1"))
        s.run("-keldra", "-notice")
        self.wait_for_file(self.upgrade_file("keldra.exe"), package)
        time.sleep(2)
        self.assertEqual(len(self.attempts("/keldra/keldra.exe")), 1)

    def test_older_package_is_fetched_again_through_the_ip(self):
        old = stub_bytes("keldra-5.9.2.1", "keldra.exe")
        self.serve_package("/keldra/keldra.exe", old)
        caller = self.notice_run(entry("keldra", "6.0.0.1"))
        self.scenario.run("-keldra", "-notice")
        self.wait_for_file(self.upgrade_file("keldra.exe"), old)
        self.assertTrue(wait_until(lambda: len(self.attempts("/keldra/keldra.exe")) == 2, 20))
        hosts = [r["headers"]["Host"] for r in self.downloads("/keldra/keldra.exe")]
        self.assertEqual(hosts, ["localhost:%d" % self.download_port,
                                 "127.0.0.1:%d" % self.download_port])
        self.assertNotIn(3, self.statuses(caller))

    def test_stalled_download_is_given_up_after_the_wait_limit_and_retried(self):
        self.serve_package("/keldra/keldra.exe", stub_bytes("keldra-6.0.0.1", "keldra.exe"))
        # One whole block of 8 KiB arrives (a progress step), then nothing.
        self.rules('{"/keldra/keldra.exe": {"answer": "stall", "bytes": 10000, "seconds": 60}}')
        caller = self.notice_run(entry("keldra", "6.0.0.1"))
        started = time.monotonic()
        self.scenario.run("-keldra", "-notice")
        self.assertTrue(wait_until(lambda: 3 in self.statuses(caller), 60), self.statuses(caller))
        # Two waits of the test tree's limit (8 s), the second through the download IP.
        self.assertGreater(time.monotonic() - started, 15)
        self.assertEqual(len(self.attempts("/keldra/keldra.exe")), 2)
        self.assertIn(1, self.statuses(caller))
        self.assertFalse(os.path.exists(self.upgrade_file("keldra.exe")))


def harness_requests(state):
    import json
    with open(os.path.join(state, "requests.jsonl"), encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


class OtherJobs(DownloadCase):
    def test_suite_package_is_stored_in_the_temporary_folder(self):
        s = self.scenario
        package = stub_bytes("keldra-6.0.0.1", "keldra.exe")
        target = wine_drive_c("users", "root", "Temp", "keldrasetup_u59.exe")
        self.serve_version6(
            "<keldrasetup><n>Keldra</n><v>6.0.0.1</v><f>/keldra/keldrasetup.exe</f></keldrasetup>\n",
            target)
        self.serve_package("/keldra/keldrasetup.exe", package)
        s.start_servers()
        s.run("-x", "-tc_59", "-installpackage")
        try:
            self.wait_for_file(target, package)
        finally:
            if os.path.exists(target):
                os.remove(target)

    def test_self_update_fetches_the_updater(self):
        s = self.scenario
        s.add_program("keldra-5.9.2.1", "keldra.exe")
        newer = stub_bytes("tallix-3.2.0.17", "tallix.exe")
        s.serve("/keldra/tallix.xml", settings())
        s.serve("/keldra/upgrade.xml", manifest(own_entry("99.0.0.0"),
                                                entry("keldra", "5.9.2.1")))
        self.serve_package("/keldra/tallix.exe", newer)
        s.start_servers()
        s.run("-keldra", "-silent")
        self.wait_for_file(self.upgrade_file("tallix.exe"), newer)
        # The stand-in is older than offered: fetched a second time through the download IP.
        self.assertTrue(wait_until(lambda: len(self.attempts("/keldra/tallix.exe")) == 2, 20))

    def test_enforced_run_with_its_package_in_place_fetches_nothing(self):
        s = self.scenario
        s.add_program("keldra-5.9.2.1", "keldra.exe")
        s.add_program("wardel-1.0.0.0", "wardel.exe")
        os.makedirs(os.path.join(s.suite, "upgrade"))
        in_place = os.path.join(harness.build().stubs, "keldra-6.0.0.1", "keldra.exe")
        # The enforced guard package is already downloaded at the offered version.
        shutil.copy(in_place, self.upgrade_file("wardel.exe"))
        s.serve("/keldra/tallix.xml", settings())
        s.serve("/keldra/upgrade.xml", manifest(own_entry(), entry("keldra", "5.9.2.1"),
                                                entry("wardel", "6.0.0.1", enforce=True)))
        self.serve_package("/keldra/wardel.exe", b"must not be fetched")
        s.start_servers()
        s.run("-keldra", "-silent", "-enforce")
        self.assertTrue(wait_until(lambda: len(s.requests()) >= 2, 20))
        time.sleep(3)
        self.assertEqual(self.downloads("/keldra/wardel.exe"), [])
        # The package in place is the one installed.
        with open(os.path.join(s.suite, "wardel.exe"), "rb") as f, open(in_place, "rb") as g:
            self.assertEqual(f.read(), g.read())


if __name__ == "__main__":
    runner = unittest.TextTestRunner(verbosity=2)
    result = runner.run(unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__]))
    failed = len(result.failures) + len(result.errors)
    print("e2e: %d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
