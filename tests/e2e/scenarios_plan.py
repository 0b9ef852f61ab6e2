#!/usr/bin/env python3
"""The publisher's plan against the real updater: for each example machine of demo/profiles and
three switch sets, a suite folder is built from the profile under Wine, the demo's manifests are
served, tallix.exe runs, and what it requested, replaced, started and told its caller, and the
window it showed (or not) with its title line, must equal what `tallix-publish plan` predicted.
Any difference fails."""
import glob
import json
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import FRAME, probe, stub, wait_until, windows_path  # noqa: E402

PROFILES = sorted(glob.glob(os.path.join(harness.REPO, "demo", "profiles", "*.json")))
MANIFESTS = os.path.join(harness.REPO, "demo", "manifests")
PACKAGES = {"/keldra/pinnace.exe": ("running-pinnace-2.1.0.1", "pinnace.exe")}
# The quiet check of the main program, the tray companion's run that reports to its caller, and
# the tray companion's own check whose offer is clicked (the running program is closed, replaced
# and started again).
SWITCH_SETS = [["-keldra", "-silent"], ["-pinnace", "-notice", "-from:_Keldra"], ["-pinnace"]]
CLICK = ["-pinnace"]
RUNNING = ("pinnace.exe", "_Pinnace")  # started with its window before a clicked run
CALLER_CLASS = "_Keldra"
NOTICE_PROGRESS = 1  # progress records come once per block: their number is not predicted


def product_version(path):
    """The product version of a stub's version resource, "" when it has none."""
    data = harness.read(path)
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return ""
    ms, ls = struct.unpack_from("<2I", data, at + 16)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 65535, ls >> 16, ls & 65535)


def stub_for(name, version, running=False):
    stem = name[:-4]
    folders = ["%s-%s" % (stem, version), "running-%s-%s" % (stem, version)]
    for folder in reversed(folders) if running else folders:
        if os.path.exists(stub(folder, name)):
            return stub(folder, name)
    raise AssertionError("no stub of %s %s" % (name, version))


class Comparison(harness.Case):
    """Builds a profile's machine, runs the plan and the updater, and compares them."""

    def machine(self, profile, running=()):
        """Builds the profile's machine; returns the profile resolved to this scenario's paths and
        the Linux path of every file it names."""
        drive = os.path.join(self.s.dir, "drive")
        def place(windows):
            return os.path.join(drive, *windows[3:].split("\\"))
        resolved = dict(profile, suiteDirectory=windows_path(self.s.suite) + "\\", files={},
                        registry={})
        files = {}
        for name, version in profile.get("files", {}).items():
            if name[1:2] == ":":
                linux = place(name)
                resolved_name = windows_path(linux)
            else:
                linux = os.path.join(self.s.suite, name)
                resolved_name = name
            os.makedirs(os.path.dirname(linux), exist_ok=True)
            shutil.copy(stub_for(os.path.basename(linux), version, name in running), linux)
            resolved["files"][resolved_name] = version
            files[windows_path(linux).lower()] = linux
        for name, value in profile.get("registry", {}).items():
            if value[1:2] == ":":
                value = windows_path(place(value))  # keeps a trailing backslash
            resolved["registry"][name] = value
            key, _, value_name = name.rpartition("\\")
            self.s.set_registry(key, value_name, value)
        return resolved, files

    def assert_window(self, plan, updater):
        """The window as the plan predicted it: shown with its title line, or never shown."""
        if not plan["windowShown"]:
            self.assert_never_shown(updater, 60)
            return
        self.shown_window()
        title = "".join("%04x" % ord(c) for c in plan["titleLine"])
        self.assertTrue(probe("text", FRAME, title, 5000)["shown"],
                        "the window does not show %r" % plan["titleLine"])

    def check(self, profile_path, switches, edit=lambda text: text, whole=True):
        """Runs the plan and the updater on the profile's machine and compares them; `edit`
        changes the upgrade manifest; with `whole` false only the window is compared."""
        with open(profile_path, encoding="utf-8") as f:
            profile = json.load(f)
        for path in glob.glob(os.path.join(MANIFESTS, "keldra", "*.xml")):
            with open(path, encoding="utf-8-sig") as f:
                text = f.read().replace("@TALLIX_VERSION@", harness.build().version)
            if os.path.basename(path) == "upgrade.xml":
                text = edit(text)
            self.s.serve("/keldra/" + os.path.basename(path), text)
        for url, (folder, name) in PACKAGES.items():
            self.s.serve(url, harness.read(stub(folder, name)))
        click = switches == CLICK
        resolved, files = self.machine(profile, [RUNNING[0]] if click else [])
        if profile.get("system", {}).get("osCode", 23) < 19:
            harness.reg("add", r"HKCU\Software\Wine", "/v", "Version", "/d", "winxp", "/f")
            self.addCleanup(harness.reg, "delete", r"HKCU\Software\Wine", "/v", "Version", "/f")
        caller = None
        if any("-notice" == s for s in switches):
            caller = self.s.window(CALLER_CLASS)
            resolved["windows"] = [{"class": CALLER_CLASS, "visible": False}]
        program = os.path.join(self.s.suite, RUNNING[0])
        if click and os.path.exists(program):
            with open(program + ".class", "w") as f:
                f.write(RUNNING[1] + "\n")
            self.s.processes.append(harness.start_group([harness.build().wine_run,
                                                         harness.build().dir, program]))
            self.assertTrue(probe("wait", RUNNING[1], 20000)["found"], "the program is not up")
            resolved.setdefault("windows", []).append({"class": RUNNING[1]})
        started_before = len(self.s.program_starts(RUNNING[0]))
        resolved_path = os.path.join(self.s.dir, "profile.json")
        with open(resolved_path, "w", encoding="utf-8") as f:
            json.dump(resolved, f)
        self.s.start_servers()

        tool = os.environ["TALLIX_PUBLISH"]
        self.assertTrue(os.path.exists(tool), "build the native tree first: %s" % tool)
        ports = harness.build().ports
        out = subprocess.run(
            [tool, "plan", self.s.root, "--machine", resolved_path, "--switches", " ".join(switches),
             "--json", "--manifest-host", "http://127.0.0.1:%d" % ports[0],
             "--download-host", "http://localhost:%d" % ports[1], "--download-ip", "127.0.0.1",
             "--statistics-host", "http://127.0.0.1:%d" % ports[2],
             "--release", harness.build().version] + (["--click"] if click else []),
            check=whole, capture_output=True, text=True, timeout=60).stdout
        plan = json.loads(out)[0]
        if not whole:
            self.assert_window(plan, self.s.run(*switches, timeout=90))
            return
        # The demo's manifests as the manifest host serves them are clean.
        lint = subprocess.run([tool, "lint", "http://127.0.0.1:%d" % ports[0], "--download-host",
                               "http://localhost:%d" % ports[1], "--release",
                               harness.build().version], capture_output=True, text=True, timeout=60)
        self.assertEqual((lint.returncode, lint.stdout), (0, "no findings\n"))
        linted = len(self.s.requests())  # the updater's requests come after the tool's
        self.assertEqual(plan["unpredicted"], [], "the demo machines are all predictable")

        before = {w: product_version(p) for w, p in files.items()}
        updater = self.s.run(*switches, timeout=90)
        self.assert_window(plan, updater)
        if click and "the click starts" in plan["outcome"]:
            self.click_main_button()
            self.assert_ends(updater, 60)
        elif plan["windowShown"] and "click" in plan["outcome"]:
            # A window that waits for the click to install is closed once its downloads are in.
            downloads = ["/" + d["url"].split("/", 3)[3] for d in plan["downloads"]]
            self.assertTrue(
                wait_until(lambda: all(d in self.s.requested_paths() for d in downloads), 30),
                "the downloads of the plan were not requested: %s" % downloads)
            self.close_by_caller(updater)
        else:
            self.assert_ends(updater, 60)

        observed_replaced = []
        found = [p for d in (self.s.suite, os.path.join(self.s.dir, "drive"))
                 for p in glob.glob(os.path.join(d, "**", "*.exe"), recursive=True)]
        for path in sorted(found):
            key = windows_path(path).lower()
            if "\\upgrade\\" in key or path.endswith("tallix.exe"):
                continue
            version = product_version(path)
            if before.get(key) != version:
                observed_replaced.append({"path": key, "version": version})
        predicted_replaced = [{"path": r["path"].lower(), "version": r["version"]}
                              for r in plan["replaced"]]
        self.assertEqual(self.s.requested_paths()[linted:], plan["requests"], "requests")
        self.assertEqual(sorted(observed_replaced, key=str), sorted(predicted_replaced, key=str),
                         "replaced files")
        if plan["starts"]:
            wait_until(lambda: len(self.s.program_starts(RUNNING[0])) > started_before, 20)
        observed_starts = [line.replace('"', "").lower() for name in sorted(os.listdir(self.s.suite))
                           if name.endswith(".exe")
                           for line in self.s.program_starts(name)[
                               started_before if name == RUNNING[0] else 0:]]
        self.assertEqual(observed_starts, [(s["program"] + " " + s["parameters"]).lower()
                                           for s in plan["starts"]], "programs started")
        records = []
        if caller is not None:
            for r in caller.records():
                if r.get("status", NOTICE_PROGRESS) != NOTICE_PROGRESS:
                    records.append('notice to %s: status %d, %d%%, "%s"' % (
                        switches[-1].split(":", 1)[1].lower(), r["status"], r["percent"], r["text"]))
        self.assertEqual(records, plan["records"], "records to the caller")


class PlanCase(Comparison):
    """Each example machine with each switch set (the tests are added below)."""


def profile(name):
    return os.path.join(harness.REPO, "demo", "profiles", name + ".json")


class ShowRule(Comparison):
    """Runs where the plan once showed the window otherwise than the updater does."""

    def test_execute_with_nothing_to_do_is_never_shown(self):
        self.check(profile("fresh-install"), ["-keldra", "-execute"])

    def test_only_enforced_items_with_notices_are_never_shown(self):
        enforced = lambda text: text.replace("<classname>_Pinnace</classname>",
                                             "<classname>_Pinnace</classname>"
                                             "<enforce>true</enforce>")
        self.check(profile("one-release-behind"), ["-pinnace", "-notice", "-from:_Keldra"],
                   enforced, whole=False)

    def test_an_upgrade_type_without_silent_is_shown(self):
        setup = lambda text: text.replace("<UpgradeType>0</UpgradeType>",
                                          "<UpgradeType>1</UpgradeType>")
        self.check(profile("one-release-behind"), ["-pinnace"], setup)


class Packages(harness.Case):
    def test_each_package_is_checked_as_the_updater_will(self):
        """Version resources and signers of a release folder, read natively by the tool."""
        release = os.path.join(self.s.dir, "release")
        signed = os.path.join(self.s.dir, "signed")
        subprocess.run(["bash", os.path.join(harness.REPO, "scripts", "make-signature-fixtures.sh"),
                        signed, stub("running-pinnace-2.1.0.1", "pinnace.exe")],
                       check=True, capture_output=True, timeout=120)
        os.makedirs(os.path.join(release, "keldra"))
        shutil.copy(os.path.join(signed, "maker.exe"), os.path.join(release, "keldra", "pinnace.exe"))
        shutil.copy(os.path.join(signed, "other.exe"), os.path.join(release, "keldra", "tallix.exe"))
        shutil.copy(stub("keldra-5.9.3.0", "keldra.exe"), os.path.join(release, "keldra"))
        manifests = os.path.join(self.s.dir, "manifests")
        os.makedirs(os.path.join(manifests, "keldra"))
        with open(os.path.join(manifests, "keldra", "upgrade.xml"), "w", encoding="utf-8-sig") as f:
            f.write(harness.upgrade_manifest(
                harness.entry("tallix", "2.1.0.1"), harness.entry("keldra", "5.9.3.0"),
                harness.entry("pinnace", "2.1.0.1"), harness.entry("fennick", "1.0.0.1")))
        run = subprocess.run([os.environ["TALLIX_PUBLISH"], "packages", manifests, release, "--json"],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 1)
        found = {p["tag"]: (p["version"], p["ok"], p["verdict"].split(":")[0])
                 for p in json.loads(run.stdout)}
        self.assertEqual(found, {
            "tallix": ("2.1.0.1", False, 'signed by "Fabrikam Utility Software Ltd"'),
            "keldra": ("5.9.3.0", False, "unsigned"),
            "pinnace": ("2.1.0.1", True, "ok"),
            "fennick": ("", False, "missing from the release folder"),
        })
        # The entries written back from the same folder, relative to the download host: the
        # unsigned and the foreign-signed packages are refused.
        run = subprocess.run([os.environ["TALLIX_PUBLISH"], "manifest", release, "--json",
                              "--base", "http://down.orvane.com/", "--download-host",
                              "http://down.orvane.com"],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertEqual([(p["tag"], p["version"], p["installfile"], (p["refused"] or "").split(":")[0])
                          for p in json.loads(run.stdout)], [
            ("keldra", "5.9.3.0", "/keldra/keldra.exe", "unsigned"),
            ("pinnace", "2.1.0.1", "/keldra/pinnace.exe", ""),
            ("tallix", "2.1.0.1", "/keldra/tallix.exe", 'signed by "Fabrikam Utility Software Ltd"'),
        ])


def add_cases():
    for profile in PROFILES:
        for number, switches in enumerate(SWITCH_SETS):
            name = "test_%s_%d" % (os.path.basename(profile)[:-5].replace("-", "_"), number)
            setattr(PlanCase, name,
                    lambda self, p=profile, s=switches: self.check(p, s))


add_cases()

if __name__ == "__main__":
    harness.main()
