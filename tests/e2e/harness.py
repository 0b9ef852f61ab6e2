"""The end-to-end harness: runs the real tallix.exe under Wine against loopback servers and stub
programs, and observes it only from outside (requests, records, windows, processes, files and the
registry).

Every scenario gets a folder of its own below the build tree:
    suite/       the updater's directory (tallix.exe copied in, plus the suite programs it needs)
    root/        what the loopback servers serve (root/keldra/upgrade.xml, ...)
    state/       the servers' process id and request log
    logs/        logs of the stub windows
"""
import json
import os
import shutil
import signal
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def entry(tag, version, enforce=False, name=None, install=None, classname=None, extra=""):
    """One entry of an upgrade manifest."""
    text = "<%s><name>%s</name><version>%s</version><installfile>%s</installfile>" % (
        tag, name or tag, version, install or "/keldra/%s.exe" % tag)
    if classname:
        text += "<classname>%s</classname>" % classname
    if enforce:
        text += "<enforce>true</enforce>"
    return text + extra + "</%s>\n" % tag


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


class Build:
    """Paths and values of the build tree the scenarios run in (given by CTest)."""

    def __init__(self):
        env = os.environ
        self.dir = env["TALLIX_BUILD_DIR"]
        self.tallix = env["TALLIX_EXE"]
        self.probe = env["TALLIX_PROBE"]
        self.window_stub = env["TALLIX_WINDOW_STUB"]
        self.stubs = env["TALLIX_STUBS_DIR"]
        self.server = env["TALLIX_SERVER_SCRIPT"]
        self.ports = [int(p) for p in env["TALLIX_SERVER_PORTS"].split(",")]
        self.version = env["TALLIX_VERSION"]
        self.wine_run = os.path.join(REPO, "scripts", "wine-run.sh")
        self.work = os.path.join(self.dir, "e2e")


BUILD = None


def build():
    global BUILD
    if BUILD is None:
        BUILD = Build()
    return BUILD


def wine(*args, timeout=60):
    """Runs a Windows program to its end; returns (exit code, output)."""
    env = dict(os.environ, TALLIX_WINE_TIMEOUT=str(timeout))
    proc = subprocess.run([build().wine_run, build().dir] + [str(a) for a in args],
                          capture_output=True, text=True, env=env, timeout=timeout + 30)
    return proc.returncode, proc.stdout


def wine_json(*args, timeout=60):
    code, out = wine(*args, timeout=timeout)
    lines = [line for line in out.splitlines() if line.startswith("{")]
    if not lines:
        raise AssertionError("no answer from %s: exit %s, output %r" % (args, code, out))
    return json.loads(lines[-1])


def probe(*args, timeout=60):
    return wine_json(build().probe, *args, timeout=timeout)


def reg(*args):
    wine("reg", *args, timeout=60)


class Updater:
    """One tallix.exe process started in the background."""

    def __init__(self, exe, args, timeout):
        env = dict(os.environ, TALLIX_WINE_TIMEOUT=str(timeout))
        self.proc = start_group([build().wine_run, build().dir, exe] + list(args), env)
        self.started = time.monotonic()

    def wait(self, seconds):
        """The exit code, or None when it still runs after `seconds`."""
        try:
            return self.proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def elapsed(self):
        return time.monotonic() - self.started

    def kill(self):
        end_group(self.proc)


def start_group(args, env=None):
    """Starts a process in a process group of its own, so that it can be ended together with
    the Wine processes it starts."""
    return subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                            start_new_session=True)


def end_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()


class Scenario:
    """Folder, servers, stubs and registry values of one scenario; everything is undone at the
    end, and every process it started is ended by its own handle."""

    def __init__(self, name):
        self.name = name
        self.dir = os.path.join(build().work, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.suite = os.path.join(self.dir, "suite")
        self.root = os.path.join(self.dir, "root")
        self.state = os.path.join(self.dir, "state")
        self.logs = os.path.join(self.dir, "logs")
        for d in (self.suite, self.root, self.state, self.logs):
            os.makedirs(d)
        shutil.copy(build().tallix, os.path.join(self.suite, "tallix.exe"))
        self.server_running = False
        self.processes = []
        self.registry_keys = []

    # --- the publisher's side ---

    def serve(self, path, text, encoding="utf-8-sig"):
        """Puts a manifest (or any file) at `path` of the servers; UTF-8 with its mark by
        default."""
        full = os.path.join(self.root, path.lstrip("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(text.encode(encoding) if isinstance(text, str) else text)

    def start_servers(self):
        args = ["python3", build().server, "start", "--state-dir", self.state, "--root", self.root]
        for port in build().ports:
            args += ["--port", str(port)]
        subprocess.run(args, check=True, timeout=30, capture_output=True)
        self.server_running = True

    def requests(self):
        path = os.path.join(self.state, "requests.jsonl")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def requested_paths(self):
        return [r["path"].split("?")[0] for r in self.requests()]

    # --- the machine's side ---

    def add_program(self, stub_folder, name):
        """Copies a stub program with a chosen version into the suite folder."""
        shutil.copy(os.path.join(build().stubs, stub_folder, name),
                    os.path.join(self.suite, name))

    def program_starts(self, name):
        """The command lines with which the suite program `name` was started, in order."""
        log = os.path.join(self.suite, name + ".log")
        if not os.path.exists(log):
            return []
        with open(log, "rb") as f:
            return [line for line in f.read().decode("utf-16-le").split("\r\n") if line]

    def set_registry(self, key, name, value, kind="REG_SZ"):
        if key not in self.registry_keys:
            self.registry_keys.append(key)
        reg("add", key, "/v", name, "/t", kind, "/d", value, "/f")

    def window(self, class_name, visible=False, lifetime_ms=60000):
        """Starts a stub window of `class_name` that logs the records it receives."""
        log = os.path.join(self.logs, class_name + ".jsonl")
        args = [build().wine_run, build().dir, build().window_stub, class_name, log,
                "visible" if visible else "hidden", str(lifetime_ms)]
        proc = start_group(args)
        self.processes.append(proc)
        deadline = time.monotonic() + 30
        while not os.path.exists(log + ".ready"):
            if time.monotonic() > deadline or proc.poll() is not None:
                raise AssertionError("stub window %s did not start" % class_name)
            time.sleep(0.05)
        return StubWindow(log, proc)

    def run(self, *args, timeout=60):
        """Starts the scenario's tallix.exe with the given switches."""
        updater = Updater(os.path.join(self.suite, "tallix.exe"), args, timeout)
        self.processes.append(updater.proc)
        return updater

    def suite_processes(self):
        """(pid, command line) of the running processes started from this scenario's suite
        folder: the updater and whatever it started from there, such as a second updater that
        Wine starts outside our process groups."""
        unix = self.suite.lower()
        windows = ("z:" + self.suite).replace("/", "\\").lower()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    args = [a for a in f.read().decode("utf-8", "replace").split("\0") if a]
            except OSError:
                continue
            line = " ".join(args)
            if unix in line.lower() or windows in line.lower():
                found.append((int(pid), line))
        return found

    def close(self):
        for proc in self.processes:
            end_group(proc)
        for pid, _ in self.suite_processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self.server_running:
            subprocess.run(["python3", build().server, "stop", "--state-dir", self.state],
                           timeout=30, capture_output=True)
        for key in self.registry_keys:
            reg("delete", key, "/f")


class StubWindow:
    def __init__(self, log, proc):
        self.log = log
        self.proc = proc

    def records(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]
