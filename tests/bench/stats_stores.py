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


class Bench:
    def __init__(self, out, publish, report_log, summary_times):
        self.out = out
        self.publish = publish
        self.report_log = report_log
        self.summary_times = summary_times

    def load(self, what, logs, *store, servers=()):
        """Loads each log with a loader of its own, all at once; prints the figures."""
        started = time.monotonic()
        busy = server_cpu(servers)
        loaders = []
        for i, log in enumerate(logs):
            timing = os.path.join(self.out, "time%d.txt" % i)
            loaders.append((timing, subprocess.Popen(
                ["/usr/bin/time", "-f", "%e %U %S %M", "-o", timing, self.publish, "stats", log,
                 *(store[i] if isinstance(store[0], list) else store)],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE)))
        said = []
        cpu = 0.0
        peak = 0
        for timing, loader in loaders:
            out, err = loader.communicate()
            if loader.returncode not in (0, 1):
                sys.exit("the load failed: " + err.decode("utf-8", "replace")[-2000:])
            said.append(out.decode().splitlines()[0])
            with open(timing) as f:
                _, user, system, kib = f.read().split()[-4:]
            cpu += float(user) + float(system)
            peak = max(peak, int(kib))
        wall = time.monotonic() - started
        servers_cpu = ", of the servers %.1f s" % (server_cpu(servers) - busy) if servers else ""
        print("%-36s load %6.1f s (CPU of the loaders %5.1f s%s), loader peak %5.1f MiB; %s" % (
            what, wall, cpu, servers_cpu, peak / 1024, "; ".join(said)), flush=True)

    def queries(self, *store):
        run = subprocess.run([self.summary_times, "3", *store], capture_output=True, check=True)
        for line in run.stdout.decode().splitlines():
            print("    " + line, flush=True)


def server_cpu(servers):
    """The CPU time the servers have used so far, in seconds."""
    total = 0
    for server in servers:
        with open("/proc/%d/stat" % server.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        total += int(fields[11]) + int(fields[12])  # utime, stime
    return total / os.sysconf("SC_CLK_TCK")


def server_peak(server):
    with open("/proc/%d/status" % server.process.pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0


def clickhouse_size(servers, database):
    size = parts = rows = 0
    for server in servers:
        answer = server.query(
            "SELECT sum(bytes_on_disk), count(), sum(if(table LIKE 'reports%%', rows, 0)) FROM "
            "system.parts WHERE active AND database = '%s' AND table IN %s" % (database, TABLES))
        a, b, c = answer.split()
        size, parts, rows = size + int(a), parts + int(b), rows + int(c)
    return "size %s in %d parts (%d report rows, before merges have removed every copy)" % (
        mb(size), parts, rows)


def main():
    out, publish, report_log, summary_times, reports = sys.argv[1:6]
    bench = Bench(out, publish, report_log, summary_times)
    lines = int(int(reports) / SHARE_OF_REPORTS)
    log = os.path.join(out, "requests.log")
    with open(log, "wb") as f:
        subprocess.run([report_log, str(lines)], stdout=f, check=True)
    halves = [os.path.join(out, "host-a.log"), os.path.join(out, "host-b.log")]
    with open(log, "rb") as f, open(halves[0], "wb") as a, open(halves[1], "wb") as b:
        for number, line in enumerate(f):
            (a if number < lines // 2 else b).write(line)
    print("log: %d requests, %s" % (lines, mb(os.path.getsize(log))), flush=True)

    db = os.path.join(out, "reports.db")
    bench.load("SQLite", [log], "--db", db)
    bench.queries("--db", db)
    print("    size %s" % mb(os.path.getsize(db)), flush=True)

    server = start_one(os.path.join(out, "one"))
    try:
        bench.load("ClickHouse, one server", [log], "--clickhouse", server.url, servers=[server])
        bench.queries("--clickhouse", server.url)
        print("    %s; server peak %.0f MiB" % (clickhouse_size([server], "default"),
                                                server_peak(server)), flush=True)
    finally:
        server.stop()
    shutil.rmtree(os.path.join(out, "one"), ignore_errors=True)

    cluster = start_cluster(os.path.join(out, "cluster"))
    try:
        one = cluster[0].url + "?database=one"
        for server in cluster:
            server.query("CREATE DATABASE one")
            server.query("CREATE DATABASE two")
        bench.load("ClickHouse, two shards, one loader", [log], "--clickhouse", one, "--cluster",
                   "tallix", servers=cluster)
        bench.queries("--clickhouse", one, "--cluster", "tallix")
        print("    " + clickhouse_size(cluster, "one"), flush=True)
        stores = [["--clickhouse", server.url + "?database=two", "--cluster", "tallix"]
                  for server in cluster]
        bench.load("ClickHouse, two shards, two loaders", halves, *stores, servers=cluster)
        bench.queries(*stores[0])
        print("    %s; servers' peaks %s MiB" % (
            clickhouse_size(cluster, "two"),
            " and ".join("%.0f" % server_peak(s) for s in cluster)), flush=True)
    finally:
        for server in cluster:
            server.stop()
    shutil.rmtree(os.path.join(out, "cluster"), ignore_errors=True)


if __name__ == "__main__":
    main()
