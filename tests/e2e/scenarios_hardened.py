#!/usr/bin/env python3
"""End-to-end scenarios of the updater built with release keys (tallix_hardened: the same code,
linked with the build's three throwaway keys and a threshold of two). Releases are signed with
tallix-publish sign, as a publisher signs them. A whole signed release updates the machine as
the ordinary build would; each attack is refused, and nothing is downloaded, installed or
started for it."""
import hashlib
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import CALLER, UPDATER_KEY, entry, read, stub, wait_until  # noqa: E402
from scenarios_install import InstallCase  # noqa: E402

PUBLISH = os.environ.get("TALLIX_PUBLISH")
HARDENED = os.environ.get("TALLIX_HARDENED_EXE")
KEYS = os.environ.get("TALLIX_RELEASE_KEYS_DIR")
INSTALLED = stub("keldra-5.9.2.1", "keldra.exe")
OFFERED = stub("keldra-6.0.0.1", "keldra.exe")  # product version 6.0.0.1


def key(name):
    return name if os.path.isabs(name) else os.path.join(KEYS, name + ".key")


def resign(index_path, keys, **lines):
    """Rewrites lines of a signed index ("expires" ...) and signs it again with `keys`: what a
    publisher's key could sign, but tallix-publish sign refuses to write."""
    text = read(index_path).decode("ascii")
    body = "".join(line if line.split(" ")[0] not in lines
                   else "%s %s\n" % (line.split(" ")[0], lines[line.split(" ")[0]])
                   for line in text[:text.index("signature ")].splitlines(True))
    signed = body
    for name in keys:
        der = subprocess.run(["openssl", "pkey", "-in", key(name), "-pubout", "-outform", "DER"],
                             check=True, capture_output=True).stdout
        signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key(name)],
                                   input=body.encode("ascii"), check=True,
                                   capture_output=True).stdout
        signed += "signature %s %s\n" % (hashlib.sha256(der).hexdigest()[:16], signature.hex())
    with open(index_path, "w", encoding="ascii", newline="\n") as f:
        f.write(signed)


class Signing:
    """The publisher's signing, shared by the scenario classes."""

    def publish(self, *args):
        proc = subprocess.run([PUBLISH] + [str(a) for a in args], capture_output=True, text=True,
                              timeout=120)
        self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
        return proc.stdout

    def sign(self, folder=None, release=5, keys=("first", "second"), expires="30d"):
        args = ["sign", folder or self.s.root, "--release", release, "--expires", expires,
                "--download-host", "http://localhost:%d" % harness.build().ports[1]]
        for name in keys:
            args += ["--key", key(name)]
        self.publish(*args)

    def use_hardened_updater(self):
        shutil.copy(HARDENED, os.path.join(self.s.suite, "tallix.exe"))
        self.forget_release()
        self.addCleanup(self.forget_release)

    def forget_release(self):
        harness.reg("delete", UPDATER_KEY, "/v", "release", "/f")

    def kept_release(self):
        """The release number kept under the updater's key, or None."""
        _, out = harness.wine("reg", "query", UPDATER_KEY, "/v", "release")
        for line in out.splitlines():
            fields = line.split()
            if fields[:2] == ["release", "REG_BINARY"] and len(fields) == 3:
                return int.from_bytes(bytes.fromhex(fields[2]), "little")
        return None


class SignedRelease(Signing, InstallCase):
    def setUp(self):
        super().setUp()
        self.use_hardened_updater()

    def serve(self, *entries, own_version=None, packages=()):
        super().serve(*entries, own_version=own_version, packages=packages)
        self.s.serve("/keldra/tallix.exe", read(HARDENED))  # the release's own updater
        self.sign(release=7)

    def test_whole_signed_release_installs_and_starts_the_program_again(self):
        self.update_pinnace()  # the offer's main button is clicked
        self.assert_installed_and_started("pinnace", "running-pinnace-2.1.0.1", 2, "/fromtallix")
        paths = self.s.requested_paths()
        self.assertEqual(paths[:3], ["/keldra/release.txt", "/keldra/tallix.xml",
                                     "/keldra/upgrade.xml"])
        self.assertIn("/keldra/pinnace.exe", paths)
        self.assertEqual(self.kept_release(), 7)
        # The publisher's verify agrees with the updater.
        out = self.publish("verify", self.s.root, "--threshold", "2",
                           "--key", os.path.join(KEYS, "first.pub"),
                           "--key", os.path.join(KEYS, "second.pub"))
        self.assertIn("release 7 verified", out)


class Refused(Signing, harness.Case):
    """keldra 5.9.2.1 is installed and a caller waits for the outcome of a quiet run; each attack
    would have the ordinary build install keldra 6.0.0.1."""

    def setUp(self):
        super().setUp()
        self.use_hardened_updater()
        self.s.add_program("keldra-5.9.2.1", "keldra.exe")

    def release(self, folder, offered, settings_text=harness.SETTINGS):
        """Writes a release into `folder` (the servers' root by default): the manifests offering
        keldra at `offered`, and the package."""
        os.makedirs(os.path.join(folder, "keldra"), exist_ok=True)
        files = {"/keldra/tallix.xml": settings_text,
                 "/keldra/upgrade.xml": harness.upgrade_manifest(
                     harness.own_entry(), entry("keldra", offered, name="Keldra")),
                 "/keldra/keldra.exe": read(OFFERED), "/keldra/tallix.exe": read(HARDENED)}
        for path, content in files.items():
            with open(os.path.join(folder, path.lstrip("/")), "wb") as f:
                f.write(content.encode("utf-8-sig") if isinstance(content, str) else content)

    def run_with_caller(self):
        """A quiet run told to report to the caller's window; returns (updater, the statuses
        that this run's records carry)."""
        if not hasattr(self, "caller"):
            self.caller = self.s.window(CALLER)
        earlier = len(self.caller.records())
        updater = self.s.run("-keldra", "-silent", "-notice", timeout=120)
        return updater, lambda: [r["status"] for r in self.caller.records()[earlier:]]

    def package_requests(self):
        return [p for p in self.s.requested_paths() if p == "/keldra/keldra.exe"]

    def assert_nothing_taken(self):
        """Nothing kept in the upgrade folder, nothing installed, nothing started, and nothing
        sent to the statistics host."""
        self.assertNotIn("/receive/tallix.aspx", self.s.requested_paths())
        upgrade = os.path.join(self.s.suite, "upgrade")
        self.assertEqual(os.listdir(upgrade) if os.path.isdir(upgrade) else [], [])
        self.assertTrue(self.same_file(os.path.join(self.s.suite, "keldra.exe"), INSTALLED))
        self.assertEqual(self.s.program_starts("keldra.exe"), [])

    def assert_check_ends_refused(self, kept=None):
        """The check ends as with an unreachable manifest host: the caller is told that it
        failed, no package is asked for, and no release number is kept."""
        updater, statuses = self.run_with_caller()
        self.assert_ends(updater, 40)
        self.assertEqual(statuses()[-1:], [3])
        self.assertEqual(self.package_requests(), [])
        self.assertEqual(self.s.requested_paths()[0], "/keldra/release.txt")
        self.assertEqual(self.kept_release(), kept)
        self.assert_nothing_taken()

    def test_changed_manifest(self):
        self.release(self.s.root, "5.9.2.1")
        self.sign()
        # Changed in transit: the same manifest, now offering the new version.
        self.release(self.s.root, "6.0.0.1")
        self.s.start_servers()
        self.assert_check_ends_refused()

    def test_older_release_with_its_own_signed_index(self):
        old = os.path.join(self.s.dir, "release-4")
        self.release(old, "6.0.0.1")
        self.sign(old, release=4)
        self.release(self.s.root, "5.9.2.1")
        self.sign(release=5)
        self.s.start_servers()
        updater, statuses = self.run_with_caller()
        self.assert_ends(updater, 40)
        self.assertEqual(statuses(), [2])  # nothing to do in release 5
        self.assertEqual(self.kept_release(), 5)
        # Release 4 and its index, as they were once served, are replayed.
        shutil.rmtree(os.path.join(self.s.root, "keldra"))
        shutil.copytree(os.path.join(old, "keldra"), os.path.join(self.s.root, "keldra"))
        self.assert_check_ends_refused(kept=5)

    def test_expired_index(self):
        self.release(self.s.root, "6.0.0.1")
        self.sign()
        resign(os.path.join(self.s.root, "keldra", "release.txt"), ("first", "second"),
               expires="2020-01-01T00:00:00Z")
        self.s.start_servers()
        self.assert_check_ends_refused()

    def test_manifests_of_two_releases_mixed(self):
        old = os.path.join(self.s.dir, "release-5")
        self.release(old, "6.0.0.1")
        self.sign(old, release=5)
        # Release 6's index and settings manifest, with release 5's upgrade manifest.
        self.release(self.s.root, "5.9.2.1",
                     settings_text=harness.settings("<downip>127.0.0.1</downip>"))
        self.sign(release=6)
        shutil.copy(os.path.join(old, "keldra", "upgrade.xml"),
                    os.path.join(self.s.root, "keldra", "upgrade.xml"))
        self.s.start_servers()
        self.assert_check_ends_refused()

    def test_signature_by_unknown_keys(self):
        self.release(self.s.root, "6.0.0.1")
        unknown = []
        for name in ("unknown-1", "unknown-2"):
            self.publish("keygen", os.path.join(self.s.dir, name), "--bits", "2048")
            unknown.append(os.path.join(self.s.dir, name + ".key"))
        self.sign(keys=unknown)
        self.s.start_servers()
        self.assert_check_ends_refused()

    def test_signature_below_the_threshold(self):
        self.release(self.s.root, "6.0.0.1")
        self.sign(keys=("first",))
        self.s.start_servers()
        self.assert_check_ends_refused()

    def assert_package_refused(self, attempts):
        """The check goes on, the package is fetched `attempts` times (the second through the
        download IP) and refused each time; the caller is told that it failed. Returns the
        largest size seen of the package's temporary file meanwhile."""
        updater, statuses = self.run_with_caller()
        partial = os.path.join(self.s.suite, "upgrade", "keldra.exe.tmp")
        largest = [0]

        def failed():
            try:
                largest[0] = max(largest[0], os.path.getsize(partial))
            except OSError:
                pass
            try:
                return 3 in statuses()
            except ValueError:  # a record being written
                return False
        self.assertTrue(wait_until(failed, 60, step=0.02), statuses())
        time.sleep(1)
        self.assertEqual(len(self.package_requests()), attempts)
        self.assertEqual(self.kept_release(), 5)
        self.assert_nothing_taken()
        updater.kill()
        return largest[0]

    def test_package_whose_bytes_or_size_differ(self):
        self.release(self.s.root, "6.0.0.1")
        self.sign()
        self.s.start_servers()
        genuine = read(OFFERED)
        middle = len(genuine) // 2
        for served in (genuine[:middle] + bytes([genuine[middle] ^ 1]) + genuine[middle + 1:],
                       genuine + b"\0" * 16):
            self.s.serve("/keldra/keldra.exe", served)
            before = len(self.package_requests())
            self.assert_package_refused(before + 2)

    def test_endless_package_is_cut_off_at_its_indexed_size(self):
        self.release(self.s.root, "6.0.0.1")
        self.sign()
        self.s.rules({"/keldra/keldra.exe": {"answer": "endless", "seconds": 60}})
        self.s.start_servers()
        largest = self.assert_package_refused(2)
        # Cut off at once each time, not given up after the wait limit: the partial file never
        # grows past the indexed size and one block of the download.
        self.assertLessEqual(largest, len(read(OFFERED)) + 8192)


if __name__ == "__main__":
    harness.main()
