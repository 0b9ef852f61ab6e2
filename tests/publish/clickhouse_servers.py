"""ClickHouse servers for tests, run as plain processes.

Each server gets a folder of its own below the test's folder (configuration, data, logs), listens
on one loopback address only, and is stopped by its process id. Two servers of a cluster sit on
127.0.0.1 and 127.0.0.2 with one HTTP port and two TCP ports: a server takes a replica at one of
its own addresses with its own TCP port for itself, and every loopback address is its own.
"""
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request

CONFIG = """<yandex>
  <logger><level>information</level><log>{folder}/log/server.log</log>
    <errorlog>{folder}/log/error.log</errorlog><size>20M</size><count>1</count></logger>
  <listen_host>{host}</listen_host><http_port>{http_port}</http_port><tcp_port>{tcp_port}</tcp_port>
  <path>{folder}/data/</path><tmp_path>{folder}/tmp/</tmp_path>
  <user_files_path>{folder}/user_files/</user_files_path>
  <format_schema_path>{folder}/format_schemas/</format_schema_path>
  <users_config>users.xml</users_config><timezone>UTC</timezone>
  <mark_cache_size>268435456</mark_cache_size><max_concurrent_queries>20</max_concurrent_queries>
  <remote_servers>{clusters}</remote_servers>
</yandex>
"""
USERS = """<yandex>
  <profiles><default><max_memory_usage>4000000000</max_memory_usage></default></profiles>
  <users><default><password></password><networks><ip>127.0.0.0/8</ip></networks>
    <profile>default</profile><quota>default</quota></default></users>
  <quotas><default></default></quotas>
</yandex>
"""


def server_program():
    found = shutil.which("clickhouse-server", path=os.environ.get("PATH", "") + ":/usr/sbin")
    return found or sys.exit("clickhouse-server is not installed (scripts/install-deps.sh)")


def free_ports(hosts, count):
    """`count` port numbers that are free on every one of `hosts`: above the Windows trees' test
    ports (20000 to 21999, which their scenarios bind and release as they go, perhaps at the same
    time) and below the system's range for outgoing connections."""
    ports = []
    while len(ports) < count:
        port = random.randrange(22000, 32000)
        if port in ports:
            continue
        try:
            for host in hosts:
                with socket.socket() as s:
                    s.bind((host, port))
        except OSError:
            continue
        ports.append(port)
    return ports


class ClickHouseServer:
    def __init__(self, folder, host, http_port, tcp_port, clusters=""):
        """`clusters`: the servers' <remote_servers> entries."""
        self.folder, self.host, self.http_port = os.path.abspath(folder), host, http_port
        self.url = "http://%s:%d/" % (host, http_port)
        self.config = CONFIG.format(folder=self.folder, host=host, http_port=http_port,
                                    tcp_port=tcp_port, clusters=clusters)
        self.process = None

    def start(self, timeout=90):
        """Starts the server and waits until it answers."""
        for part in ("data", "tmp", "log", "user_files", "format_schemas"):
            os.makedirs(os.path.join(self.folder, part), exist_ok=True)
        for name, text in (("config.xml", self.config), ("users.xml", USERS)):
            with open(os.path.join(self.folder, name), "w") as f:
                f.write(text)
        with open(os.path.join(self.folder, "log", "stdout.log"), "ab") as out:
            self.process = subprocess.Popen(
                [server_program(), "--config-file=" + os.path.join(self.folder, "config.xml")],
                stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, cwd=self.folder)
        return self.wait(timeout) if timeout else self

    def wait(self, timeout=90):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.process.poll() is None:
            try:
                with urllib.request.urlopen(self.url + "ping", timeout=2) as answer:
                    if answer.read() == b"Ok.\n":
                        return self
            except (urllib.error.URLError, ConnectionError, socket.timeout):
                time.sleep(0.1)
        self.stop()
        log = os.path.join(self.folder, "log", "error.log")
        tail = open(log, "rb").read()[-2000:] if os.path.exists(log) else b""
        raise RuntimeError("clickhouse-server did not start: %r" % tail)

    def stop(self):
        """Ends this server (and only it) by its process id."""
        if self.process is None or self.process.poll() is not None:
            return
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def query(self, sql):
        """The answer to `sql` as TabSeparated text (raises on an error)."""
        request = urllib.request.Request(self.url, data=sql.encode("utf-8"))
        with urllib.request.urlopen(request, timeout=120) as answer:
            return answer.read()


def start_one(folder):
    return ClickHouseServer(folder, "127.0.0.1", *free_ports(["127.0.0.1"], 2)).start()


def start_cluster(folder, name="tallix"):
    """Two servers, shards of the cluster `name`, on 127.0.0.1 and 127.0.0.2."""
    hosts = ["127.0.0.1", "127.0.0.2"]
    http_port, *tcp = free_ports(hosts, 3)
    clusters = "<%s>%s</%s>" % (name, "".join(
        "<shard><replica><host>%s</host><port>%d</port></replica></shard>" % shard
        for shard in zip(hosts, tcp)), name)
    servers = [ClickHouseServer(os.path.join(folder, "shard%d" % (i + 1)), host, http_port, port,
                                clusters) for i, (host, port) in enumerate(zip(hosts, tcp))]
    try:
        for server in servers:
            server.start(timeout=None)
        for server in servers:
            server.wait()
    except Exception:
        for server in servers:
            server.stop()
        raise
    return servers
