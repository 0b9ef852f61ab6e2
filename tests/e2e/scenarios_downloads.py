#!/usr/bin/env python3
"""End-to-end scenarios of the downloads: the real updater under Wine fetches packages from the
loopback download server, with the requests, retries and checks a person (or the publisher's
server log) would notice."""
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import CALLER, entry, own_entry, read, settings, stub, wait_until, wine_drive_c  # noqa


class DownloadCase(harness.Case):
    def setUp(self):
        super().setUp()
        self.manifest_port, self.download_port, _ = harness.build().ports

    def downloads(self, path, requests=None):
        """The requests for a package path, in order."""
        requests = self.s.requests() if requests is None else requests
        return [r for r in requests if r["path"].split("?")[0] == path]

    def attempts(self, path):
        """The distinct attempts at a package (each carries its own skq number)."""
        return list(dict.fromkeys(re.search(r"\?skq=(-?\d+)$", r["path"]).group(1)
                                  for r in self.downloads(path)))

    def hosts(self, path, requests=None):
        return [r["headers"]["Host"] for r in self.downloads(path, requests)]

    def attempt_hosts(self, path):
        """The host that each attempt at a package went to (the first request of its skq)."""
        first = {}
        for r in self.downloads(path):
            first.setdefault(re.search(r"\?skq=(-?\d+)$", r["path"]).group(1), r["headers"]["Host"])
        return list(first.values())

    def upgrade_file(self, name):
        return os.path.join(self.s.suite, "upgrade", name)


class ClickedUpdate(DownloadCase):
    """A product of the suite that is not the main program: the click downloads its update."""

    def test_package_arrives_in_the_upgrade_folder_with_the_expected_request(self):
        self.s.add_program("fennick-1.0.0.0", "fennick.exe")
        package = read(stub("keldra-6.0.0.1", "keldra.exe"))  # product version 6.0.0.1
        self.s.serve("/keldra/fennick.exe", package)
        self.suite(entry("fennick", "6.0.0.1"))
        self.s.run("-fennick")
        self.click_main_button()
        self.wait_for_file(self.upgrade_file("fennick.exe"), package)
        self.assertFalse(os.path.exists(self.upgrade_file("fennick.exe.tmp")))
        requests = self.downloads("/keldra/fennick.exe")
        self.assertEqual(len(requests), 1, requests)
        self.assertRegex(requests[0]["path"], r"^/keldra/fennick\.exe\?skq=-?\d+$")
        self.assertEqual(requests[0]["port"], self.download_port)
        headers = requests[0]["headers"]
        self.assertEqual(headers.get("Range"), "bytes=0-")
        self.assertEqual(headers.get("Accept"), "*/*")
        self.assertEqual(headers.get("Referer"), "http://localhost:%d/keldra" % self.download_port)
        self.assertNotIn("Cookie", headers)
        self.assertTrue(headers.get("User-Agent"))

    def test_placement_kind_one_goes_to_the_per_user_folder(self):
        self.s.add_program("keldra-6.0.0.1", "keldra.exe")  # the version-6 line reads upgrade6s.xml
        self.s.add_program("fennick-1.0.0.0", "fennick.exe")
        package = read(stub("keldra-6.0.0.1", "keldra.exe"))
        target = wine_drive_c("users", "root", "AppData", "Roaming", "keldra", "upgrade",
                              "fennick.exe")
        if os.path.exists(target):
            os.remove(target)
        self.addCleanup(lambda: os.path.exists(target) and os.remove(target))
        self.serve_version6_manifests(
            "<fennick><n>Fennick</n><v>6.0.0.1</v><f>/keldra/fennick.exe</f><p>1</p></fennick>\n")
        self.s.serve("/keldra/fennick.exe", package)
        self.s.start_servers()
        self.s.run("-fennick")
        self.click_main_button()
        self.wait_for_file(target, package)
        self.assertFalse(os.path.exists(self.upgrade_file("fennick.exe")))


class Retries(DownloadCase):
    def notice_run(self, rules=None, settings_extra="", ports=None):
        """A suite one release behind, with a caller window so that the download starts at once
        and the caller hears how it went; returns the caller's statuses."""
        if rules:
            self.s.rules(rules)
        self.suite(offered="6.0.0.1", settings_text=settings(settings_extra), ports=ports)
        caller = self.s.window(CALLER)
        return lambda: [r["status"] for r in caller.records()]

    def test_download_host_down_then_the_download_ip_on_a_second_address(self):
        package = read(stub("keldra-6.0.0.1", "keldra.exe"))
        self.s.serve("/keldra/keldra.exe", package)
        # Manifests from 127.0.0.1; the download port answers on 127.0.0.2 only.
        statuses = self.notice_run(settings_extra="<downip>127.0.0.2</downip>",
                                   ports=[self.manifest_port])
        second = self.s.start_servers([self.download_port], "127.0.0.2", self.s.dir + "/second")
        self.s.run("-keldra", "-notice")
        # The caller's run installs its product: the package ends up over the installed file.
        self.wait_for_file(os.path.join(self.s.suite, "keldra.exe"), package)
        requests = self.s.requests(second)
        self.assertEqual(len(self.downloads("/keldra/keldra.exe", requests)), 1)
        self.assertEqual(requests[0]["headers"]["Host"], "127.0.0.2:%d" % self.download_port)
        self.assertNotIn(3, statuses())
        self.assertEqual(self.downloads("/keldra/keldra.exe"), [])

    def hijack(self, name):
        """The package URL of `name` answers with a redirect to a location that carries a hijack
        marker; returns the settings text that names the marker."""
        self.s.serve("/EvilMirror/" + name, b"<html>not the package</html>")
        self.s.rules({"/keldra/" + name: {
            "answer": "redirect", "status": 302,
            "location": "http://127.0.0.1:%d/EvilMirror/%s" % (self.download_port, name)}})
        return "<hijactname>|evilmirror|</hijactname>"

    def test_redirect_to_a_hijack_marker_is_retried_then_given_up(self):
        statuses = self.notice_run(settings_extra=self.hijack("keldra.exe"))
        self.s.run("-keldra", "-notice")
        self.assertTrue(wait_until(lambda: 3 in statuses(), 60), statuses())
        # Three attempts, the second through the download IP, then the item failed; nothing is
        # left for the installers.
        by_name, by_ip = "localhost:%d" % self.download_port, "127.0.0.1:%d" % self.download_port
        self.assertEqual(self.attempt_hosts("/keldra/keldra.exe"), [by_name, by_ip, by_name])
        self.assertEqual(len(self.downloads("/EvilMirror/keldra.exe")), 3)
        self.assertFalse(os.path.exists(self.upgrade_file("keldra.exe")))

    def test_hijacked_updater_arrives_clean_through_the_download_ip(self):
        newer = read(stub("tallix-3.2.0.17", "tallix.exe"))
        clean = os.path.join(self.s.dir, "clean")
        os.makedirs(os.path.join(clean, "keldra"))
        with open(os.path.join(clean, "keldra", "tallix.exe"), "wb") as f:
            f.write(newer)
        # The download IP is a second address whose server answers with the package itself.
        self.suite(own=own_entry("99.0.0.0"), settings_text=settings(
            self.hijack("tallix.exe") + "<downip>127.0.0.2</downip>"))
        second = self.s.start_servers([self.download_port], "127.0.0.2", self.s.dir + "/second",
                                      root=clean)
        updater = self.s.run("-keldra", "-silent")
        self.wait_for_file(self.upgrade_file("tallix.exe"), newer)
        self.assert_ends(updater, 30)
        # The clean answer is kept: no further attempt goes back to the hijacked host.
        self.assertEqual(self.attempt_hosts("/keldra/tallix.exe"),
                         ["localhost:%d" % self.download_port])
        self.assertEqual(self.hosts("/keldra/tallix.exe", self.s.requests(second)),
                         ["127.0.0.2:%d" % self.download_port])
        self.assertEqual(read(self.upgrade_file("tallix.exe")), newer)

    def redirected_to_another_signer(self, folder):
        """keldra.exe of `folder` signed by another company, served as a redirect target."""
        package = read(harness.signed_by_another_company(folder, "keldra.exe",
                                                         os.path.join(self.s.dir, "signing")))
        self.s.serve("/mirror/keldra.exe", package)
        self.notice_run({"/keldra/keldra.exe": {"answer": "redirect", "status": 302,
                                                "location": "/mirror/keldra.exe"}})
        self.s.run("-keldra", "-notice")
        self.wait_for_file(self.upgrade_file("keldra.exe"), package)

    def test_redirected_package_of_another_signer_is_fetched_again_through_the_ip(self):
        self.redirected_to_another_signer("keldra-5.9.2.1")
        self.assertTrue(wait_until(lambda: len(self.downloads("/mirror/keldra.exe")) >= 2, 40))
        # The second attempt is kept as it is (the installers check the signer again).
        time.sleep(1)
        self.assertEqual(self.attempt_hosts("/keldra/keldra.exe"),
                         ["localhost:%d" % self.download_port, "127.0.0.1:%d" % self.download_port])

    def test_redirected_package_of_another_signer_with_the_right_version_stays(self):
        # After the anomaly is recorded, the new attempt's pre-check finds the item's version
        # already at the destination and takes the file as in place.
        self.redirected_to_another_signer("keldra-6.0.0.1")
        time.sleep(2)
        self.assertEqual(len(self.attempts("/keldra/keldra.exe")), 1)

    def test_older_package_is_fetched_again_through_the_ip(self):
        old = read(stub("keldra-5.9.2.1", "keldra.exe"))
        self.s.serve("/keldra/keldra.exe", old)
        statuses = self.notice_run()
        self.s.run("-keldra", "-notice")
        self.wait_for_file(self.upgrade_file("keldra.exe"), old)
        self.assertTrue(wait_until(lambda: len(self.attempts("/keldra/keldra.exe")) == 2, 20))
        self.assertEqual(self.hosts("/keldra/keldra.exe"), ["localhost:%d" % self.download_port,
                                                            "127.0.0.1:%d" % self.download_port])
        self.assertNotIn(3, statuses())

    def test_stalled_download_is_given_up_after_the_wait_limit_and_retried(self):
        self.s.serve("/keldra/keldra.exe", read(stub("keldra-6.0.0.1", "keldra.exe")))
        # One whole block of 8 KiB arrives (a progress step), then nothing.
        statuses = self.notice_run(
            {"/keldra/keldra.exe": {"answer": "stall", "bytes": 10000, "seconds": 60}})
        started = time.monotonic()
        self.s.run("-keldra", "-notice")
        self.assertTrue(wait_until(lambda: 3 in statuses(), 60), statuses())
        # Two waits of the test tree's limit (8 s), the second through the download IP.
        self.assertGreater(time.monotonic() - started, 15)
        self.assertEqual(len(self.attempts("/keldra/keldra.exe")), 2)
        self.assertIn(1, statuses())
        self.assertFalse(os.path.exists(self.upgrade_file("keldra.exe")))


class OtherJobs(DownloadCase):
    def test_self_update_fetches_the_updater(self):
        newer = read(stub("tallix-3.2.0.17", "tallix.exe"))
        self.s.serve("/keldra/tallix.exe", newer)
        self.suite(own=own_entry("99.0.0.0"))
        self.s.run("-keldra", "-silent")
        self.wait_for_file(self.upgrade_file("tallix.exe"), newer)
        # The stand-in is older than offered: fetched a second time through the download IP.
        self.assertTrue(wait_until(lambda: len(self.attempts("/keldra/tallix.exe")) == 2, 20))

    def test_enforced_run_with_its_package_in_place_fetches_nothing(self):
        self.s.add_program("wardel-1.0.0.0", "wardel.exe")
        os.makedirs(os.path.join(self.s.suite, "upgrade"))
        in_place = stub("keldra-6.0.0.1", "keldra.exe")
        # The enforced guard package is already downloaded at the offered version.
        shutil.copy(in_place, self.upgrade_file("wardel.exe"))
        self.s.serve("/keldra/wardel.exe", b"must not be fetched")
        self.suite(entry("wardel", "6.0.0.1", enforce=True))
        self.s.run("-keldra", "-silent", "-enforce")
        self.assertTrue(wait_until(lambda: len(self.s.requests()) >= 2, 20))
        time.sleep(3)
        self.assertEqual(self.downloads("/keldra/wardel.exe"), [])
        # The package in place is the one installed.
        self.assertTrue(self.same_file(os.path.join(self.s.suite, "wardel.exe"), in_place))


if __name__ == "__main__":
    harness.main()
