#!/usr/bin/env python3
"""A tracking service that answers every request with a fixed success and
logs each request's path, query and body, for the end-to-end test in many
languages: what the add-in sent is checked in the log, as it was sent.
Listens on 127.0.0.1; prints its port on the first line."""
import http.server
import sys

log_path = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def answer(self, body):
        length = int(self.headers.get("Content-Length") or 0)
        sent = self.rfile.read(length).decode("ascii", "replace") if length else ""
        with open(log_path, "a") as log:
            log.write(f"{self.command} {self.path} {sent}\n")
        payload = body.encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)

    def do_GET(self):
        if self.path.startswith("/p/b01/marlo.php"):
            self.answer("qo;100")
        else:
            self.answer("qo;s1 s2 s3")

    def do_POST(self):
        self.answer("qo;g1 g2 g3")

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
