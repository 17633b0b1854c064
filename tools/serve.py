#!/usr/bin/env python3
"""Serves a built page's folder (dice.html and what it loads) on 127.0.0.1 only, as
any static web host would, with .wasm as application/wasm (browsers compile it while
it downloads only then), each file gzip-compressed to a browser that accepts that (a
quarter of the bytes), and nothing cached, so a rebuilt page is the one loaded.

Usage: tools/serve.py FOLDER [PORT]   prints the page's address, then serves until ^C;
                                      PORT 0 (the default), or one in use, takes any free port.
tools/web.sh serve runs it; the page's check uses its start_server.
"""

import functools
import gzip
import http.server
import io
import os
import re
import sys
import threading


class PageHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".data": "application/octet-stream",
    }

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        self.send_header("Vary", "Accept-Encoding")
        super().end_headers()

    def send_head(self):
        path = self.translate_path(self.path)
        if not (os.path.isfile(path) and takes_gzip(self.headers.get("Accept-Encoding", ""))):
            return super().send_head()
        with open(path, "rb") as original:
            data = original.read()
        packed = gzip.compress(data, mtime=0)
        if len(packed) >= len(data):
            return super().send_head()
        self.send_response(200)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(packed)))
        self.end_headers()
        return io.BytesIO(packed)

    def log_message(self, *args):
        pass  # a line per file on the console would bury the address


def takes_gzip(accepted):
    """Whether an Accept-Encoding header takes gzip: named (or *) and not with q=0."""
    for coding in accepted.split(","):
        name, _, weight = coding.partition(";")
        if name.strip().lower() in ("gzip", "*"):
            match = re.match(r"\s*q\s*=\s*([0-9.]+)", weight)
            return not match or float(match.group(1)) > 0
    return False


class PageServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A browser that closes its connection mid-answer (an audit does, between its
        # runs) is no fault of the server's: no trace for it on the console.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


def start_server(folder, port=0):
    """A server on its own thread; .page_address names dice.html; .shutdown() ends it."""
    handler = functools.partial(PageHandler, directory=folder)
    server = PageServer(("127.0.0.1", port), handler)
    server.daemon_threads = True
    server.page_address = "http://127.0.0.1:%d/dice.html" % server.server_port
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip())
    try:
        server = start_server(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 0)
    except OSError:  # that port is taken
        server = start_server(sys.argv[1])
    print("Serving %s; open %s (^C ends it)" % (sys.argv[1], server.page_address), flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    finally:
        server.shutdown()
