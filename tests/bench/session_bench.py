#!/usr/bin/env python3
"""Benchmarks of whole updater sessions: the real tallix.exe of the Wine build tree runs against
the loopback servers and stub programs of the end-to-end scenarios (tests/e2e/harness.py) and is
timed and measured from outside. Not a test: it prints figures.

    session_bench.py download SIZE_MB ROUNDS [BARE_MB_S]
        a package of SIZE_MB through the updater with its window shown (after the click) and in a
        silent run for a caller ("-silent -notice"), timed from the first request of the package
        to its rename; ratios to the bare WinINet loop when its figure is given
    session_bench.py quiet RUNS
        the wall time of a quiet check with nothing to do ("-keldra -silent -notice") against a
        program that only makes the same three manifest fetches, alternating, RUNS each
    session_bench.py memory SIZE_MB
        the peak working set (GetProcessMemoryInfo, read by tests/bench/memory_observer.cpp) of a
        quiet check and of a silent session that downloads a package of SIZE_MB
"""
import json
import os
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The Wine tree of this machine (scripts/wine-machine.sh), as the benchmark scripts give it.
BUILD = os.path.join(REPO, "build", os.environ.get("TALLIX_WINE_TREE", "win64"))


def harness_environment():
    """The environment that CTest gives the scenarios, read from the build tree."""
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=BUILD, check=True,
                         capture_output=True, text=True).stdout
    for test in json.loads(out)["tests"]:
        if test["name"].startswith("e2e_"):
            for prop in test.get("properties", []):
                if prop["name"] == "ENVIRONMENT":
                    return dict(item.split("=", 1) for item in prop["value"])
    raise SystemExit("no end-to-end test in %s: configure and build it first" % BUILD)


os.environ.update(harness_environment())
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import harness  # noqa: E402
from harness import CALLER, FRAME, entry, probe, read, stub, upgrade_manifest  # noqa: E402

PACKAGE = "/keldra/fennick.exe"


def wait_for(condition, seconds, step=0.005):
    """Polls finely until the condition holds; returns the monotonic time it held, or None."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return time.monotonic()
        time.sleep(step)
    return None


def scenario(name, *entries):
    """A suite folder with the main program up to date and the servers started."""
    s = harness.Scenario(name)
    s.add_program("keldra-5.9.2.1", "keldra.exe")
    s.serve("/keldra/tallix.xml", harness.SETTINGS)
    s.serve("/keldra/upgrade.xml", upgrade_manifest(
        harness.own_entry(), entry("keldra", "5.9.2.1", name="Keldra"), *entries))
    s.start_servers()
    return s


def package_scenario(name, size_mb):
    """The sibling product 1.0.0.0 installed and offered at 6.0.0.1, whose package is a program
    of that version padded to SIZE_MB (so that its version check passes)."""
    program = read(stub("keldra-6.0.0.1", "keldra.exe"))
    size = size_mb * 1048576
    s = scenario(name, entry("fennick", "6.0.0.1"))
    s.add_program("fennick-1.0.0.0", "fennick.exe")
    path = os.path.join(s.root, PACKAGE.lstrip("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(program)
        f.write(b"\0" * max(0, size - len(program)))
    return s, os.path.getsize(path)


def first_request(s, path):
    return any(r["path"].split("?")[0] == path for r in s.requests())


def timed_download(s, size):
    """Seconds from the first request of the package to its rename, and MB/s."""
    target = os.path.join(s.suite, "upgrade", "fennick.exe")
    began = wait_for(lambda: first_request(s, PACKAGE), 120)
    if began is None:
        raise SystemExit("the package was never requested")
    ended = wait_for(lambda: os.path.exists(target), 1200)
    if ended is None:
        raise SystemExit("the package never arrived")
    seconds = ended - began
    attempts = {r["path"] for r in s.requests() if r["path"].split("?")[0] == PACKAGE}
    if len(attempts) > 1:
        print("(the package was fetched %d times: the build's wait for one package ran out)" %
              len(attempts))
    return seconds, size / seconds / 1e6


def download_shown(size_mb):
    s, size = package_scenario("bench_download_shown", size_mb)
    try:
        s.run("-fennick", timeout=1500)
        window = probe("wait", FRAME, 30000, "visible")
        if not window.get("visible"):
            raise SystemExit("the window was not shown: %s" % window)
        left, top = window["rect"][:2]
        time.sleep(0.5)
        probe("click", left + 190, top + 77)
        return timed_download(s, size)
    finally:
        s.close()


def download_silent(size_mb):
    s, size = package_scenario("bench_download_silent", size_mb)
    try:
        caller = s.window(CALLER)
        s.run("-fennick", "-silent", "-notice", timeout=1500)
        result = timed_download(s, size)
        records = len(caller.records())
        return result + (records,)
    finally:
        s.close()


def download(size_mb, rounds, bare):
    best_shown = best_silent = 0.0
    for round_ in range(1, rounds + 1):
        seconds, shown = download_shown(size_mb)
        print("round %d, tallix.exe with its window shown: %.1f s, %.1f MB/s" %
              (round_, seconds, shown), flush=True)
        seconds, silent, records = download_silent(size_mb)
        print("round %d, tallix.exe -silent -notice with a caller: %.1f s, %.1f MB/s "
              "(%d caller records)" % (round_, seconds, silent, records), flush=True)
        best_shown, best_silent = max(best_shown, shown), max(best_silent, silent)
    for name, rate in (("tallix.exe, window shown", best_shown),
                       ("tallix.exe, -silent -notice with a caller", best_silent)):
        ratio = " (ratio %.2f to the bare loop)" % (rate / bare) if bare else ""
        print("%s: %.1f MB/s%s" % (name, rate, ratio))
    print("shown window against the silent run: %.2f (goal: at least 0.80)" %
          (best_shown / best_silent))


def quiet(runs):
    s = scenario("bench_quiet")
    try:
        exe = os.path.join(s.suite, "tallix.exe")
        log = os.path.join(s.logs, CALLER + ".jsonl")

        stub = {"started": 0.0, "caller": None}

        def updater_run():
            # The stub caller ends after a minute: a fresh one takes over well before.
            if time.monotonic() - stub["started"] > 40:
                if stub["caller"] is not None:
                    harness.end_group(s.processes[-1])
                stub["caller"], stub["started"] = s.window(CALLER), time.monotonic()
            before = len(stub["caller"].records())
            start, start_wall = time.monotonic(), time.time()
            code, _ = harness.wine(exe, "-keldra", "-silent", "-notice", timeout=60)
            total = time.monotonic() - start
            if code != 0 or len(stub["caller"].records()) != before + 1:
                raise SystemExit("the quiet check did not end with one caller record")
            return total, os.path.getmtime(log) - start_wall

        # The three manifest requests of a check, as the server saw them, fetched by the yardstick.
        updater_run()
        urls = ["http://%s%s" % (r["headers"]["Host"], r["path"]) for r in s.requests()
                if r["path"].startswith("/keldra/")][:3]
        fetch = os.path.join(BUILD, "fetch_three.exe")

        def minimal_run():
            start = time.monotonic()
            code, _ = harness.wine(fetch, *urls, timeout=60)
            if code != 0:
                raise SystemExit("fetch_three failed: %s" % urls)
            return time.monotonic() - start

        totals, told, minimal = [], [], []
        for _ in range(runs):
            total, at = updater_run()
            totals.append(total)
            told.append(at)
            minimal.append(minimal_run())
    finally:
        s.close()

    def figures(values):
        q = statistics.quantiles(values, n=4)
        return "median %.3f s (quartiles %.3f to %.3f, min %.3f, max %.3f)" % (
            statistics.median(values), q[0], q[2], min(values), max(values))

    print("manifests fetched: %s" % ", ".join(u.split("?")[0] for u in urls))
    print("minimal program, the same %d fetches: %s" % (len(urls), figures(minimal)))
    print("tallix.exe -keldra -silent -notice, to its end: %s" % figures(totals))
    print("tallix.exe, to the caller's record: %s" % figures(told))
    base = statistics.median(minimal)
    print("ratio to the minimal program: %.2f to the end, %.2f to the caller's record "
          "(goal: at most 1.30)" % (statistics.median(totals) / base,
                                    statistics.median(told) / base))


def observe(*args):
    code, out = harness.wine(os.path.join(BUILD, "memory_observer.exe"), *args, timeout=1500)
    lines = [line for line in out.splitlines() if line.startswith("{")]
    if code != 0 or not lines or "error" in lines[-1]:
        raise SystemExit("memory_observer failed: %s" % out)
    return json.loads(lines[-1])


def memory(size_mb):
    s = scenario("bench_memory_check")
    try:
        s.window(CALLER)
        check = observe(harness.windows_path(os.path.join(s.suite, "tallix.exe")),
                        "-keldra", "-silent", "-notice")
    finally:
        s.close()
    s, size = package_scenario("bench_memory_download", size_mb)
    try:
        s.window(CALLER)
        download = observe(harness.windows_path(os.path.join(s.suite, "tallix.exe")),
                           "-fennick", "-silent", "-notice")
        # The session installs what it downloaded over the sibling's program.
        if os.path.getsize(os.path.join(s.suite, "fennick.exe")) != size:
            raise SystemExit("the package was not downloaded and installed")
    finally:
        s.close()
    mib = 1048576
    print("quiet check: peak working set %.1f MiB, peak pagefile %.1f MiB (%d samples)" %
          (check["peakWorkingSet"] / mib, check["peakPagefile"] / mib, check["samples"]))
    print("download of %.0f MB: peak working set %.1f MiB, peak pagefile %.1f MiB (%d samples)" %
          (size / 1e6, download["peakWorkingSet"] / mib, download["peakPagefile"] / mib,
           download["samples"]))
    print("the download's peak above the check's: %.1f MiB (goal: at most 4 MiB)" %
          ((download["peakWorkingSet"] - check["peakWorkingSet"]) / mib))


def main():
    what = sys.argv[1] if len(sys.argv) > 1 else ""
    if what == "download" and len(sys.argv) >= 4:
        download(int(sys.argv[2]), int(sys.argv[3]),
                 float(sys.argv[4]) if len(sys.argv) > 4 else 0.0)
    elif what == "quiet" and len(sys.argv) == 3:
        quiet(int(sys.argv[2]))
    elif what == "memory" and len(sys.argv) == 3:
        memory(int(sys.argv[2]))
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
