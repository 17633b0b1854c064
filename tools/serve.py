#!/usr/bin/env python3
"""Serves a built page's folder (dice.html and what it loads) on 127.0.0.1 only, as
any static web host would, with .wasm as application/wasm (browsers compile it while
it downloads only then) and nothing cached, so a rebuilt page is the one loaded.

Usage: tools/serve.py FOLDER [PORT]   prints the page's address, then serves until ^C;
                                      PORT 0 (the default), or one in use, takes any free port.
tools/web.sh serve runs it; the page's check uses its start_server.
"""

import functools
import http.server
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
        super().end_headers()

    def log_message(self, *args):
        pass  # a line per file on the console would bury the address


def start_server(folder, port=0):
    """A server on its own thread; .page_address names dice.html; .shutdown() ends it."""
    handler = functools.partial(PageHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
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
