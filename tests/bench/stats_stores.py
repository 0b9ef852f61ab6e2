#!/usr/bin/env python3
"""The statistics stores side by side (run by scripts/bench-stats-stores.sh).

    stats_stores.py OUT TALLIX_PUBLISH REPORT_LOG SUMMARY_TIMES REPORTS

Makes a statistics-host log of about REPORTS reports (with the host's other requests and some
malformed ones), then loads it with `tallix-publish stats` into SQLite, into one ClickHouse
server, into two ClickHouse shards through one loader, and into two shards through two loaders
at once (each half of the log through its own shard, as one loader per statistics host). For
each it prints the load's wall and CPU time and the loader's peak memory, the servers' peak
memory, each summary query's time (first run, best of three) and the size on disk. The servers
run as plain processes on loopback ports with their folders in OUT, and are stopped by PID.
"""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "publish"))
from clickhouse_servers import start_cluster, start_one  # noqa: E402

SHARE_OF_REPORTS = 0.91  # of the synthetic log's lines (tests/publish/synthetic_log.cpp)
TABLES = "('reports_local', 'hijacks_local', 'malformed_local', 'reports', 'hijacks', 'malformed')"


def mb(size):
    return "%.1f MB" % (size / 1e6)


def proc(server, name):
    with open("/proc/%d/%s" % (server.process.pid, name)) as f:
        return f.read()


def server_cpu(servers):
    """The CPU time the servers have used so far, in seconds (utime and stime)."""
    fields = [proc(s, "stat").rsplit(")", 1)[1].split() for s in servers]
    return sum(int(f[11]) + int(f[12]) for f in fields) / os.sysconf("SC_CLK_TCK")


def server_peak(server):
    return int(re.search(r"VmHWM:\s*(\d+)", proc(server, "status")).group(1)) / 1024


def load(what, logs, stores, servers=()):
    """Loads each log into its store with a loader of its own, all at once; prints the figures."""
    started, busy = time.monotonic(), server_cpu(servers)
    loaders = [(os.path.join(OUT, "time%d.txt" % i), subprocess.Popen(
        ["/usr/bin/time", "-f", "%e %U %S %M", "-o", os.path.join(OUT, "time%d.txt" % i), PUBLISH,
         "stats", log, *store], stdout=subprocess.PIPE, stderr=subprocess.PIPE))
        for i, (log, store) in enumerate(zip(logs, stores))]
    said, cpu, peak = [], 0.0, 0
    for timing, loader in loaders:
        out, err = loader.communicate()
        if loader.returncode not in (0, 1):
            sys.exit("the load failed: " + err.decode("utf-8", "replace")[-2000:])
        said.append(out.decode().splitlines()[0])
        with open(timing) as f:
            _, user, system, kib = f.read().split()[-4:]
        cpu, peak = cpu + float(user) + float(system), max(peak, int(kib))
    servers_cpu = ", of the servers %.1f s" % (server_cpu(servers) - busy) if servers else ""
    print("%-36s load %6.1f s (CPU of the loaders %5.1f s%s), loader peak %5.1f MiB; %s" % (
        what, time.monotonic() - started, cpu, servers_cpu, peak / 1024, "; ".join(said)))
    run = subprocess.run([SUMMARY_TIMES, "3", *stores[0]], capture_output=True, check=True)
    for line in run.stdout.decode().splitlines():
        print("    " + line)


def clickhouse_size(servers, database):
    size = parts = rows = 0
    for server in servers:
        a, b, c = server.query(
            "SELECT sum(bytes_on_disk), count(), sum(if(table LIKE 'reports%%', rows, 0)) FROM "
            "system.parts WHERE active AND database = '%s' AND table IN %s" % (database, TABLES)
        ).split()
        size, parts, rows = size + int(a), parts + int(b), rows + int(c)
    return "size %s in %d parts (%d report rows, before merges have removed every copy)" % (
        mb(size), parts, rows)


def main():
    lines = int(int(REPORTS) / SHARE_OF_REPORTS)
    log = os.path.join(OUT, "requests.log")
    with open(log, "wb") as f:
        subprocess.run([REPORT_LOG, str(lines)], stdout=f, check=True)
    halves = [os.path.join(OUT, "host-a.log"), os.path.join(OUT, "host-b.log")]
    with open(log, "rb") as f, open(halves[0], "wb") as a, open(halves[1], "wb") as b:
        for number, line in enumerate(f):
            (a if number < lines // 2 else b).write(line)
    print("log: %d requests, %s" % (lines, mb(os.path.getsize(log))))

    db = os.path.join(OUT, "reports.db")
    load("SQLite", [log], [["--db", db]])
    print("    size %s" % mb(os.path.getsize(db)))

    server = start_one(os.path.join(OUT, "one"))
    try:
        load("ClickHouse, one server", [log], [["--clickhouse", server.url]], [server])
        print("    %s; server peak %.0f MiB" % (clickhouse_size([server], "default"),
                                                server_peak(server)))
    finally:
        server.stop()
    shutil.rmtree(os.path.join(OUT, "one"), ignore_errors=True)

    cluster = start_cluster(os.path.join(OUT, "cluster"))
    try:
        for server in cluster:
            server.query("CREATE DATABASE one")
            server.query("CREATE DATABASE two")
        load("ClickHouse, two shards, one loader", [log],
             [["--clickhouse", cluster[0].url + "?database=one", "--cluster", "tallix"]], cluster)
        print("    " + clickhouse_size(cluster, "one"))
        load("ClickHouse, two shards, two loaders", halves,
             [["--clickhouse", s.url + "?database=two", "--cluster", "tallix"] for s in cluster],
             cluster)
        peaks = " and ".join("%.0f" % server_peak(s) for s in cluster)
        print("    %s; servers' peaks %s MiB" % (clickhouse_size(cluster, "two"), peaks))
    finally:
        for server in cluster:
            server.stop()
    shutil.rmtree(os.path.join(OUT, "cluster"), ignore_errors=True)


if __name__ == "__main__":
    OUT, PUBLISH, REPORT_LOG, SUMMARY_TIMES, REPORTS = sys.argv[1:6]
    sys.stdout.reconfigure(line_buffering=True)
    main()
