#!/usr/bin/env python3
"""HTTPS test server of the settings discovery's tests: serves ROOT/<host>/<path> over TLS.

Usage: https-server.py PORT CERTIFICATE KEY ROOT. Beside a file, "<file>.redirect" answers 302 to
the address it holds and "<file>.slow" delays the answer by 30 seconds.
"""
import http.server
import os
import ssl
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        host = (self.headers.get("Host") or "").rsplit(":", 1)[0].lower()
        path = self.path.split("?", 1)[0]
        if ".." in host or ".." in path:
            self.send_error(400)
            return
        file = os.path.join(ROOT, host, path.lstrip("/"))
        if os.path.exists(file + ".slow"):
            time.sleep(30)
        if os.path.exists(file + ".redirect"):
            with open(file + ".redirect") as target:
                location = target.read().strip()
            self.send_response(302)
            self.send_header("Location", location)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if not os.path.isfile(file):
            self.send_error(404)
            return
        with open(file, "rb") as source:
            body = source.read()
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.headers.get("Host"), format % args))


ROOT = sys.argv[4]
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
server.daemon_threads = True
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
server.socket = context.wrap_socket(server.socket, server_side=True)
print("ready", flush=True)
server.serve_forever()
