"""An HTTP proxy in front of a ClickHouse server that spoils one chosen insert.

Every request is passed to the server and its answer back, one connection per request. The Nth
INSERT into a chosen table (counted from 1) meets the fault:
    "lost"    the server takes the rows, and the answer never reaches the client
    "refuse"  the server is asked to run it as a read-only user, and refuses it
    "down"    the server is stopped (by its process id) before the rows reach it
"""
import http.client
import http.server
import threading
import urllib.parse


class FaultProxy:
    def __init__(self, server, table, nth, fault_kind, on_down=None):
        self.inserts, self.lock = 0, threading.Lock()
        proxy = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def log_message(self, fmt, *args):
                pass

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                path = self.path
                query = urllib.parse.parse_qs(urllib.parse.urlsplit(path).query).get("query", [""])
                fault = None
                if query[0].startswith("INSERT INTO %s " % table):
                    with proxy.lock:
                        proxy.inserts += 1
                        fault = fault_kind if proxy.inserts == nth else None
                if fault == "refuse":
                    path += "&readonly=1"
                if fault == "down":
                    on_down()
                try:
                    upstream = http.client.HTTPConnection(server.host, server.http_port,
                                                          timeout=120)
                    upstream.request("POST", path, body)
                    answer = upstream.getresponse()
                    data = answer.read()
                    upstream.close()
                except OSError:
                    self.close_connection = True
                    return  # no answer: as a server that is down
                if fault == "lost":
                    self.close_connection = True
                    return
                self.send_response(answer.status)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    @property
    def url(self):
        return "http://127.0.0.1:%d/" % self.httpd.server_address[1]

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()
