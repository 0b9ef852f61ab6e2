#!/usr/bin/env python3
"""Checks of the loopback test server itself; its other answers are used by every scenario."""
import http.client
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "loopback_server.py")


class LoopbackServerTest(unittest.TestCase):
    def test_serves_bytes_and_ranges_logs_requests_and_keeps_to_its_root(self):
        with tempfile.TemporaryDirectory() as folder, socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
            s.close()
            state, root = os.path.join(folder, "state"), os.path.join(folder, "root")
            os.makedirs(os.path.join(root, "pkg"))
            for name in ("a.bin", "slow.bin"):
                with open(os.path.join(root, "pkg", name), "wb") as f:
                    f.write(bytes(range(100)))
            with open(os.path.join(root, "_rules.json"), "w") as f:
                json.dump({"/pkg/slow.bin": {"answer": "rate", "bytes_per_second": 100}}, f)
            subprocess.run([sys.executable, SERVER, "start", "--state-dir", state, "--root", root,
                            "--port", str(port)], check=True, stdout=subprocess.DEVNULL)
            try:
                # The paced file takes at least its size over its rate (0.5 s for 50 bytes).
                cases = [
                    ("/pkg/a.bin?a=-17", None, 200, bytes(range(100)), None, 0),
                    ("/pkg/a.bin", "bytes=10-19", 206, bytes(range(10, 20)), "bytes 10-19/100", 0),
                    ("/pkg/a.bin", "bytes=90-", 206, bytes(range(90, 100)), "bytes 90-99/100", 0),
                    ("/pkg/a.bin", "bytes=100-", 416, b"", "bytes */100", 0),
                    ("/pkg/slow.bin", "bytes=50-", 206, bytes(range(50, 100)), "bytes 50-99/100",
                     0.45),
                    ("/../../../../../../etc/passwd", None, 404, None, None, 0)]
                for path, wanted, status, body, content_range, least in cases:
                    with self.subTest(path=path, range=wanted):
                        started = time.monotonic()
                        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
                        connection.request("GET", path, headers={"Range": wanted} if wanted else {})
                        response = connection.getresponse()
                        got = response.read()
                        connection.close()
                        self.assertEqual(response.status, status)
                        self.assertEqual(response.getheader("Content-Range"), content_range)
                        if body is not None:
                            self.assertEqual(got, body)
                        self.assertGreaterEqual(time.monotonic() - started, least)
                with open(os.path.join(state, "requests.jsonl"), encoding="utf-8") as f:
                    first = json.loads(f.readline())
                self.assertEqual((first["method"], first["path"], first["port"]),
                                 ("GET", "/pkg/a.bin?a=-17", port))
            finally:
                subprocess.run([sys.executable, SERVER, "stop", "--state-dir", state], check=True)


if __name__ == "__main__":
    unittest.main()
