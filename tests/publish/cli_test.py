#!/usr/bin/env python3
"""The publisher's two programs as a publisher and a CI job run them: the conventions of their
command lines, manifests read over HTTP as machines read them (redirects, statuses, a host that
never answers), output that nobody on the internet can steer a terminal with, JSON that a strict
parser takes, and the packages and manifest commands on programs signed at test time."""
import http.server
import json
import os
import re
import socket
import subprocess
import tempfile
import threading
import unittest

PUBLISH = os.environ["TALLIX_PUBLISH"]
DECODER = os.environ["REPORT_DECODER"]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MARK = b"\xef\xbb\xbf"
SETTINGS = MARK + b"<TallixSet><downip>203.0.113.80</downip></TallixSet>"
HISTORY = MARK + b"<UpdateList><keldra><h>|a|</h></keldra></UpdateList>"


def entry(tag, version, version6=False):
    n, v, f = (b"n", b"v", b"f") if version6 else (b"name", b"version", b"installfile")
    return b"<%s><%s>%s</%s><%s>%s</%s><%s>/keldra/%s.exe</%s></%s>" % (
        tag, n, tag, n, v, version, v, f, tag, f, tag)


def upgrade(version6=False, keldra="5.9.3.0", extra=b""):
    return (MARK + b"<UpdateList>" + entry(b"tallix", b"3.2.0.17", version6) +
            entry(b"keldra", keldra.encode(), version6) + extra + b"</UpdateList>")


def run(*args, timeout=60):
    return subprocess.run(list(args), capture_output=True, timeout=timeout)


def strict_json(data):
    """Python's parser without the NaN and Infinity it takes by default."""
    def refuse(constant):
        raise ValueError(constant)
    return json.loads(data, parse_constant=refuse)


def write_release(folder, files):
    os.makedirs(os.path.join(folder, "keldra"), exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, "keldra", name), "wb") as f:
            f.write(data)
    return folder


def clean_release():
    return {"tallix.xml": SETTINGS, "upgrade.xml": upgrade(), "upgrade6s.xml": upgrade(True),
            "history.xml": HISTORY, "history6.xml": HISTORY}


class Conventions(unittest.TestCase):
    def test_help_version_and_usage_errors_of_both_tools(self):
        for tool, name in ((PUBLISH, "tallix-publish"), (DECODER, "report_decoder")):
            for args in (["--help"], ["-h"], ["help"]):
                with self.subTest(tool=name, args=args):
                    r = run(tool, *args)
                    self.assertEqual((r.returncode, r.stderr), (0, b""))
                    self.assertTrue(r.stdout.startswith(b"usage: " + name.encode()))
            r = run(tool, "--version")
            self.assertRegex(r.stdout.decode(), r"^%s \d+\.\d+\.\d+\.\d+\n$" % name)
            self.assertEqual(r.returncode, 0)
            # Every option the program knows is in its usage text.
            source = ("publish/publish_main.cpp" if tool == PUBLISH else "report_decoder.cpp")
            with open(os.path.join(ROOT, "tools", source)) as f:
                options = set(re.findall(r'"(--[a-z][a-z-]*)"', f.read()))
            self.assertGreater(len(options), 1)
            usage = run(tool, "--help").stdout.decode()
            self.assertEqual([o for o in sorted(options) if o not in usage], [])
        with tempfile.TemporaryDirectory() as d:
            release = write_release(d, clean_release())
            for args in (["lint", release, "--bogus"], ["lint", release, "--machine", "p.json"],
                         ["stats", "log", "--fail-on", "error"], ["lint", release, "--fail-on", "all"],
                         ["lint"], ["lint", release, "extra"], ["frobnicate"], [],
                         ["plan", release, "--machine", "m.json", "--threshold", "4294967297"],
                         ["keygen", os.path.join(d, "k"), "-x"], ["sign", "-x", release]):
                with self.subTest(args=args):
                    r = run(PUBLISH, *args)
                    self.assertEqual((r.returncode, r.stdout), (2, b""))
                    self.assertIn(b"tallix-publish: ", r.stderr)
            self.assertEqual(run(PUBLISH, "lint", release, "--help").returncode, 0)
            # A short help switch is help, not the name of a key pair.
            r = subprocess.run([PUBLISH, "keygen", "-h"], capture_output=True, timeout=60, cwd=d)
            self.assertEqual(r.returncode, 0)
            self.assertTrue(r.stdout.startswith(b"usage: tallix-publish keygen"))
            self.assertFalse([f for f in os.listdir(d) if f.startswith("-h")])
        for args in (["--bogus", "x"], ["a", "b"], [], ["--fail-on", "all", "x"]):
            self.assertEqual(run(DECODER, *args).returncode, 2, args)

    def test_fail_on_decides_the_exit_status(self):
        with tempfile.TemporaryDirectory() as d:
            files = clean_release()
            files["upgrade.xml"] = upgrade(extra=b"<!-- old entry -->")  # a warning only
            release = write_release(d, files)
            self.assertEqual(run(PUBLISH, "lint", release).returncode, 1)
            self.assertEqual(run(PUBLISH, "lint", release, "--fail-on", "warning").returncode, 1)
            self.assertEqual(run(PUBLISH, "lint", release, "--fail-on", "error").returncode, 0)
            files["upgrade.xml"] = upgrade(keldra="5.9.03.0")
            write_release(d, files)
            self.assertEqual(run(PUBLISH, "lint", release, "--fail-on", "error").returncode, 1)
            log = os.path.join(d, "empty.log")
            open(log, "w").close()
            self.assertEqual(run(DECODER, log).returncode, 1)
            self.assertEqual(run(DECODER, "--fail-on", "error", log).returncode, 0)
            # A report line longer than any report is named, and not held whole in memory.
            with open(log, "wb") as f:
                f.write(b"GET /receive/tallix.aspx?uid=" + b"0" * (5 << 20) + b" HTTP/1.1\n")
            r = run(DECODER, log)
            self.assertEqual(r.returncode, 1)
            self.assertIn(b"empty.log:1: a line of", r.stderr)


class Reading(unittest.TestCase):
    def test_unreadable_places_are_exit_status_2(self):
        with tempfile.TemporaryDirectory() as d:
            r = run(PUBLISH, "lint", os.path.join(d, "relase"))  # a mistyped folder
            self.assertEqual(r.returncode, 2)
            self.assertIn(b"No such file or directory", r.stderr)
            files = clean_release()
            del files["upgrade.xml"]
            release = write_release(d, files)
            os.mkdir(os.path.join(release, "keldra", "upgrade.xml"))
            r = run(PUBLISH, "lint", release)
            self.assertEqual(r.returncode, 2)
            self.assertIn(b"upgrade.xml is a folder", r.stderr)

    def test_over_http_redirects_statuses_and_hosts_that_fail(self):
        files = clean_release()
        big = MARK + b"<UpdateList>" + b" " * 0x100000 + b"</UpdateList>"
        routes = {
            "/a/keldra/tallix.xml": (302, "/moved/tallix.xml"), "/moved/tallix.xml": (200, SETTINGS),
            "/a/keldra/upgrade.xml": (200, files["upgrade.xml"]),
            "/a/keldra/history.xml": (500, b"<html>oops</html>"),
            "/a/keldra/upgrade6s.xml": (404, b"<html>not found</html>"),
            "/a/keldra/history6.xml": (301, "history6b.xml"), "/a/keldra/history6b.xml": (200, HISTORY),
            "/b/keldra/tallix.xml": (302, "/b/keldra/tallix.xml"),
            "/b/keldra/upgrade.xml": (200, big),
        }

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                status, answer = routes.get(self.path, (404, b""))
                self.send_response(status)
                if isinstance(answer, str):
                    self.send_header("Location", answer)
                    answer = b""
                self.send_header("Content-Length", str(len(answer)))
                self.end_headers()
                self.wfile.write(answer)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        origin = "http://127.0.0.1:%d" % server.server_address[1]
        try:
            r = run(PUBLISH, "lint", origin + "/a", "--json")
            self.assertEqual(r.returncode, 1, r.stderr)
            found = {(f["file"], f["code"], f["severity"]): f["message"]
                     for f in strict_json(r.stdout)["findings"]}
            self.assertEqual(sorted(found), [
                ("/keldra/history.xml", "missing-file", "warning"),
                ("/keldra/upgrade6s.xml", "missing-file", "error")])
            self.assertTrue(found[("/keldra/upgrade6s.xml", "missing-file", "error")]
                            .startswith("HTTP 404 Not Found: "))
            self.assertTrue(found[("/keldra/history.xml", "missing-file", "warning")]
                            .startswith("HTTP 500 "))
            found = {(f["file"], f["code"]): f["message"]
                     for f in strict_json(run(PUBLISH, "lint", origin + "/b", "--json").stdout)["findings"]}
            self.assertIn("more than 10 redirects", found[("/keldra/tallix.xml", "missing-file")])
            self.assertIn("1048604 bytes", found[("/keldra/upgrade.xml", "too-large")])
        finally:
            server.shutdown()
            server.server_close()
        with socket.socket() as s:  # a port where nothing listens
            s.bind(("127.0.0.1", 0))
            closed = s.getsockname()[1]
        r = run(PUBLISH, "lint", "http://127.0.0.1:%d" % closed)
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"cannot connect", r.stderr)
        with socket.socket() as silent:  # takes the connection and never answers
            silent.bind(("127.0.0.1", 0))
            silent.listen(4)
            # A run that takes the minutes of no time-out fails by the run's own time-out.
            r = run(PUBLISH, "lint", "http://127.0.0.1:%d" % silent.getsockname()[1],
                    "--timeout", "1", timeout=30)
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"did not answer in time", r.stderr)


class ServedRelease(unittest.TestCase):
    def test_verify_reads_a_package_larger_than_the_count_limit_whole(self):
        # A package of 65 MiB, larger than the 64 MiB a manifest read counts, served by a plain
        # web server: verify fetches and checks it whole.
        with tempfile.TemporaryDirectory() as d:
            release = write_release(os.path.join(d, "srv"), clean_release())
            with open(os.path.join(release, "keldra", "tallix.exe"), "wb") as f:
                f.write(b"the updater")
            with open(os.path.join(release, "keldra", "keldra.exe"), "wb") as f:
                f.truncate((65 << 20) + 1)
            key = os.path.join(d, "k")
            self.assertEqual(run(PUBLISH, "keygen", key, "--bits", "2048").returncode, 0)
            signed = run(PUBLISH, "sign", release, "--release", "1", "--expires", "30d",
                         "--key", key + ".key", "--download-host", "http://127.0.0.1")
            self.assertEqual(signed.returncode, 0, signed.stderr)

            class Handler(http.server.SimpleHTTPRequestHandler):
                def __init__(self, *args, **kwargs):
                    super().__init__(*args, directory=release, **kwargs)

                def log_message(self, *args):
                    pass

            server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
            threading.Thread(target=server.serve_forever, daemon=True).start()
            origin = "http://127.0.0.1:%d" % server.server_address[1]
            try:
                r = run(PUBLISH, "verify", origin, "--key", key + ".pub", "--download-host",
                        origin, timeout=120)
            finally:
                server.shutdown()
                server.server_close()
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)


CONTROLS = re.compile(rb"[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]")


class SafeOutput(unittest.TestCase):
    def test_no_control_character_reaches_the_terminal_and_the_json_is_strict(self):
        # XML keeps out the C0 controls but lets the C1 ones and DEL through.
        hostile = "\u009b2J\u009d0;pwned\x7f".encode()
        with tempfile.TemporaryDirectory() as d:
            files = clean_release()
            files["upgrade.xml"] = upgrade(keldra="5.9." + hostile.decode())
            release = write_release(d, files)
            table = run(PUBLISH, "lint", release)
            self.assertEqual(table.returncode, 1)
            self.assertIsNone(CONTROLS.search(table.stdout), table.stdout)
            self.assertIn(rb'"5.9.\u009b2J\u009d0;pwned\x7f"', table.stdout)
            out = run(PUBLISH, "lint", release, "--json").stdout
            self.assertIsNone(CONTROLS.search(out))
            messages = [f["message"] for f in strict_json(out)["findings"]]
            self.assertTrue(any(hostile.decode() in m for m in messages), messages)
        request = ("http://h/receive/tallix.aspx?uid=00&v=%C2%9B2J&s=007&e=0"
                   "&a=hijactcontent:%1B[2Jx|;filecontent:;&r=1")
        r = run(DECODER, request)
        self.assertEqual(r.returncode, 1)
        self.assertIsNone(CONTROLS.search(r.stdout + r.stderr), r.stderr)
        self.assertIn(rb"\x1b[2Jx", r.stderr)
        report = strict_json(r.stdout)
        self.assertEqual((report["s"], report["v"]), (7, "\u009b2J"))


def make_pe(path, version=None, certificate=None, key=None):
    """A small Windows program: one resource section with a version resource (product version
    `version`), and an Authenticode-style certificate table with a PKCS #7 signature made by
    openssl with `certificate` when given."""
    vs = bytearray(b"\0" * 40)
    vs[6:6 + 32] = "VS_VERSION_INFO\0".encode("utf-16-le")
    fixed = bytearray(52)
    if version:
        a, b, c, d = (int(x) for x in version.split("."))
        fixed[0:4] = (0xFEEF04BD).to_bytes(4, "little")
        fixed[16:24] = ((a << 16) | b).to_bytes(4, "little") + ((c << 16) | d).to_bytes(4, "little")
    vs += fixed
    rsrc = bytearray(0x58)
    le = lambda n, size=4: n.to_bytes(size, "little")
    for at, entry_id, target in ((0, 16, 0x80000018), (0x18, 1, 0x80000030), (0x30, 0x409, 0x48)):
        rsrc[at + 14:at + 16] = le(1, 2)
        rsrc[at + 16:at + 24] = le(entry_id) + le(target)
    rsrc[0x48:0x50] = le(0x1000 + 0x58) + le(len(vs))
    rsrc += vs
    rsrc += b"\0" * (-len(rsrc) % 0x200)
    head = bytearray(0x200)
    head[0:2] = b"MZ"
    head[0x3C:0x40] = le(0x40)
    head[0x40:0x44] = b"PE\0\0"
    head[0x44:0x58] = le(0x14C, 2) + le(1, 2) + bytes(12) + le(0xE0, 2) + le(0x102, 2)
    head[0x58:0x5A] = le(0x10B, 2)
    head[0x58 + 92:0x58 + 96] = le(16)
    head[0xB8 + 16:0xB8 + 24] = le(0x1000) + le(len(rsrc))
    head[0x138:0x138 + 40] = (b".rsrc\0\0\0" + le(len(rsrc)) + le(0x1000) + le(len(rsrc)) +
                              le(0x200) + bytes(12) + le(0x40000040))
    body = head + rsrc
    if certificate:
        der = subprocess.run(["openssl", "smime", "-sign", "-binary", "-nodetach", "-noattr",
                              "-outform", "DER", "-signer", certificate, "-inkey", key],
                             input=b"program", capture_output=True, check=True).stdout
        table = le(8 + len(der)) + le(0x200, 2) + le(2, 2) + der
        head[0xB8 + 32:0xB8 + 40] = le(len(body)) + le(len(table))
        body = head + rsrc + table
    with open(path, "wb") as f:
        f.write(body)


SUBJECTS = {  # the signer's display name is the common name, else the unit, else the company
    "maker": "/CN=LAKEMOOR ORVANE NETWORK TECHNOLOGY CO., LTD.",
    "unit": "/O=Fabrikam Utility Software Ltd/OU=Lakemoor Orvane Network Technology Unit",
    "company": "/C=CN/O=Lakemoor Orvane Network Technology Co.",
    "other": "/CN=Fabrikam Utility Software Ltd/OU=Lakemoor Orvane Network Technology",
}


DAYLOOM = entry(b"dayloom", b"3.0.0.1")


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.keys = {}
        for name, subject in SUBJECTS.items():
            key, crt = (os.path.join(cls.dir.name, name + ext) for ext in (".key", ".crt"))
            subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", subject,
                            "-keyout", key, "-out", crt], check=True, capture_output=True)
            cls.keys[name] = (crt, key)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def folder(self, packages):
        """A release folder of (path, version, signer) packages."""
        folder = tempfile.mkdtemp(dir=self.dir.name)
        for path, version, signer in packages:
            os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
            make_pe(os.path.join(folder, path), version, *(self.keys[signer] if signer else ()))
        return folder

    def test_signers_are_named_as_the_updater_names_them(self):
        release = self.folder([("keldra/keldra.exe", "5.9.3.0", "unit"),
                               ("keldra/tallix.exe", "3.2.0.17", "company"),
                               ("keldra/pinnace.exe", "2.1.0.1", "other"),
                               ("keldra/dayloom.exe", "3.0.0.1", None),
                               ("keldra/marlow.exe", "1.0.0.0", "maker")])
        manifests = write_release(tempfile.mkdtemp(dir=self.dir.name), {"upgrade.xml": upgrade(
            extra=entry(b"pinnace", b"2.1.0.1") + DAYLOOM + entry(b"marlow", b"1.0.0.1"))})
        r = run(PUBLISH, "packages", manifests, release, "--json")
        self.assertEqual(r.returncode, 1, r.stderr)
        found = {p["tag"]: (p["signer"], p["severity"]) for p in strict_json(r.stdout)}
        self.assertEqual(found, {
            "tallix": ("Lakemoor Orvane Network Technology Co.", "ok"),
            "keldra": ("Lakemoor Orvane Network Technology Unit", "ok"),
            "pinnace": ("Fabrikam Utility Software Ltd", "error"),
            "dayloom": ("", "warning"),
            "marlow": ("LAKEMOOR ORVANE NETWORK TECHNOLOGY CO., LTD.", "error"),
        })
        # Unsigned packages are warnings: --fail-on error lets them pass.
        manifests = write_release(tempfile.mkdtemp(dir=self.dir.name),
                                  {"upgrade.xml": upgrade(extra=DAYLOOM)})
        self.assertEqual(run(PUBLISH, "packages", manifests, release).returncode, 1)
        self.assertEqual(run(PUBLISH, "packages", manifests, release, "--fail-on", "error")
                         .returncode, 0)

    def test_manifest_refuses_what_machines_would_fail_on_and_says_why(self):
        release = self.folder([("keldra/keldra.exe", "5.9.3.0", "maker"),
                               ("keldra/Keldra Setup.exe", "5.9.3.0", "maker"),
                               ("keldra/a&b.exe", "1.0.0.0", "maker"),
                               ("keldra/dayloom.exe", "3.0.0.1", None),
                               ("keldra/pinnace.exe", "2.1.0.1", "other"),
                               ("keldra/marlow.exe", None, "maker")])
        out = os.path.join(self.dir.name, "refused")
        r = run(PUBLISH, "manifest", release, "--base", "http://down.orvane.com/", "--json",
                "--download-host", "http://down.orvane.com", "--out", out)
        self.assertEqual(r.returncode, 1)
        refused = {p["tag"]: p["refused"] for p in strict_json(r.stdout)}
        self.assertIsNone(refused["keldra"])
        self.assertIn("cannot be an element name", refused["keldra setup"])
        self.assertIn("cannot be an element name", refused["a&b"])
        self.assertIn("unsigned", refused["dayloom"])
        self.assertIn('signed by "Fabrikam Utility Software Ltd"', refused["pinnace"])
        self.assertIn("no version resource", refused["marlow"])
        self.assertFalse(os.path.exists(out))

    def test_manifest_writes_both_variants_whole_or_merges(self):
        release = self.folder([("keldra/keldra.exe", "5.9.3.1", "maker"),
                               ("keldra/tallix.exe", "3.2.0.17", "unit"),
                               ("keldra6/pinnace.exe", "2.1.0.2", "company")])
        out = os.path.join(self.dir.name, "written")
        r = run(PUBLISH, "manifest", release, "--base", "http://down.orvane.com/",
                "--download-host", "http://down.orvane.com", "--out", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        names = {}
        for name in ("upgrade.xml", "upgrade6s.xml"):
            with open(os.path.join(out, "keldra", name), "rb") as f:
                data = f.read()
            self.assertTrue(data.startswith(MARK + b'<?xml version="1.0" encoding="utf-8"?>'))
            names[name] = sorted(set(re.findall(rb"<([a-z0-9]+)>", data)))
        self.assertEqual(names["upgrade.xml"],
                         sorted([b"installfile", b"keldra", b"name", b"pinnace", b"tallix", b"version"]))
        self.assertEqual(names["upgrade6s.xml"],
                         sorted([b"f", b"keldra", b"n", b"pinnace", b"tallix", b"v"]))
        # What it wrote passes lint, together with the settings and history of the release.
        write_release(out, {"tallix.xml": SETTINGS, "history.xml": HISTORY,
                            "history6.xml": HISTORY})
        r = run(PUBLISH, "lint", out, "--download-host", "http://down.orvane.com", "--json",
                "--fail-on", "error")
        self.assertEqual(r.returncode, 0, r.stdout)
        # Merged into a manifest that has more than the packages say: its settings, comments,
        # other fields and other entries stay; the version and the install file change.
        existing = write_release(tempfile.mkdtemp(dir=self.dir.name), {"upgrade.xml": MARK + (
            "<UpdateList><SystemSet><UpgradeType>0</UpgradeType></SystemSet><!-- keep -->"
            "<fennick><version>1.0.0.1</version><installfile>/f.exe</installfile></fennick>"
            "<Keldra><name>Keldra 5</name><version>5.9.3.0</version><installfile>/old/keldra.exe"
            "</installfile><depend>pinnace</depend></Keldra></UpdateList>").encode()})
        merged = os.path.join(self.dir.name, "merged")
        r = run(PUBLISH, "manifest", release, "--base", "http://down.orvane.com",
                "--download-host", "http://down.orvane.com", "--out", merged, "--merge", existing)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(os.path.join(merged, "keldra", "upgrade.xml"), encoding="utf-8-sig") as f:
            text = re.sub(r"\s+", "", f.read())
        for kept in ("<SystemSet><UpgradeType>0</UpgradeType></SystemSet><!--keep--><fennick>",
                     "<Keldra><name>Keldra5</name><version>5.9.3.1</version><installfile>"
                     "/keldra/keldra.exe</installfile><depend>pinnace</depend></Keldra>",
                     "<pinnace><name>pinnace</name><version>2.1.0.2</version><installfile>"
                     "/keldra6/pinnace.exe</installfile></pinnace>"):
            self.assertIn(kept, text)


if __name__ == "__main__":
    unittest.main()
