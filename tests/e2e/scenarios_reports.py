#!/usr/bin/env python3
"""End-to-end scenarios of the close-time usage reports: what the statistics host receives from
the real updater under Wine, decrypted here with openssl, and the tray program's poke."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402

FENNICK_KEY = r"HKCU\Software\Orvane\Fennick3"
REPORT_PATH = "/receive/tallix.aspx?"
REPORT_KEY = b"k7#Wp3$z"
RECORD_KEYS = ["n", "d", "v", "s", "dns", "o", "disk", "path", "redown", "size"]
POKE = (1800, 4, 0)


def entry(tag, version, folder="keldra"):
    return harness.entry(tag, version, install="/%s/%s.exe" % (folder, tag))


def record_fields(uid):
    """The record of a report, decrypted by openssl (single DES, ECB, no padding), as its keys
    and values, checking that they come in their fixed order."""
    record = subprocess.run(
        ["openssl", "enc", "-d", "-des-ecb", "-nopad", "-K", REPORT_KEY.hex(),
         "-provider", "legacy", "-provider", "default"],
        input=bytes.fromhex(uid), capture_output=True, check=True).stdout
    parts = record.rstrip(b"\0").decode("ascii").split(";")
    assert parts[-1] == "" and [p.split(":", 1)[0] for p in parts[:-1]] == RECORD_KEYS, record
    return dict(p.split(":", 1) for p in parts[:-1])


class ReportScenario(harness.Case):
    def setUp(self):
        super().setUp()
        self.tray = self.s.window("_KeldraTray")


    def install_fennick(self):
        """fennick.exe 1.0.0.0 installed in a folder of its own; returns its Windows path."""
        folder = os.path.join(self.s.dir, "fennick")
        os.makedirs(folder)
        self.s.add_program("fennick-1.0.0.0", "fennick.exe")
        os.replace(os.path.join(self.s.suite, "fennick.exe"), os.path.join(folder, "fennick.exe"))
        self.s.set_registry(FENNICK_KEY, "Install_Dir", harness.windows_path(folder) + "\\")
        return harness.windows_path(folder) + "\\fennick.exe"

    def reports(self):
        """(record fields, rest of the query) of every report received."""
        queries = [r["path"].split("?", 1)[1] for r in self.s.requests()
                   if r["path"].startswith(REPORT_PATH)]
        for query in queries:
            self.assertRegex(query, r"^uid=[0-9A-F]+&")
        return [(record_fields(q[4:].split("&", 1)[0]), q.split("&", 1)[1]) for q in queries]

    def tray_pokes(self):
        return [(r["message"], r["wParam"], r["lParam"]) for r in self.tray.records()
                if "message" in r]

    def assert_tray_poked(self, times=1):
        self.assertTrue(wait_until(lambda: self.tray_pokes() == [POKE] * times, 5),
                        self.tray_pokes())

    def close_offer(self, updater):
        """Closes the offer as the calling program would; returns the seconds until the end."""
        self.shown_window(20)
        closed_at = time.monotonic()
        self.close_by_caller(updater, 30)
        return time.monotonic() - closed_at

    def test_session_without_anomalies_and_with_an_up_to_date_sibling_sends_no_report(self):
        self.install_fennick()
        self.suite(entry("fennick", "1.0.0.0", folder="fennick"))
        self.assert_ends(self.s.run("-keldra", "-silent"))
        self.assertIn("/keldra/upgrade.xml", self.s.requested_paths())
        self.assertEqual(self.reports(), [])
        time.sleep(0.5)
        self.assertEqual(self.tray_pokes(), [])

    def test_outdated_sibling_sends_the_sibling_report_and_pokes_the_tray(self):
        fennick_path = self.install_fennick()
        self.suite(entry("fennick", "1.0.0.1", folder="fennick"))
        self.close_offer(self.s.run("-keldra"))
        reports = self.reports()
        self.assertEqual(len(reports), 1, reports)
        fields, rest = reports[0]
        self.assertRegex(rest, r"^v=%s&s=0&e=0&a=hijactcontent:;filecontent:;&r=\d+$"
                         % harness.build().version.replace(".", r"\."))
        # Not updated (nothing was installed); the version found before; no disk under Wine.
        self.assertEqual(fields, {"n": "fennick.exe", "d": "0", "v": "1.0.0.0", "s": "",
                                  "dns": "", "o": "", "disk": "", "path": fennick_path,
                                  "redown": "0", "size": "0"})
        self.assert_tray_poked()

    def test_statistics_host_down_does_not_hold_up_the_close(self):
        self.install_fennick()
        self.suite(entry("fennick", "1.0.0.1", folder="fennick"), ports=harness.build().ports[:2])
        # The closed port refuses at once; the bound only catches a close that hangs.
        self.assertLess(self.close_offer(self.s.run("-keldra")), 10)
        self.assertEqual(self.reports(), [])
        # The tray is poked whether or not the request got through.
        self.assert_tray_poked()

    def clicked_update_from_another_signer(self, product, stub_folder):
        """Offers `product` one release on, its package a redirect to a copy signed by another
        company; clicks, waits for both attempts and the end. Returns redirect and package."""
        package = harness.signed_by_another_company(stub_folder, product + ".exe",
                                                    os.path.join(self.s.dir, "signing"))
        self.s.serve("/mirror/%s.exe" % product, harness.read(package))
        mirror = "http://localhost:%d/mirror/%s.exe" % (harness.build().ports[1], product)
        self.s.rules({"/keldra/%s.exe" % product: {"answer": "redirect", "status": 302,
                                                   "location": mirror}})
        self.s.add_program(stub_folder, product + ".exe")
        installed = stub_folder.split("-", 1)[1]
        self.suite(entry(product, installed[:-1] + str(int(installed[-1]) + 1)))
        updater = self.s.run("-" + product)
        self.click_main_button()
        self.assertTrue(wait_until(lambda: self.s.requested_paths().count(
            "/mirror/%s.exe" % product) >= 2, 60), self.s.requested_paths())
        self.assertTrue(wait_until(lambda: os.path.exists(
            os.path.join(self.s.suite, "upgrade", product + ".exe")), 30))
        # The package fails its check at installing: nothing is copied and the session closes.
        self.assert_ends(updater, 60)
        return mirror, package

    def test_package_from_another_signer_sends_one_anomaly_report(self):
        mirror, package = self.clicked_update_from_another_signer("pinnace", "pinnace-2.1.0.0")
        reports = self.reports()
        self.assertEqual(len(reports), 1, reports)
        fields, rest = reports[0]
        hijack = "pinnace.exe-%s-0-302|" % mirror
        self.assertEqual(rest.rsplit("&r=", 1)[0],
                         "v=%s&s=0&e=1&a=hijactcontent:%s;filecontent:|;"
                         % (harness.build().version, hijack * 2))
        self.assertRegex(fields.pop("dns"), r"^[0-9.,#]*$")
        self.assertEqual(fields, {"n": "pinnace.exe", "d": "Pinnace", "v": "2.1.0.0", "s": "|",
                                  "o": "pinnace.exe", "disk": "", "path": mirror, "redown": "0",
                                  "size": str(os.path.getsize(package))})
        self.assert_tray_poked()

    def test_both_reports_in_order_each_followed_by_a_tray_poke(self):
        """fennick's own run: its package is the anomaly, and the item still needs its update at
        the close, so the sibling report follows the anomaly report."""
        self.s.set_registry(FENNICK_KEY, "Install_Dir", harness.windows_path(self.s.suite) + "\\")
        self.clicked_update_from_another_signer("fennick", "fennick-1.0.0.0")
        fields = [f for f, _ in self.reports()]
        self.assertEqual([f["n"] for f in fields], ["fennick.exe"] * 2, fields)
        self.assertEqual(fields[0]["d"], "Fennick")  # the product name
        self.assertEqual(fields[1]["d"], "0")  # not brought up to date
        self.assert_tray_poked(2)


if __name__ == "__main__":
    harness.main()
