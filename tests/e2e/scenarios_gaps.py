#!/usr/bin/env python3
"""End-to-end fault scenarios, second campaign: the moments when a program or the updater could
be half-written or gone. The updater is killed the moment a large program's replacement, or its
own relocation, first changes the suite folder; the disk fills during a download and during a
replacement (a small tmpfs mounted where the suite folder lives, see tests/tools/small_disk.py);
bodies arrive cut short without a length, cut in their signature, or never end; a download fails
while its program runs; a guard package of another signer waits in the upgrade folder.

Afterwards each program is the old one or the new one, whole, and starts; an updater stands at the
installed path and runs a session."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tools"))
import harness  # noqa: E402
import small_disk  # noqa: E402
from harness import CALLER, entry, probe, read, stub, wait_until  # noqa: E402
from scenarios_faults import GOOD, OFFERED, FaultCase  # noqa: E402
from scenarios_install import InstallCase  # noqa: E402

MIB = 1024 * 1024
PINNACE_OLD = stub("running-pinnace-2.1.0.0", "pinnace.exe")
PINNACE_NEW = stub("running-pinnace-2.1.0.1", "pinnace.exe")


def padded(program, size):
    """A program of about `size` bytes: the stub with data after its sections, which a loader
    ignores (the version resource stays where it was)."""
    data = read(program)
    pattern = bytes(range(251))
    return data + (pattern * ((size - len(data)) // len(pattern) + 1))[:size - len(data)]


def signed_fixtures(into):
    """The good package (keldra 6.0.0.1) signed by the maker and by another company."""
    subprocess.run(["bash", os.path.join(harness.REPO, "scripts", "make-signature-fixtures.sh"),
                    into, GOOD], check=True, capture_output=True, timeout=120)
    return os.path.join(into, "maker.exe"), os.path.join(into, "other.exe")


def files_of(folder, prefix):
    """The files directly in `folder` whose name is `prefix` or begins with it and a dot, with
    what identifies their content (size, modification time, inode); the stand-ins' own side
    files (".log", ".class") are left out."""
    found = {}
    with os.scandir(folder) as entries:
        for e in entries:
            if e.is_file(follow_symlinks=False) and (e.name == prefix or (
                    e.name.startswith(prefix + ".") and not e.name.endswith((".log", ".class")))):
                st = e.stat(follow_symlinks=False)
                found[e.name] = (st.st_size, st.st_mtime_ns, st.st_ino)
    return found


class GapCase(harness.Case):
    def kill_at_first_change(self, prefix, seconds=120):
        """Watches the suite folder's files named `prefix` and kills every process of the suite
        the moment the first of them changes, appears or goes (a kill or a power loss at the
        worst moment). Returns the names seen before and after the change."""
        before = files_of(self.s.suite, prefix)
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            now = files_of(self.s.suite, prefix)
            if now != before:
                for proc in self.s.processes:
                    harness.end_group(proc)
                for pid, _ in self.s.suite_processes():
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                return sorted(before), sorted(now)
            time.sleep(0.0002)
        self.fail("nothing named %s changed within %s s" % (prefix, seconds))

    def assert_starts(self, path):
        """The program at `path` starts and ends normally (its side files that keep a stand-in
        running are taken away first)."""
        for suffix in (".class", ".stubborn"):
            if os.path.exists(path + suffix):
                os.remove(path + suffix)
        code, _ = harness.wine(path, timeout=30)
        self.assertEqual(code, 0, path)

    def put_suite_on_small_disk(self, free):
        """Moves the suite folder onto a tmpfs with `free` bytes left once its files are in."""
        keep = tempfile.mkdtemp(dir=self.s.dir)
        used = 0
        for name in os.listdir(self.s.suite):
            shutil.move(os.path.join(self.s.suite, name), keep)
            used += os.path.getsize(os.path.join(keep, name))
        # A page of each file and some pages for the logs and folders the session writes.
        size = used + free + 4096 * (len(os.listdir(keep)) + 8)
        small_disk.mount(self.s.suite, size)
        self.addCleanup(self.unmount_suite)
        for name in os.listdir(keep):
            shutil.move(os.path.join(keep, name), self.s.suite)
        os.rmdir(keep)

    def unmount_suite(self):
        self.s.close()  # nothing of the scenario may still use the small disk
        small_disk.unmount(self.s.suite)


class KilledMidway(GapCase, InstallCase):
    def test_killed_while_a_large_program_is_replaced(self):
        self.install("keldra", "5.9.2.1", running=False)
        target = self.install("pinnace", "2.1.0.0")
        package = padded(PINNACE_NEW, 16 * MIB)
        self.s.serve("/keldra/pinnace.exe", package)
        self.serve_manifests(entry("pinnace", "2.1.0.1", classname="_Pinnace"))
        self.s.start_servers()
        self.s.run("-pinnace", "-execute", timeout=120)
        before, after = self.kill_at_first_change("pinnace.exe")
        data = read(target)
        self.assertTrue(data in (read(PINNACE_OLD), package),
                        "killed when %s became %s, pinnace.exe has %d bytes, neither the old "
                        "program nor the new one" % (before, after, len(data)))
        self.assert_starts(target)

    def test_killed_while_the_updater_relocates_itself(self):
        build = harness.build()
        next_exe, next_version = os.environ["TALLIX_NEXT_EXE"], os.environ["TALLIX_NEXT_VERSION"]
        self.install("keldra", "5.9.2.1", running=False)
        self.serve(own_version=next_version, packages=[("tallix", next_exe)])
        self.s.run("-keldra", "-silent", timeout=120)
        before, after = self.kill_at_first_change("tallix.exe")
        installed = os.path.join(self.s.suite, "tallix.exe")
        versions = {read(build.tallix): build.version, read(next_exe): next_version}
        self.assertTrue(os.path.exists(installed), "killed when %s became %s, no updater is "
                        "left at the installed path" % (before, after))
        data = read(installed)
        self.assertIn(data, versions, "the installed updater is neither build (%d bytes)"
                      % len(data))
        # That updater runs a session: it reads the manifests and ends.
        self.serve_manifests(entry("keldra", "5.9.2.1"), own=harness.own_entry(versions[data]))
        since = len(self.s.requests())
        self.assert_ends(self.s.run("-keldra", "-silent", timeout=60), 60)
        paths = [r["path"].split("?")[0] for r in self.s.requests()[since:]]
        self.assertIn("/keldra/upgrade.xml", paths)


class FullDisk(GapCase, FaultCase):
    def test_disk_fills_during_a_download_and_during_a_replacement(self):
        # 1.5 MiB free: the first package does not fit; the second fits once, but not a second
        # time beside the program it replaces.
        self.s.serve("/keldra/good.exe", padded(GOOD, 3 * MIB))
        package = padded(PINNACE_NEW, MIB)
        shutil.copy(PINNACE_OLD, os.path.join(self.s.suite, "pinnace.exe"))
        self.s.serve("/keldra/pinnace.exe", package)
        self.put_suite_on_small_disk(3 * MIB // 2)
        updater, caller = self.enforced_run(entry("good", OFFERED, enforce=True),
                                            entry("pinnace", "2.1.0.1", enforce=True))
        self.assert_kept(updater, {"pinnace.exe": PINNACE_OLD}, caller)
        # The package that fitted stays downloaded for the next run; nothing else is left.
        upgrade = os.path.join(self.s.suite, "upgrade")
        self.assertEqual(os.listdir(upgrade), ["pinnace.exe"])
        self.assertEqual(read(os.path.join(upgrade, "pinnace.exe")), package)


class BrokenBodies(GapCase, FaultCase):
    def test_cut_without_length_cut_in_the_signature_and_endless_bodies_are_refused(self):
        maker, other = signed_fixtures(os.path.join(self.s.dir, "signing"))
        self.beside = self.outside()
        cut_signature = read(maker)[:-600]
        upgrade = os.path.join(self.s.suite, "upgrade")
        os.makedirs(upgrade)
        # Left by an earlier run: the version resource is there, the signature is cut.
        with open(os.path.join(upgrade, "stale.exe"), "wb") as f:
            f.write(cut_signature)
        self.s.serve("/keldra/stale.exe", read(maker))
        other_bytes = read(other)
        self.s.serve("/keldra/nolength.exe", other_bytes)
        self.s.serve("/keldra/endless.exe", padded(GOOD, 8 * MIB))
        self.s.serve("/keldra/good.exe", read(GOOD))
        self.s.rules({
            # Another company's program, without a length, cut 600 bytes short: in its signature.
            "/keldra/nolength.exe": {"answer": "nolength", "bytes": len(other_bytes) - 600},
            # Far more than arrives before the wait limit, twice.
            "/keldra/endless.exe": {"answer": "rate", "bytes_per_second": 200000},
        })
        # The body without a length comes first, on a downloader with no earlier length.
        names = ["nolength", "stale", "endless", "good"]
        updater, caller = self.enforced_run(*[entry(n, OFFERED, enforce=True) for n in names])
        self.assert_kept(updater, {"good.exe": GOOD, "stale.exe": maker}, caller, seconds=120)
        # The endless download was stopped with its file: nothing is left being written.
        self.assertEqual(sorted(os.listdir(upgrade)), [])


class RunningPrograms(GapCase, InstallCase):
    def test_failed_download_leaves_its_program_running_and_a_namesake_elsewhere_lives(self):
        caller = self.s.window(CALLER)
        self.install("keldra", "5.9.2.1")
        self.install("pinnace", "2.1.0.0")
        pinnace = [pid for pid, line in self.s.suite_processes() if "pinnace.exe" in line.lower()]
        # A program of the main program's name outside the suite: another product's.
        elsewhere = os.path.join(self.s.dir, "elsewhere")
        os.makedirs(elsewhere)
        namesake = os.path.join(elsewhere, "keldra.exe")
        shutil.copy(stub("running-keldra-5.9.2.1", "keldra.exe"), namesake)
        with open(namesake + ".class", "w") as f:
            f.write("_KeldraElsewhere\n")
        self.s.processes.append(harness.start_group([harness.build().wine_run,
                                                     harness.build().dir, namesake]))
        self.assertTrue(probe("wait", "_KeldraElsewhere", 20000)["found"])
        self.serve(entry("keldra", "5.9.2.2", enforce=True, classname="_KeldraMain"),
                   entry("pinnace", "2.1.0.1", enforce=True, classname="_Pinnace"),
                   packages=[("keldra", "running-keldra-5.9.2.2")])
        self.s.rules({"/keldra/pinnace.exe": {"answer": "close"}})  # no answer, twice
        self.assert_ends(self.s.run("-keldra", "-silent", "-enforce", "-notice", timeout=120),
                         90, None)
        # The caller hears of the failed item, then of the end.
        self.assertTrue(wait_until(lambda: caller.records(), 10))
        statuses = [r["status"] for r in caller.records()]
        self.assertIn(3, statuses)
        self.assertEqual(statuses[-1], 2, statuses)
        self.assert_installed_and_started("keldra", "running-keldra-5.9.2.2", 2,
                                          "/fromtallix /hide")
        # The program whose package failed was never closed: the same process runs on.
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.0"))
        self.assertEqual(len(self.starts("pinnace")), 1, "pinnace was closed and started again")
        self.assertTrue(all(os.path.exists("/proc/%d" % pid) for pid in pinnace), pinnace)
        self.assertTrue(probe("wait", "_Pinnace", 1000)["found"])
        self.assertTrue(probe("wait", "_KeldraElsewhere", 1000)["found"],
                        "the program of the same name outside the suite was ended")


class RefusedGuard(GapCase, InstallCase):
    def test_guard_package_of_another_signer_is_not_installed_by_the_upgrade_run(self):
        self.install("keldra", "5.9.2.1", running=False)
        self.install("wardel", "1.0.0.0", running=False)
        upgrade = os.path.join(self.s.suite, "upgrade")
        os.makedirs(upgrade)
        foreign = harness.signed_by_another_company("running-wardel-1.0.0.1", "wardel.exe",
                                                    os.path.join(self.s.dir, "signing"))
        shutil.copy(foreign, os.path.join(upgrade, "wardel.exe"))
        self.serve(entry("keldra", "5.9.2.1"))
        self.assert_ends(self.s.run("-keldra", "-wardel_upgrade", timeout=120), 60, None)
        self.assertTrue(self.installed_is("wardel", "running-wardel-1.0.0.0"))
        self.assertFalse(os.path.exists(os.path.join(upgrade, "wardel.exe")), "left to install")
        # The installed guard is started as ever.
        self.assertTrue(wait_until(lambda: self.starts("wardel"), 20))


if __name__ == "__main__":
    harness.main()
