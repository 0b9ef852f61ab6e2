#!/usr/bin/env python3
"""Checks of the loopback test server itself: the answers that later scenarios rely on."""
import http.client
import json
import os
import socket
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "loopback_server.py")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class LoopbackServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.folder.name, "root")
        cls.state = os.path.join(cls.folder.name, "state")
        cls.port = free_port()
        subprocess.run([sys.executable, SERVER, "start", "--state-dir", cls.state, "--root",
                        cls.root, "--port", str(cls.port)], check=True, stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        subprocess.run([sys.executable, SERVER, "stop", "--state-dir", cls.state], check=True)
        cls.folder.cleanup()

    def setUp(self):
        self.put("_rules.json", b"{}")

    def put(self, name, data):
        path = os.path.join(self.root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def get(self, path, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
        connection.request("GET", path, headers=headers or {})
        response = connection.getresponse()
        body = response.read()
        connection.close()
        return response.status, dict(response.getheaders()), body

    def log_lines(self):
        with open(os.path.join(self.state, "requests.jsonl"), encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def test_serves_bytes_exactly_and_ignores_the_query(self):
        data = b"\xff\xfe<\x00a\x00/\x00>\x00\x00\x80"
        self.put("keldra/upgrade.xml", data)
        self.assertEqual(self.get("/keldra/upgrade.xml?a=-17"), (200, mock.ANY, data))

    def test_logs_every_request_with_its_query_and_headers(self):
        before = len(self.log_lines())
        self.get("/nothing?a=5", {"X-Probe": "1"})
        line = self.log_lines()[before]
        self.assertEqual((line["method"], line["path"], line["port"]),
                         ("GET", "/nothing?a=5", self.port))
        self.assertEqual(line["headers"]["X-Probe"], "1")

    def test_ranges(self):
        self.put("pkg/a.bin", bytes(range(100)))
        cases = [("bytes=10-19", 206, bytes(range(10, 20)), "bytes 10-19/100"),
                 ("bytes=90-", 206, bytes(range(90, 100)), "bytes 90-99/100"),
                 ("bytes=-5", 206, bytes(range(95, 100)), "bytes 95-99/100"),
                 ("bytes=100-", 416, b"", "bytes */100"),
                 ("items=1-2", 200, bytes(range(100)), None)]
        for header, status, body, content_range in cases:
            with self.subTest(header):
                got_status, headers, got_body = self.get("/pkg/a.bin", {"Range": header})
                self.assertEqual((got_status, got_body), (status, body))
                self.assertEqual(headers.get("Content-Range"), content_range)

    def test_rules(self):
        self.put("keldra/tallix.xml", b"<TallixSet/>")
        self.put("_rules.json", json.dumps({
            "/keldra/tallix.xml": {"answer": "html404"},
            "/empty": {"answer": "empty"},
            "/big": {"answer": "oversize", "size": 1100000, "fill": "ab"},
            "/moved": {"answer": "redirect", "status": 301, "location": "http://127.0.0.1:9/x"},
            "/alias": {"answer": "file", "file": "keldra/tallix.xml"},
        }).encode())
        status, _, body = self.get("/keldra/tallix.xml")
        self.assertEqual(status, 404)
        self.assertTrue(body.startswith(b"<!DOCTYPE html>"))
        self.assertEqual(self.get("/empty")[::2], (200, b""))
        status, _, body = self.get("/big")
        self.assertEqual((status, len(body), body[:4]), (200, 1100000, b"abab"))
        status, headers, _ = self.get("/moved")
        self.assertEqual((status, headers["Location"]), (301, "http://127.0.0.1:9/x"))
        self.assertEqual(self.get("/alias")[::2], (200, b"<TallixSet/>"))

    def test_wildcard_rule_and_dropped_connection(self):
        self.put("_rules.json", b'{"*": {"answer": "close"}}')
        with self.assertRaises((http.client.HTTPException, ConnectionError)):
            self.get("/keldra/upgrade.xml")

    def test_damaged_answers(self):
        self.put("pkg/d.bin", bytes(range(200)))
        self.put("_rules.json", json.dumps({
            "/cut": {"answer": "cut", "file": "pkg/d.bin", "bytes": 50},
            "/nolength": {"answer": "nolength", "file": "pkg/d.bin"},
        }).encode())
        with self.assertRaises(http.client.IncompleteRead):
            self.get("/cut")
        status, headers, body = self.get("/nolength")
        self.assertEqual((status, body), (200, bytes(range(200))))
        self.assertNotIn("Content-Length", headers)

    def test_second_loopback_address(self):
        state = os.path.join(self.folder.name, "second")
        port = free_port()
        subprocess.run([sys.executable, SERVER, "start", "--state-dir", state, "--root", self.root,
                        "--port", str(port), "--address", "127.0.0.2"], check=True,
                       stdout=subprocess.DEVNULL)
        try:
            self.put("a.txt", b"second")
            connection = http.client.HTTPConnection("127.0.0.2", port, timeout=5)
            connection.request("GET", "/a.txt")
            self.assertEqual(connection.getresponse().read(), b"second")
            connection.close()
        finally:
            subprocess.run([sys.executable, SERVER, "stop", "--state-dir", state], check=True)

    def test_stays_inside_its_root(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
        connection.request("GET", "/../../../../etc/passwd")
        self.assertEqual(connection.getresponse().status, 404)
        connection.close()


if __name__ == "__main__":
    unittest.main()
