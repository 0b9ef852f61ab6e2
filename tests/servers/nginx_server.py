#!/usr/bin/env python3
"""Debian's nginx as the publisher's servers in tests, run as a plain process on loopback ports.

It serves the files below its root as an ordinary web server does (206 answers to ranges, its own
404 pages, Last-Modified and ETag), with the location blocks of <root>/_nginx*.conf added (a
`return 302 URL;` to a mirror, for example; read when the server starts). Every request is
logged as one JSON line in <state-dir>/requests.jsonl, in the loopback server's shape ("port",
"method", "path", "headers") with the answer's "status" and headers ("sent").

Commands:
    start --state-dir DIR --root DIR --port P [--port P ...] [--address A]   (in the background)
    stop --state-dir DIR
"start" writes <state-dir>/nginx.conf and keeps the process id in <state-dir>/server.pid; the
error log, nginx's own pid file and its temporary folders stay in the state folder too. "stop"
ends that process (and only that one).
"""
import argparse
import os
import socket
import subprocess
import sys
import time

from server_process import command_words, stop_recorded

CONFIG_TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "nginx.conf.in")
NGINX = "/usr/sbin/nginx"


def ours(pid, state_dir):
    """True when `pid` is an nginx that "start" made for this state folder."""
    words = command_words(pid)
    return bool(words) and os.path.basename(words[0]) == b"nginx" and \
        os.path.join(state_dir, "nginx.conf").encode() in words


def stop(args):
    state_dir = os.path.realpath(args.state_dir)
    return stop_recorded(state_dir, lambda pid: ours(pid, state_dir))


def listening(address, port):
    with socket.socket() as s:
        s.settimeout(0.2)
        return s.connect_ex((address, port)) == 0


def start(args):
    state_dir = os.path.realpath(args.state_dir)
    root = os.path.realpath(args.root)
    for folder in (state_dir, root, os.path.join(state_dir, "temp")):
        os.makedirs(folder, exist_ok=True)
    stop(args)  # a server left over from an interrupted run of this state folder
    open(os.path.join(state_dir, "requests.jsonl"), "w").close()
    with open(CONFIG_TEMPLATE, encoding="utf-8") as f:
        config = f.read()
    listen = "\n".join("        listen %s:%d;" % (args.address, port) for port in args.port)
    config = (config.replace("@STATE@", state_dir).replace("@ROOT@", root)
              .replace("@LISTEN@", listen))
    config_path = os.path.join(state_dir, "nginx.conf")
    with open(config_path, "w", encoding="utf-8") as f:
        f.write(config)
    with open(os.path.join(state_dir, "server.out"), "wb") as out:
        process = subprocess.Popen([NGINX, "-p", state_dir, "-c", config_path,
                                    "-e", os.path.join(state_dir, "error.log")],
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                   start_new_session=True, close_fds=True)
    with open(os.path.join(state_dir, "server.pid"), "w") as f:
        f.write("%d\n" % process.pid)
    for _ in range(200):
        if all(listening(args.address, port) for port in args.port):
            print("nginx %d listening on %s port(s) %s, root %s"
                  % (process.pid, args.address, " ".join(map(str, args.port)), root))
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    for log in ("server.out", "error.log"):
        try:
            with open(os.path.join(state_dir, log), errors="replace") as f:
                sys.stderr.write(f.read())
        except OSError:
            pass
    print("nginx did not start", file=sys.stderr)
    stop(args)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    start_parser, stop_parser = map(commands.add_parser, ("start", "stop"))
    for p in (start_parser, stop_parser):
        p.add_argument("--state-dir", required=True)
    start_parser.add_argument("--root", required=True)
    start_parser.add_argument("--port", type=int, action="append", required=True)
    start_parser.add_argument("--address", default="127.0.0.1")
    args = parser.parse_args()
    return {"start": start, "stop": stop}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
