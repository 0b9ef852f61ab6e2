#!/usr/bin/env python3
"""End-to-end scenarios against a real web server: Debian's nginx serves the manifests and the
packages as a publisher's server would (206 answers to "Range: bytes=0-", its own redirect and 404
pages with bodies, static manifests with Last-Modified and ETag), run as a plain process on the
test ports (tests/servers/nginx_server.py). The loopback server stays for the faults that nginx
cannot make."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import CALLER, entry, probe, stub  # noqa: E402
from scenarios_install import InstallCase  # noqa: E402

PACKAGE = "/keldra/pinnace.exe"
NEW = "running-pinnace-2.1.0.1"


class NginxCase(InstallCase):
    def start_web_servers(self, ports=None):
        return self.s.start_nginx(ports)

    def answers(self, path):
        """(status, request Range, answer's Content-Range) of each request of `path`."""
        return [(r["status"], r["headers"]["Range"], r["sent"]["Content-Range"])
                for r in self.s.requests() if r["path"].split("?")[0] == path]

    def locations(self, text):
        """Location blocks that nginx adds to its server when it starts."""
        self.s.serve("/_nginx_scenario.conf", text, encoding="utf-8")


class NginxSessions(NginxCase):
    def test_clicked_update_is_answered_206_and_installed(self):
        self.update_pinnace()
        self.assert_installed_and_started("pinnace", NEW, 2, "/fromtallix")
        size = os.path.getsize(stub(NEW, "pinnace.exe"))
        self.assertEqual(self.answers(PACKAGE),
                         [(206, "bytes=0-", "bytes 0-%d/%d" % (size - 1, size))])
        self.assertTrue(probe("wait", "_Pinnace", 20000)["found"])

    def test_package_behind_a_redirect_to_a_mirror_is_installed(self):
        port = harness.build().ports[1]
        self.s.serve("/mirror/pinnace.exe", harness.read(stub(NEW, "pinnace.exe")))
        self.locations("location = %s { return 302 http://localhost:%d/mirror/pinnace.exe; }\n"
                       % (PACKAGE, port))
        self.update_pinnace()
        self.assert_installed_and_started("pinnace", NEW, 2, "/fromtallix")
        # The downloader asks once without following the redirect (to log it) and once
        # following it. The unsigned package from elsewhere is suspicious, but the new attempt's
        # check finds the offered version already in place and keeps it.
        redirects = [r for r in self.s.requests() if r["path"].startswith(PACKAGE)]
        self.assertEqual([r["status"] for r in redirects], [302, 302])
        for r in redirects:
            self.assertEqual(r["sent"]["Location"], "http://localhost:%d/mirror/pinnace.exe" % port)
            self.assertGreater(r["bytes"], 0, "nginx's redirect page has a body")
        self.assertEqual([a[0] for a in self.answers("/mirror/pinnace.exe")], [206])

    def test_missing_package_leaves_the_program_as_it_was(self):
        caller = self.s.window(CALLER)
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0")
        self.serve(entry("pinnace", "2.1.0.1", classname="_Pinnace"))  # no package on the server
        self.assert_ends(self.s.run("-pinnace", "-notice", timeout=120), 60)
        records = caller.records()
        self.assertTrue(records, "no record reached the caller")
        self.assertIn(records[-1]["status"], (2, 3), records)
        self.assertEqual(records[-1]["percent"], 100, records)
        answers = self.answers(PACKAGE)
        self.assertTrue(answers and all(a[0] == 404 for a in answers), answers)
        # nginx's page is not the package: the installed program stays and was not restarted.
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.0"))
        self.assertEqual(len(self.starts("pinnace")), 1, "the program was restarted")
        self.assertTrue(probe("wait", "_Pinnace", 0)["found"], "the program was closed")

    def test_static_manifest_changed_between_two_runs_is_read_anew(self):
        caller = self.s.window(CALLER)
        self.install("keldra", "5.9.2.1", running=False)
        self.install("pinnace", "2.1.0.0", running=False)
        self.serve(entry("pinnace", "2.1.0.0"), packages=[("pinnace", NEW)])
        self.assert_ends(self.s.run("-pinnace", "-silent", "-notice"), 30)
        self.assertEqual([r["status"] for r in caller.records()], [2])
        # The publisher replaces the file: a new modification time, length and entity tag.
        self.serve_manifests(entry("pinnace", "2.1.0.1"), own=harness.own_entry())
        later = time.time() + 5
        os.utime(os.path.join(self.s.root, "keldra", "upgrade.xml"), (later, later))
        self.assert_ends(self.s.run("-pinnace", "-silent", "-notice", timeout=120), 60)
        self.assertTrue(self.installed_is("pinnace", NEW), "the second run missed the update")
        manifests = [r for r in self.s.requests() if r["path"].startswith("/keldra/upgrade.xml")]
        self.assertEqual([r["status"] for r in manifests], [200, 200])
        first, second = (r["sent"] for r in manifests)
        self.assertTrue(first["ETag"] and first["Last-Modified"], first)
        self.assertNotEqual(first["ETag"], second["ETag"])
        self.assertNotEqual(first["Last-Modified"], second["Last-Modified"])


if __name__ == "__main__":
    harness.main()
