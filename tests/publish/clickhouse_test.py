#!/usr/bin/env python3
"""`tallix-publish stats` with the ClickHouse store, against real servers started here.

    clickhouse_test.py one|shards TALLIX_PUBLISH REPORT_LOG OUT

"one" starts one server and requires:
  - the same log loaded into SQLite and into ClickHouse gives the same summaries (text, JSON and
    page), and every value of every row arrives unchanged: quotes, control characters, a field of
    70,000 bytes; the text printed from ClickHouse carries no control character of a report;
  - a log loaded twice, or in overlapping parts by two loaders at once, counts each report once;
  - an insert whose answer is lost is sent again and counts once; a server that refuses a batch,
    or goes down under it, makes stats exit 2 with the reason, saying from which line on the log
    is not stored (standard input's lines are kept in a file); the lines before it are stored,
    and loading the rest later gives the whole log's summaries.
"shards" starts two servers as the two shards of a cluster, loads the log through both at once
in overlapping parts, and requires the rows spread over both shards by the machine's identity
(each machine on one shard, each report's hijack rows beside it) and the summaries, read through
either shard, to equal those of SQLite and of one server; with one shard down, a load through the
other exits 2, and loads once the shard is back.
Servers run as plain processes with everything in OUT, on loopback ports, stopped by PID.
"""
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from clickhouse_servers import start_cluster, start_one  # noqa: E402
from fault_proxy import FaultProxy  # noqa: E402

LINES = 1200
BATCH = 200  # lines per batch: several batches in a log of LINES
TABLES = {"reports": "key", "hijacks": "report_key, position", "malformed": "key"}
CONTROL = re.compile(rb"[\x00-\x08\x0b-\x1f\x7f]|\xc2[\x80-\x9f]")
UNESCAPE = {b"b": b"\b", b"f": b"\f", b"n": b"\n", b"r": b"\r", b"t": b"\t", b"0": b"\0"}


class Test:
    def __init__(self, publish, report_log, out):
        self.publish = publish
        self.out = out
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        self.log = os.path.join(out, "requests.log")
        with open(self.log, "wb") as f:
            subprocess.run([report_log, str(LINES), "--hostile"], stdout=f, check=True)
        with open(self.log, "rb") as f:
            self.lines = f.read().splitlines(keepends=True)
        self.failures = []

    def check(self, condition, what):
        if not condition:
            self.failures.append(what)
            print("FAILED:", what, flush=True)

    def part(self, name, begin, end):
        path = os.path.join(self.out, name)
        with open(path, "wb") as f:
            f.writelines(self.lines[begin:end])
        return path

    def stats(self, *args, stdin=None, expect=(1,)):
        """Runs stats; by default the log's malformed lines make it exit 1."""
        run = subprocess.run([self.publish, "stats", *args], capture_output=True, input=stdin,
                             cwd=self.out, timeout=600)
        self.check(run.returncode in expect, "stats %s exited %d, not %s: %s" % (
            " ".join(args)[:200], run.returncode, expect, run.stderr[-2000:]))
        return run

    def summaries(self, *store):
        run = self.stats(*store, "--json", expect=(0, 1))
        return json.loads(run.stdout)["summaries"] if run.returncode in (0, 1) else None

    def same(self, expected, *store):
        self.check(self.summaries(*store) == expected, "the summaries of %s differ" % (store,))

    def sqlite(self, name, lines):
        """A database of the log's first `lines` lines."""
        db = os.path.join(self.out, name + ".db")
        log = self.log if lines == len(self.lines) else self.part(name + ".log", 0, lines)
        self.stats(log, "--db", db, expect=(0, 1))
        return db


def database(server, name):
    server.query("CREATE DATABASE IF NOT EXISTS " + name)
    return server.url + "?database=" + name


def hold_merges(t, servers, name, *cluster):
    """Makes the tables and stops their merges, so that every copy of a report stays a row."""
    t.stats("--clickhouse", servers[0].url + "?database=" + name, *cluster, expect=(0,))
    for server in servers:
        for table in TABLES:
            server.query("SYSTEM STOP MERGES %s.%s%s" % (name, table, "_local" if cluster else ""))


def load_overlapping(t, urls, *cluster):
    """Two loaders at once, through each of `urls` in turn, of two overlapping parts of the log;
    returns the first part."""
    parts = [t.part("first.log", 0, LINES * 3 // 5), t.part("second.log", LINES * 2 // 5, LINES)]
    loaders = [subprocess.Popen([t.publish, "stats", part, "--clickhouse", url, *cluster,
                                 "--batch", str(BATCH)], stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE) for part, url in zip(parts, urls * 2)]
    for loader in loaders:
        t.check(loader.wait(timeout=600) == 1, "a loader failed: %s" % loader.stderr.read())
    return parts[0]


def copies(t, server, name, suffix=""):
    """The reports; requires more report rows than reports."""
    rows, reports = (int(server.query("SELECT count() FROM %s.reports%s%s" % (name, suffix, final)))
                     for final in ("", " FINAL"))
    t.check(rows > reports, "no copies at %s (%d rows, %d reports)" % (server.url, rows, reports))
    return reports


def same_store_as_sqlite(t, server, name, db, tables=tuple(TABLES)):
    """Every value of every row arrives unchanged (TabSeparated escapes are undone)."""
    connection = sqlite3.connect(db)
    connection.text_factory = bytes
    for table in tables:
        columns = [c[1].decode() for c in connection.execute("PRAGMA table_info(%s)" % table)]
        select = "SELECT %s FROM %%s ORDER BY %s" % (", ".join(columns), TABLES[table])
        expected = [tuple(v if isinstance(v, bytes) else str(v).encode() for v in row)
                    for row in connection.execute(select % table)]
        text = server.query(select % ("%s.%s FINAL" % (name, table)) + " FORMAT TabSeparated")
        got = [tuple(re.sub(rb"\\(.)", lambda m: UNESCAPE.get(m.group(1), m.group(1)), field)
                     for field in line.split(b"\t")) for line in text.splitlines()]
        t.check(got == expected,
                "%s.%s: %d rows differ from SQLite's %d" % (name, table, len(got), len(expected)))
    connection.close()


def one_server(t):
    server = start_one(os.path.join(t.out, "server"))
    try:
        whole_db = t.sqlite("whole", LINES)
        expected = t.summaries(whole_db)

        # The same log, the same summaries, the same rows; printed escaped. The answer to the
        # second insert is lost after the server took the rows: the batch is sent again.
        url = database(server, "same")
        with FaultProxy(server, "reports", 2, "lost") as proxy:
            loaded = t.stats(t.log, "--clickhouse", proxy.url + "?database=same", "--batch",
                             str(BATCH))
        batches = (LINES + BATCH - 1) // BATCH
        t.check(proxy.inserts == batches + 1, "%d inserts of %d batches" % (proxy.inserts, batches))
        pages = [os.path.join(t.out, name + ".html") for name in ("sqlite", "clickhouse")]
        printed = [t.stats(*store, "--html", page, expect=(0,)).stdout.replace(page.encode(), b"")
                   for store, page in zip([[whole_db], ["--clickhouse", url]], pages)]
        t.check(re.match(rb"loaded \d+ report\(s\), \d+ malformed", loaded.stdout),
                "the load says %r" % loaded.stdout[:200])
        t.check(printed[0] == printed[1], "the printed summaries differ from SQLite's")
        t.check(CONTROL.search(loaded.stdout + printed[1]) is None, "a control character printed")
        with open(pages[0], "rb") as a, open(pages[1], "rb") as b:
            t.check(a.read() == b.read(), "the page differs from SQLite's")
        t.same(expected, "--clickhouse", url)
        same_store_as_sqlite(t, server, "same", whole_db)
        longest = server.query("SELECT max(length(location)) FROM same.hijacks")
        t.check(int(longest) > 65536, "the longest location has %s bytes" % longest)

        # In overlapping parts by two loaders at once, then one part again, the server's merges
        # held: the summaries count each report once however many copies are stored.
        url = database(server, "parts")
        hold_merges(t, [server], "parts")
        first = load_overlapping(t, [url])
        t.same(expected, "--clickhouse", url)
        t.stats(first, "--clickhouse", url)
        t.same(expected, "--clickhouse", url)
        copies(t, server, "parts")
        # (a malformed line's place names the part it was read from)
        same_store_as_sqlite(t, server, "parts", whole_db, ("reports", "hijacks"))

        faults(t, server, expected)
    finally:
        server.stop()


def failed_from(t, run, log):
    """The line from which a failed load says the log is not stored."""
    found = re.search(rb"the lines from " + re.escape(log.encode()) + rb":(\d+) on are not stored",
                      run.stderr)
    t.check(found is not None, "no first unstored line in %r" % run.stderr[-1000:])
    return int(found.group(1)) if found else 1


def faults(t, server, expected):
    # A batch the server refuses: exit 2 with its reason; the lines before are stored, and
    # loading the log again adds the rest.
    url = database(server, "refused")
    with FaultProxy(server, "reports", 3, "refuse") as proxy:
        run = t.stats(t.log, "--clickhouse", proxy.url + "?database=refused", "--batch",
                      str(BATCH), expect=(2,))
    t.check(b"readonly" in run.stderr, "the refusal's reason is not given: %r" % run.stderr)
    first = failed_from(t, run, t.log)
    t.check(first == 2 * BATCH + 1, "the failed batch begins at line %d" % first)
    t.same(t.summaries(t.sqlite("before", first - 1)), "--clickhouse", url)
    t.stats(t.part("rest.log", first - 1, LINES), "--clickhouse", url)
    t.same(expected, "--clickhouse", url)

    # The server goes down under a batch read from standard input: retried, then given up; the
    # batch and the rest of the input are kept, and load when the server is back.
    url = database(server, "down")
    kept = os.path.join(t.out, "kept.log")
    with FaultProxy(server, "reports", 4, "down", on_down=server.stop) as proxy:
        run = t.stats("-", "--clickhouse", proxy.url + "?database=down", "--batch", str(BATCH),
                      "--unloaded", kept, stdin=b"".join(t.lines), expect=(2,))
    t.check(b"does not answer" in run.stderr and b"tried 5 times" in run.stderr,
            "the failure's reason is not given: %r" % run.stderr)
    first = failed_from(t, run, "-")
    with open(kept, "rb") as f:
        t.check(f.read() == b"".join(t.lines[first - 1:]),
                "%s does not hold the lines from %d on" % (kept, first))
    server.start()
    t.stats(kept, "--clickhouse", url)
    t.same(expected, "--clickhouse", url)


def shards(t):
    cluster = start_cluster(os.path.join(t.out, "cluster"))
    try:
        expected = t.summaries(t.sqlite("whole", LINES))
        one = database(cluster[0], "single")
        t.stats(t.log, "--clickhouse", one)
        t.same(expected, "--clickhouse", one)

        # Two loaders at once, one through each shard, the shards' merges held; the summaries
        # read through either shard.
        urls = [database(server, "stats") for server in cluster]
        hold_merges(t, cluster, "stats", "--cluster", "tallix")
        load_overlapping(t, urls, "--cluster", "tallix")
        for url in urls:
            t.same(expected, "--clickhouse", url, "--cluster", "tallix")

        machines = []
        for server in cluster:
            count = copies(t, server, "stats", "_local")
            t.check(count > 0, "the shard at %s holds no report" % server.url)
            machines.append(set(server.query(
                "SELECT DISTINCT disk, dns FROM stats.reports_local").splitlines()))
            strays = int(server.query(
                "SELECT count() FROM stats.hijacks_local WHERE report_key NOT IN "
                "(SELECT key FROM stats.reports_local)"))
            t.check(strays == 0, "%d hijack rows at %s without their report" % (strays, server.url))
        t.check(not machines[0] & machines[1], "machines on both shards")

        # A shard that is down fails the batch (the insert waits for every shard), and the lines
        # load once it is back.
        late = [database(server, "late") for server in cluster]
        t.stats("--clickhouse", late[0], "--cluster", "tallix", expect=(0,))
        cluster[1].stop()
        head = t.part("head.log", 0, 2 * BATCH)
        run = t.stats(head, "--clickhouse", late[0], "--cluster", "tallix", expect=(2,))
        t.check(b"127.0.0.2" in run.stderr and failed_from(t, run, head) == 1,
                "the shard that is down is not named: %r" % run.stderr[-1000:])
        cluster[1].start()
        t.stats(head, "--clickhouse", late[0], "--cluster", "tallix")
        t.same(t.summaries(t.sqlite("head", 2 * BATCH)), "--clickhouse", late[1], "--cluster",
               "tallix")
    finally:
        for server in cluster:
            server.stop()


def main():
    mode, publish, report_log, out = sys.argv[1:5]
    started = time.monotonic()
    t = Test(os.path.abspath(publish), os.path.abspath(report_log), os.path.abspath(out))
    {"one": one_server, "shards": shards}[mode](t)
    print("%s: %d failure(s) in %.1f s" % (mode, len(t.failures), time.monotonic() - started))
    return 1 if t.failures else 0


if __name__ == "__main__":
    sys.exit(main())
