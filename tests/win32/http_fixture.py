#!/usr/bin/env python3
"""Loopback HTTP server for the Windows transfer tests.

Listens on 127.0.0.1 only, on a free port, and writes "<port> <refused port>"
to the file named by its argument: the refused port is bound but never
listened on, so a connection to it is refused. Paths:
  GET  /text?n=N      N bytes of a repeating pattern
  GET  /status/500    status 500 with a short body
  GET  /slow          never answers (until the server stops)
  GET  /delay?ms=M&n=N N bytes of the pattern, after M milliseconds
  POST /echo          "qo;" + the method, the content type and the body
"""
import http.server
import socket
import sys
import threading
import urllib.parse

stopping = threading.Event()


def pattern(n):
    alphabet = b"abcdefghijklmnopqrstuvwxyz0123456789"
    return bytes(alphabet[(i * 7 + i // 36) % 36] for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        if url.path == "/text":
            n = int(urllib.parse.parse_qs(url.query).get("n", ["0"])[0])
            self.reply(200, pattern(n))
        elif url.path == "/query":
            self.reply(200, url.query.encode("ascii"))
        elif url.path == "/status/500":
            self.reply(500, b"qx;server trouble")
        elif url.path == "/slow":
            stopping.wait(120)
        elif url.path == "/delay":
            query = urllib.parse.parse_qs(url.query)
            stopping.wait(int(query.get("ms", ["0"])[0]) / 1000)
            self.reply(200, pattern(int(query.get("n", ["0"])[0])))
        else:
            self.reply(404, b"not found")

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        data = self.rfile.read(length)
        if self.path == "/echo":
            kind = (self.headers.get("Content-Type") or "").encode()
            self.reply(200, b"qo;" + self.command.encode() + b"|" + kind + b"|" + data)
        else:
            self.reply(404, b"not found")


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(("127.0.0.1", 0))
    with open(sys.argv[1], "w") as out:
        out.write(f"{server.server_address[1]} {refused.getsockname()[1]}\n")
    try:
        server.serve_forever()
    finally:
        stopping.set()


if __name__ == "__main__":
    main()
