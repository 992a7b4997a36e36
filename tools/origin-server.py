#!/usr/bin/env python3
"""Loopback origin server that Squid fetches test objects from.

Every GET (or HEAD) for any path, query string included, gets a small
text body naming that path, with headers that let Squid keep it in its
cache for an hour. That way a test can invent as many distinct cacheable
URLs as it wants without any fixtures on disk.

A path under /vary/ answers as web servers answer compressible files: with
`Vary: Accept-Encoding`, so Squid keeps one copy per Accept-Encoding value.
Its body names the value it was made for and a number counted up with every
such answer, so a client can tell a fresh copy from an old one; the number
also shows how many requests reached the origin.

Usage: origin-server.py [PORT]   (default: $QUELLORY_ORIGIN_PORT or 8081)
Request log lines go to stderr; local-cache-server redirects that to a file.
"""
import itertools
import os
import sys
import threading
import time
from email.utils import formatdate
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

# Fixed at start-up so that repeated fetches of one URL look like the same
# unchanged object to Squid.
STARTED = formatdate(time.time() - 3600, usegmt=True)

# Counts the answers under /vary/; next() on a count is not atomic across the
# server's threads, hence the lock.
VARY_ANSWERS = itertools.count(1)
VARY_LOCK = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    # HTTP/1.1 keeps Squid's server connections alive; every answer
    # carries Content-Length, so that is safe.
    protocol_version = "HTTP/1.1"
    server_version = "quellory-origin"
    # Headers and body go out in separate writes; with Nagle on, the body
    # waits for the client's delayed ACK and each fetch costs ~40 ms.
    disable_nagle_algorithm = True

    def _answer(self, with_body):
        vary = self.path.startswith("/vary/")
        if vary:
            with VARY_LOCK:
                number = next(VARY_ANSWERS)
            encoding = self.headers.get("Accept-Encoding", "(none)")
            body = f"quellory test object {self.path} for {encoding} #{number}\n".encode("utf-8")
        else:
            body = f"quellory test object {self.path}\n".encode("utf-8")
        self.send_response(200)  # also sends Date
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        if vary:
            self.send_header("Vary", "Accept-Encoding")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "public, max-age=3600")
        self.send_header("Last-Modified", STARTED)
        self.end_headers()
        if with_body:
            self.wfile.write(body)

    def do_GET(self):
        self._answer(True)

    def do_HEAD(self):
        self._answer(False)

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.log_date_time_string(), fmt % args))
        sys.stderr.flush()


def main():
    port = int(sys.argv[1] if len(sys.argv) > 1
               else os.environ.get("QUELLORY_ORIGIN_PORT", "8081"))
    # Loopback only: this server must never be reachable from elsewhere.
    server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
