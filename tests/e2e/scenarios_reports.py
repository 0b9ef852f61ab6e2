#!/usr/bin/env python3
"""End-to-end scenarios of the close-time usage reports: what the statistics host receives from
the real updater under Wine, decrypted here with openssl, and the tray program's poke."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import scenarios as base  # noqa: E402
from harness import probe  # noqa: E402

FRAME = base.FRAME
TRAY = "_KeldraTray"
FENNICK_KEY = r"HKCU\Software\Orvane\Fennick3"
REPORT_PATH = "/receive/tallix.aspx"
REPORT_KEY = b"k7#Wp3$z"
RECORD_KEYS = ["n", "d", "v", "s", "dns", "o", "disk", "path", "redown", "size"]


def entry(tag, version, folder="keldra"):
    return "<%s><name>%s</name><version>%s</version><installfile>/%s/%s.exe</installfile></%s>\n" % (
        tag, tag, version, folder, tag, tag)


def decrypt_record(uid):
    """The record of a report, decrypted by openssl (single DES, ECB, no padding)."""
    out = subprocess.run(
        ["openssl", "enc", "-d", "-des-ecb", "-nopad", "-K", REPORT_KEY.hex(),
         "-provider", "legacy", "-provider", "default"],
        input=bytes.fromhex(uid), capture_output=True, check=True).stdout
    return out.rstrip(b"\0").decode("ascii")


def record_fields(record):
    """The record's keys and values, checking that they come in their fixed order."""
    parts = record.split(";")
    assert parts[-1] == "", record
    keys = [p.split(":", 1)[0] for p in parts[:-1]]
    assert keys == RECORD_KEYS, record
    return {p.split(":", 1)[0]: p.split(":", 1)[1] for p in parts[:-1]}


def windows_dir(path):
    return "Z:" + path.replace("/", "\\") + "\\"


class ReportScenario(base.ScenarioCase):
    def setUp(self):
        super().setUp()
        self.tray = self.scenario.window(TRAY)

    def suite(self, *extra_entries, statistics_host_up=True, keldra_offered="5.9.2.1"):
        """The main program 5.9.2.1 (up to date unless another version is offered), plus the given
        entries; the servers started (without the statistics host when it is to be down)."""
        s = self.scenario
        s.add_program("keldra-5.9.2.1", "keldra.exe")
        s.serve("/keldra/tallix.xml", base.SETTINGS)
        s.serve("/keldra/upgrade.xml", base.upgrade_manifest(
            entry("tallix", harness.build().version), entry("keldra", keldra_offered), *extra_entries))
        ports = harness.build().ports if statistics_host_up else harness.build().ports[:2]
        args = ["python3", harness.build().server, "start", "--state-dir", s.state, "--root",
                s.root]
        for port in ports:
            args += ["--port", str(port)]
        subprocess.run(args, check=True, timeout=30, capture_output=True)
        s.server_running = True

    def install_fennick(self):
        """fennick.exe 1.0.0.0 installed in a folder of its own."""
        folder = os.path.join(self.scenario.dir, "fennick")
        os.makedirs(folder)
        self.scenario.add_program("fennick-1.0.0.0", "fennick.exe")
        os.replace(os.path.join(self.scenario.suite, "fennick.exe"),
                   os.path.join(folder, "fennick.exe"))
        self.scenario.set_registry(FENNICK_KEY, "Install_Dir", windows_dir(folder))
        return windows_dir(folder) + "fennick.exe"

    def reports(self):
        return [r for r in self.scenario.requests() if r["path"].startswith(REPORT_PATH + "?")]

    def tray_pokes(self):
        return [(r["message"], r["wParam"], r["lParam"]) for r in self.tray.records()
                if "message" in r]

    def close_offer(self, updater):
        """Waits for the offer, then closes the window as the calling program would; returns the
        seconds from the close to the updater's end."""
        self.assertTrue(probe("wait", FRAME, 20000, "visible")["visible"], "no offer shown")
        closed_at = time.monotonic()
        self.assertTrue(probe("notice", FRAME, 4)["sent"])
        code = updater.wait(30)
        self.assertEqual(code, 0, "the updater did not end after the close")
        return time.monotonic() - closed_at

    def test_session_without_anomalies_and_with_an_up_to_date_sibling_sends_no_report(self):
        self.install_fennick()
        self.suite(entry("fennick", "1.0.0.0", folder="fennick"))
        updater = self.scenario.run("-keldra", "-silent")
        self.assertEqual(updater.wait(30), 0)
        self.assertIn("/keldra/upgrade.xml", self.scenario.requested_paths())
        self.assertEqual(self.reports(), [])
        time.sleep(0.5)
        self.assertEqual(self.tray_pokes(), [])

    def test_outdated_sibling_sends_the_sibling_report_and_pokes_the_tray(self):
        fennick_path = self.install_fennick()
        self.suite(entry("fennick", "1.0.0.1", folder="fennick"))
        self.close_offer(self.scenario.run("-keldra"))
        reports = self.reports()
        self.assertEqual(len(reports), 1, reports)
        query = reports[0]["path"].split("?", 1)[1]
        uid, rest = query.split("&", 1)
        self.assertTrue(uid.startswith("uid=") and uid[4:] == uid[4:].upper(), uid)
        self.assertRegex(rest, r"^v=%s&s=0&e=0&a=hijactcontent:;filecontent:;&r=\d+$"
                         % harness.build().version.replace(".", r"\."))
        fields = record_fields(decrypt_record(uid[4:]))
        # Not updated (nothing was installed); the version found before; no disk under Wine.
        self.assertEqual(fields, {"n": "fennick.exe", "d": "0", "v": "1.0.0.0", "s": "",
                                  "dns": "", "o": "", "disk": "", "path": fennick_path,
                                  "redown": "0", "size": "0"})
        self.assertTrue(base.wait_until(lambda: self.tray_pokes() == [(1800, 4, 0)], 5),
                        self.tray_pokes())

    def test_statistics_host_down_does_not_hold_up_the_close(self):
        self.install_fennick()
        self.suite(entry("fennick", "1.0.0.1", folder="fennick"), statistics_host_up=False)
        # The closed port refuses at once; the bound only catches a close that hangs.
        self.assertLess(self.close_offer(self.scenario.run("-keldra")), 10)
        self.assertEqual(self.reports(), [])
        # The tray is poked whether or not the request got through.
        self.assertTrue(base.wait_until(lambda: self.tray_pokes() == [(1800, 4, 0)], 5),
                        self.tray_pokes())

    def clicked_update_from_another_signer(self, product, stub_folder):
        """Offers `product` one release newer than the copy in the suite folder, serves its
        package as a redirect to a copy signed by another company, clicks the offer, waits for
        both attempts (the second through the download IP) and closes the window. Returns the
        redirect location and the package."""
        s = self.scenario
        signing = os.path.join(s.dir, "signing")
        subprocess.run(["bash", os.path.join(harness.REPO, "scripts", "make-signature-fixtures.sh"),
                        signing, os.path.join(harness.build().stubs, stub_folder,
                                              product + ".exe")],
                       check=True, capture_output=True, timeout=120)
        package = os.path.join(signing, "other.exe")
        with open(package, "rb") as f:
            s.serve("/mirror/%s.exe" % product, f.read())
        mirror = "http://localhost:%d/mirror/%s.exe" % (harness.build().ports[1], product)
        s.serve("/_rules.json", '{"/keldra/%s.exe": {"answer": "redirect", "status": 302, '
                '"location": "%s"}}' % (product, mirror), encoding="utf-8")
        s.add_program(stub_folder, product + ".exe")
        installed = stub_folder.split("-", 1)[1]
        offered = installed[:-1] + str(int(installed[-1]) + 1)
        self.suite(entry(product, offered))
        updater = s.run("-" + product)
        window = probe("wait", FRAME, 20000, "visible")
        self.assertTrue(window["visible"], "no offer shown")
        probe("click", window["rect"][0] + 190, window["rect"][1] + 77)
        self.assertTrue(base.wait_until(lambda: s.requested_paths().count(
            "/mirror/%s.exe" % product) >= 2, 60), s.requested_paths())
        self.assertTrue(base.wait_until(lambda: os.path.exists(
            os.path.join(s.suite, "upgrade", product + ".exe")), 30))
        # The package fails its check at installing: nothing is copied and the session closes.
        self.assertEqual(updater.wait(60), 0)
        return mirror, package

    def test_package_from_another_signer_sends_one_anomaly_report(self):
        """The job records the redirected package of another company's signer and retries once;
        closing sends exactly one report describing it."""
        mirror, package = self.clicked_update_from_another_signer("pinnace", "pinnace-2.1.0.0")
        reports = self.reports()
        self.assertEqual(len(reports), 1, reports)
        uid, rest = reports[0]["path"].split("?", 1)[1].split("&", 1)
        hijack = "pinnace.exe-%s-0-302|" % mirror
        self.assertEqual(rest.rsplit("&r=", 1)[0],
                         "v=%s&s=0&e=1&a=hijactcontent:%s;filecontent:|;"
                         % (harness.build().version, hijack * 2))
        fields = record_fields(decrypt_record(uid[4:]))
        self.assertRegex(fields.pop("dns"), r"^[0-9.,#]*$")
        self.assertEqual(fields, {"n": "pinnace.exe", "d": "pinnace", "v": "2.1.0.0", "s": "|",
                                  "o": "pinnace.exe", "disk": "", "path": mirror, "redown": "0",
                                  "size": str(os.path.getsize(package))})
        self.assertTrue(base.wait_until(lambda: self.tray_pokes() == [(1800, 4, 0)], 5),
                        self.tray_pokes())

    def test_both_reports_in_order_each_followed_by_a_tray_poke(self):
        """fennick's own run: its package is the anomaly, and the item still needs its update at
        the close, so the sibling report follows the anomaly report."""
        self.scenario.set_registry(FENNICK_KEY, "Install_Dir", windows_dir(self.scenario.suite))
        self.clicked_update_from_another_signer("fennick", "fennick-1.0.0.0")
        reports = [decrypt_record(r["path"].split("uid=", 1)[1].split("&", 1)[0])
                   for r in self.reports()]
        self.assertEqual([record_fields(r)["n"] for r in reports], ["fennick.exe"] * 2, reports)
        self.assertEqual(record_fields(reports[0])["d"], "fennick")  # the product name
        self.assertEqual(record_fields(reports[1])["d"], "0")  # not brought up to date
        self.assertTrue(base.wait_until(lambda: self.tray_pokes() == [(1800, 4, 0)] * 2, 5),
                        self.tray_pokes())


if __name__ == "__main__":
    runner = unittest.TextTestRunner(verbosity=2, resultclass=base.Summary)
    result = runner.run(unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__]))
    failed = len(result.failures) + len(result.errors)
    print("e2e: %d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
