#!/usr/bin/env python3
"""How soon an open page hears of an event: starts `mailwarden serve` on a
throw-away SQLite database, sends one tracked message with the corvanta
program, signs in, opens the messages list's stream (/cvx/live) and fetches
the message's image ROUNDS times (each from a loopback address and with a
User-Agent of its own, so each is an event of its own), timing each from
the start of the fetch to the event on the stream. Prints
  live_latency_median_ms: X
  live_latency_max_ms: Y

  live_latency.py MAILWARDEN CORVANTA [ROUNDS]
"""
import http.client
import queue
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

from pages_session import sign_in

PASSWORD = "a benchmark password"


def image_link(eml):
    html = re.sub(r"=\r?\n", "", eml)
    html = re.sub(r"=([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), html)
    return re.search(r'<img width="1" height="1" src="([^"]+)"', html).group(1)


def listen(host, cookie, arrived):
    """Reads the stream; puts the time of each event on the queue."""
    conn = http.client.HTTPConnection(host)
    conn.request("GET", "/cvx/live", headers={"Cookie": cookie, "Accept": "text/event-stream"})
    reply = conn.getresponse()
    if reply.status != 200:
        arrived.put(None)
        return
    arrived.put("open")
    while True:
        line = reply.fp.readline()
        if not line:
            arrived.put(None)
            return
        if line.startswith(b"event: change"):
            arrived.put(time.perf_counter())


def fetch(url, agent, source):
    """A GET of the image from another loopback address, as a recipient's mail program."""
    target = urllib.parse.urlsplit(url)
    conn = http.client.HTTPConnection(target.hostname, target.port, source_address=(source, 0))
    conn.request("GET", target.path + ("?" + target.query if target.query else ""), headers={"User-Agent": agent})
    reply = conn.getresponse()
    reply.read()
    conn.close()
    if reply.status != 200:
        sys.exit(f"live_latency: the image answered {reply.status}")


def main():
    mailwarden, corvanta = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    folder = tempfile.mkdtemp(prefix="mailwarden-live-")
    database = "sqlite:" + folder + "/mailwarden.db"
    service = None
    try:
        subprocess.run([mailwarden, "account", "add", "ann@example.com", "--credit", "1000", "--database", database],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run([mailwarden, "account", "password", "ann@example.com", "--database", database],
                       input=PASSWORD + "\n", text=True, check=True, stdout=subprocess.DEVNULL)
        service = subprocess.Popen([mailwarden, "serve", "--listen", "127.0.0.1:0", "--database", database],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        url = None
        for line in service.stdout:
            match = re.search(r"mailwarden listening on (http://\S+)", line)
            if match:
                url = match.group(1).rstrip("/")
                break
        if not url:
            sys.exit("live_latency: mailwarden did not start")
        host = urllib.parse.urlsplit(url).netloc
        with open(folder + "/body.txt", "w") as body:
            body.write("Hello,\nthe figures.\n")
        out = subprocess.run([corvanta, "send", "--service", host, "--accept-terms", "--from",
                              "Ann Sender <ann@example.com>", "--store", folder + "/store", "--registry",
                              folder + "/registry.reg", "--mode", "automatic", "--subject", "Latency",
                              "--to", "Bob Baker <bob@example.net>", "--text", folder + "/body.txt"],
                             check=True, capture_output=True, text=True).stdout
        eml = re.search(r"sent to .*<bob@example.net> \(To\): (.+\.eml)", out).group(1)
        with open(eml, encoding="utf-8") as copy:
            image = image_link(copy.read())

        arrived = queue.Queue()
        threading.Thread(target=listen, args=(host, sign_in(host, "ann@example.com", PASSWORD, "live_latency")[1], arrived), daemon=True).start()
        if arrived.get(timeout=30) != "open":
            sys.exit("live_latency: the stream did not open")
        times = []
        for i in range(rounds):
            start = time.perf_counter()
            # A client of its own each time: the same client's fetches within a minute are one event.
            fetch(image, f"LatencyBench/{i}", f"127.0.{1 + i // 250}.{2 + i % 250}")
            when = arrived.get(timeout=30)
            if when is None:
                sys.exit("live_latency: the stream ended")
            times.append((when - start) * 1000)
            while not arrived.empty():  # an event counted twice would be timed once
                arrived.get_nowait()
        times.sort()
        print(f"live_latency_median_ms: {times[len(times) // 2]:.1f}")
        print(f"live_latency_max_ms: {times[-1]:.1f}")
    finally:
        if service:
            service.terminate()
            service.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
