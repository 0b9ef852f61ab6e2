"""The end-to-end harness: runs the real tallix.exe under Wine against loopback servers and stub
programs, and observes it only from outside (requests, records, windows, processes, files)."""
import filecmp
import functools
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import types
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FRAME = "_tallix_orvane"
CALLER = "_Keldra"
UPDATER_KEY = r"HKCU\Software\Orvane\Tallix"


def settings(extra=""):
    return ('<?xml version="1.0" encoding="utf-8"?>\n<TallixSet><upkeldra6>0</upkeldra6>%s'
            '</TallixSet>\n' % extra)


SETTINGS = settings()


def entry(tag, version, enforce=False, name=None, install=None, classname=None, extra=""):
    """One entry of an upgrade manifest."""
    text = "<%s><name>%s</name><version>%s</version><installfile>%s</installfile>" % (
        tag, name or tag, version, install or "/keldra/%s.exe" % tag)
    if classname:
        text += "<classname>%s</classname>" % classname
    if enforce:
        text += "<enforce>true</enforce>"
    return text + extra + "</%s>\n" % tag


def own_entry(version=None, name=None):
    """The updater's own entry, by default at the version it already has (no self-update)."""
    return entry("tallix", version or build().version, name=name)


def upgrade_manifest(*entries, root="UpdateList"):
    return '<?xml version="1.0" encoding="utf-8"?>\n<%s>\n%s</%s>\n' % (
        root, "".join(entries), root)


def wait_until(condition, seconds, step=0.1):
    """Polls until the condition holds or the time is up; returns its last value."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


@functools.lru_cache(maxsize=None)
def build():
    """Paths and values of the build tree the scenarios run in (given by CTest)."""
    env = os.environ
    return types.SimpleNamespace(
        dir=env["TALLIX_BUILD_DIR"], tallix=env["TALLIX_EXE"], probe=env["TALLIX_PROBE"],
        window_stub=env["TALLIX_WINDOW_STUB"], stubs=env["TALLIX_STUBS_DIR"],
        server=env["TALLIX_SERVER_SCRIPT"], version=env["TALLIX_VERSION"],
        ports=[int(p) for p in env["TALLIX_SERVER_PORTS"].split(",")],
        wine_run=os.path.join(REPO, "scripts", "wine-run.sh"),
        work=os.path.join(env["TALLIX_BUILD_DIR"], "e2e"))


def stub(folder, name):
    return os.path.join(build().stubs, folder, name)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def wine_drive_c(*parts):
    return os.path.join(build().dir, "wineprefix", "drive_c", *parts)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def wine(*args, timeout=60):
    """Runs a Windows program to its end; returns (exit code, output)."""
    env = dict(os.environ, TALLIX_WINE_TIMEOUT=str(timeout))
    proc = subprocess.run([build().wine_run, build().dir] + [str(a) for a in args],
                          capture_output=True, text=True, env=env, timeout=timeout + 30)
    return proc.returncode, proc.stdout


def probe(*args, timeout=60):
    """Runs the probe (tests/e2e/stubs/probe.cpp); returns its JSON answer."""
    code, out = wine(build().probe, *args, timeout=timeout)
    lines = [line for line in out.splitlines() if line.startswith("{")]
    if not lines:
        raise AssertionError("no answer from %s: exit %s, output %r" % (args, code, out))
    return json.loads(lines[-1])


def reg(*args):
    wine("reg", *args, timeout=60)


def registry_view(key, view=None):
    """The reg.exe switch of the registry view that `key` is written in. A machine-wide value is
    written as given, in the 64-bit view ("/reg:64"), whichever reg.exe runs: with 32-bit Wine
    installed "wine reg" is the 32-bit one, whose "Software" writes would land below
    "Wow6432Node". `view` 32 writes as a 32-bit program of the suite does."""
    if view is not None:
        return ["/reg:%d" % view]
    return ["/reg:64"] if key.upper().startswith(("HKLM\\", "HKEY_LOCAL_MACHINE\\")) else []


def is_32bit_program(path):
    """True for a PE file built for 32-bit x86."""
    data = read(path)
    header = int.from_bytes(data[0x3C:0x40], "little")
    return data[header:header + 4] == b"PE\0\0" and data[header + 4:header + 6] == b"\x4c\x01"


def signed_by_another_company(folder, program, into):
    """The stub `program` signed with a certificate of another company; returns its path."""
    subprocess.run(["bash", os.path.join(REPO, "scripts", "make-signature-fixtures.sh"), into,
                    stub(folder, program)], check=True, capture_output=True, timeout=120)
    return os.path.join(into, "other.exe")


def processes_of(path):
    """(pid, command line) of the processes whose command line names `path` (a file or folder,
    by its Linux or its Windows path)."""
    unix = path.lower()
    windows = windows_path(path).lower()
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            args = read("/proc/%s/cmdline" % pid).decode("utf-8", "replace").split("\0")
        except OSError:
            continue
        line = " ".join(a for a in args if a)
        if unix in line.lower() or windows in line.lower():
            found.append((int(pid), line))
    return found


def start_group(args, env=None):
    """Starts a process in a group of its own, ended with the Wine processes it starts."""
    return subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                            start_new_session=True)


def end_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()


def read_jsonl(path):
    """The whole records of a JSON-lines log that its writer (a server, a stand-in window) may be
    writing at this moment: a last line without its newline is not a record yet."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as f:
        return [json.loads(line) for line in f if line.endswith("\n") and line.strip()]


class Image:
    """The pixels of a region of a screenshot, read through ImageMagick as PPM."""

    def __init__(self, png, left, top, width, height):
        crop = "%dx%d+%d+%d" % (width, height, left, top)
        out = subprocess.run(["convert-im6.q16", png, "-crop", crop, "+repage", "-depth", "8",
                              "ppm:-"], check=True, timeout=60, capture_output=True).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+\d+\s", out)
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.pixels = out[header.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, left, top, width, height, test):
        return sum(1 for y in range(top, top + height) for x in range(left, left + width)
                   if test(self.at(x, y)))


class Updater:
    """One tallix.exe process started in the background."""

    def __init__(self, exe, args, timeout):
        env = dict(os.environ, TALLIX_WINE_TIMEOUT=str(timeout))
        self.proc = start_group([build().wine_run, build().dir, exe] + list(args), env)

    def wait(self, seconds):
        """The exit code, or None when it still runs after `seconds`."""
        try:
            return self.proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        end_group(self.proc)


class Scenario:
    """Folder (suite/ is the updater's directory unless another name is given, root/ what the
    servers serve), servers, stubs and registry values of one scenario; all undone at the end,
    each process by its handle."""

    def __init__(self, name, suite_folder="suite"):
        self.dir = os.path.join(build().work, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.suite = os.path.join(self.dir, suite_folder)
        self.root = os.path.join(self.dir, "root")
        self.state = os.path.join(self.dir, "state")
        self.logs = os.path.join(self.dir, "logs")
        for d in (self.suite, self.root, self.logs):
            os.makedirs(d)
        shutil.copy(build().tallix, os.path.join(self.suite, "tallix.exe"))
        self.server_states = []
        self.processes = []
        self.registry_keys = []

    # --- the publisher's side ---

    def serve(self, path, text, encoding="utf-8-sig"):
        """Puts a file at `path` of the servers (text as UTF-8 with its mark by default)."""
        full = os.path.join(self.root, path.lstrip("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(text.encode(encoding) if isinstance(text, str) else text)

    def rules(self, rules):
        """The servers' per-path answers (tests/servers/loopback_server.py)."""
        self.serve("/_rules.json", json.dumps(rules), encoding="utf-8")

    def start_servers(self, ports=None, address="127.0.0.1", state=None, root=None):
        """Servers of the scenario's root, or of another folder (all test ports by default);
        returns their state folder."""
        state = state or self.state
        args = ["python3", build().server, "start", "--state-dir", state, "--root",
                root or self.root, "--address", address]
        for port in ports or build().ports:
            args += ["--port", str(port)]
        subprocess.run(args, check=True, timeout=30, capture_output=True)
        self.server_states.append((build().server, state))
        return state

    def start_nginx(self, ports=None):
        """nginx (tests/servers/nginx_server.py) serving the scenario's root on the test ports
        (all by default), as a publisher's web server would; its locations added from the root's
        "_nginx*.conf" files. Its request log is the scenario's `requests()`."""
        script = os.path.join(REPO, "tests", "servers", "nginx_server.py")
        args = ["python3", script, "start", "--state-dir", self.state, "--root", self.root]
        for port in ports or build().ports:
            args += ["--port", str(port)]
        subprocess.run(args, check=True, timeout=30, capture_output=True)
        self.server_states.append((script, self.state))
        return self.state

    def requests(self, state=None):
        return read_jsonl(os.path.join(state or self.state, "requests.jsonl"))

    def requested_paths(self):
        return [r["path"].split("?")[0] for r in self.requests()]

    # --- the machine's side ---

    def add_program(self, stub_folder, name):
        """Copies a stub program with a chosen version into the suite folder."""
        shutil.copy(stub(stub_folder, name), os.path.join(self.suite, name))

    def program_starts(self, name):
        """The command lines with which the suite program `name` was started, in order."""
        log = os.path.join(self.suite, name + ".log")
        if not os.path.exists(log):
            return []
        data = read(log)
        # The program writes a line and its end in two writes: a line not yet ended is left out.
        lines = data[:len(data) // 2 * 2].decode("utf-16-le").split("\r\n")[:-1]
        return [line for line in lines if line]

    def set_registry(self, key, name, value, kind="REG_SZ", view=None):
        """Writes a value (in the view of `registry_view`); the key is deleted at the end."""
        if (key, view) not in self.registry_keys:
            self.registry_keys.append((key, view))
        reg("add", key, "/v", name, "/t", kind, "/d", value, "/f", *registry_view(key, view))

    def window(self, class_name, visible=False):
        """Starts a stub window of `class_name` that logs the records it receives."""
        log = os.path.join(self.logs, class_name + ".jsonl")
        proc = start_group([build().wine_run, build().dir, build().window_stub, class_name, log,
                            "visible" if visible else "hidden"])
        self.processes.append(proc)
        if not wait_until(lambda: os.path.exists(log + ".ready") or proc.poll() is not None, 30) \
                or proc.poll() is not None:
            raise AssertionError("stub window %s did not start" % class_name)
        return types.SimpleNamespace(records=lambda: read_jsonl(log))

    def run(self, *args, timeout=60):
        """Starts the scenario's tallix.exe with the given switches."""
        updater = Updater(os.path.join(self.suite, "tallix.exe"), args, timeout)
        self.processes.append(updater.proc)
        return updater

    def suite_processes(self):
        """(pid, command line) of the processes running from the suite folder, wherever started."""
        return processes_of(self.suite)

    def close(self):
        for proc in self.processes:
            end_group(proc)
        for pid, _ in self.suite_processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for script, state in self.server_states:
            subprocess.run(["python3", script, "stop", "--state-dir", state],
                           timeout=30, capture_output=True)
        for key, view in self.registry_keys:
            reg("delete", key, "/f", *registry_view(key, view))


class Case(unittest.TestCase):
    """A scenario per test, with the checks that the scenario files share."""
    SUITE_FOLDER = "suite"  # the name of the folder the suite is installed in

    def setUp(self):
        self.s = Scenario(self.id().split(".")[-1], self.SUITE_FOLDER)
        self.addCleanup(self.s.close)
        reg("delete", UPDATER_KEY, "/v", "uptime", "/f")

    def start_web_servers(self, ports=None):
        """The publisher's servers of the scenario: the loopback server; nginx in the scenarios
        that say so."""
        return self.s.start_servers(ports)

    def serve_manifests(self, *entries, own=None, settings_text=SETTINGS):
        """The settings manifest and the upgrade manifest with the updater's own entry."""
        self.s.serve("/keldra/tallix.xml", settings_text)
        self.s.serve("/keldra/upgrade.xml", upgrade_manifest(own or own_entry(), *entries))

    def serve_version6_manifests(self, *entries):
        """The settings manifest and the version-6 upgrade manifest with the updater's own entry."""
        self.s.serve("/keldra/tallix.xml", SETTINGS)
        self.s.serve("/keldra/upgrade6s.xml", upgrade_manifest(
            "<tallix><n>升级程序</n><v>%s</v><f>/keldra/tallix.exe</f></tallix>\n" % build().version,
            *entries))

    def suite(self, *entries, offered="5.9.2.1", ports=None, **manifests):
        """The main program 5.9.2.1 installed and offered at `offered` beside the other entries;
        the servers started (on `ports`, all test ports by default)."""
        self.s.add_program("keldra-5.9.2.1", "keldra.exe")
        self.serve_manifests(entry("keldra", offered, name="Keldra"), *entries, **manifests)
        self.start_web_servers(ports)

    def assert_ends(self, updater, seconds=30, code=0):
        ended = updater.wait(seconds)
        self.assertIsNotNone(ended, "the updater did not end within %s s" % seconds)
        if code is not None:
            self.assertEqual(ended, code)

    def assert_never_shown(self, updater, seconds=30):
        """Watches the window until the updater ends: it must never be shown. The frame is made
        visible when it is created, before it has a picture (a layered window shows nothing
        then), and the check's outcome hides it at once; a check on a loaded machine can take a
        few seconds. So a window counts as shown only when it is still visible three seconds
        after it was first seen so: a window that is shown stays until it is answered."""
        deadline = time.monotonic() + seconds
        seen = None
        while updater.wait(0) is None and time.monotonic() < deadline:
            window = probe("wait", FRAME, 0)
            if not (window.get("found") and window.get("visible")):
                seen = None
            elif seen is None:
                seen = time.monotonic()
            else:
                self.assertLess(time.monotonic() - seen, 3.0, "window was shown")
            time.sleep(0.2)
        self.assert_ends(updater, 1)

    def shown_window(self, seconds=30):
        window = probe("wait", FRAME, seconds * 1000, "visible")
        self.assertTrue(window.get("visible"), "the window was not shown: %s" % window)
        return window

    def click_main_button(self):
        left, top = self.shown_window()["rect"][:2]
        time.sleep(0.5)
        probe("click", left + 190, top + 77)

    def close_by_caller(self, updater, seconds=20):
        """Closes the window as the calling program would; the updater ends."""
        self.assertTrue(probe("notice", FRAME, 4)["sent"])
        self.assert_ends(updater, seconds)

    def wait_for_file(self, path, data, seconds=40):
        def arrived():
            try:
                return read(path) == data
            except OSError:
                return False
        self.assertTrue(wait_until(arrived, seconds), "%s did not arrive whole" % path)

    def picture(self, name, rect):
        """A screenshot of the frame's rectangle, kept in the scenario's folder."""
        time.sleep(1)  # let the layered window settle
        png = os.path.join(self.s.dir, name + ".png")
        subprocess.run(["import-im6.q16", "-window", "root", png], check=True, timeout=60,
                       capture_output=True)
        return Image(png, rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1])

    def assert_last_row_is_the_frames(self, picture):
        """The frame's last row shows the frame (its background, or its bottom bar where one is
        drawn, both the same as the row above), not the shadow's edge."""
        differ = [(x, picture.at(x, 174), picture.at(x, 173)) for x in range(380)
                  if picture.at(x, 174) != picture.at(x, 173)]
        self.assertFalse(differ, "%d pixels of the last row are not the frame's, first "
                         "(x, pixel, pixel above): %s" % (len(differ), differ[:1]))

    def same_file(self, a, b):
        return os.path.exists(a) and filecmp.cmp(a, b, shallow=False)


def main():
    """Runs the scenarios of the calling file (or those named on the command line)."""
    module = sys.modules["__main__"]
    loader = unittest.defaultTestLoader
    names = sys.argv[1:]
    suite = loader.loadTestsFromNames(names, module) if names else loader.loadTestsFromModule(module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors)
    skipped = len(result.skipped)
    print("e2e: %d passed, %d failed, %d skipped" % (result.testsRun - failed - skipped, failed,
                                                     skipped))
    sys.exit(1 if failed else 0)
