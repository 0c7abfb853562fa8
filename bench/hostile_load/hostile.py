#!/usr/bin/env python3
"""One hostile client of mailwarden, from its own loopback address, at full
speed for a while: worst-case certified uploads, a flood of image hits with
12 KB User-Agents on one stamp, failed sign-ins for a victim, credit queries
for random 7 KB addresses, and idle connections up to the caps. Then the
victim signs in with the right password from another address.

  hostile.py PORT SECONDS STAMP REQUESTS_FILE VICTIM PASSWORD

prints what each attack got through, and `hostile_victim_signin: ok|refused`.
"""
import http.client
import os
import re
import socket
import sys
import threading
import time
import urllib.parse

HOSTILE = "127.0.0.2"
VICTIM_CLIENT = "127.0.0.3"
UPLOAD_PATH = "/p/b01/forsel.php"
IMAGE_PATH = "/p/b01/wrenna.php"

port = int(sys.argv[1])
seconds = float(sys.argv[2])
stamp = sys.argv[3]
with open(sys.argv[4], encoding="ascii") as lines:
    upload_body, *credit_targets = [line.rstrip("\n") for line in lines]
victim, password = sys.argv[5], sys.argv[6]
end = time.monotonic() + seconds
counts = {}
counts_lock = threading.Lock()


def count(what):
    with counts_lock:
        counts[what] = counts.get(what, 0) + 1


def connect(source=HOSTILE, timeout=120):
    return http.client.HTTPConnection("127.0.0.1", port, timeout=timeout, source_address=(source, 0))


def attack(name, one_round):
    """Runs one_round on a kept-alive connection until the time is up."""
    def run():
        conn = None
        while time.monotonic() < end:
            try:
                conn = conn or connect()
                one_round(conn)
            except (OSError, http.client.HTTPException):
                count(name + "_failed")
                if conn:
                    conn.close()
                conn = None
                time.sleep(0.05)
    return threading.Thread(target=run, daemon=True)


def upload(conn):
    conn.request("POST", UPLOAD_PATH, upload_body, {"Content-Type": "application/x-www-form-urlencoded"})
    conn.getresponse().read()
    count("upload")


big_agent = "Mozilla/5.0 " + "x" * (12 * 1024)


def image_hit(conn):
    conn.request("GET", IMAGE_PATH + "?img=1&" + stamp, headers={"User-Agent": big_agent})
    conn.getresponse().read()
    count("image_hit")


credit_turn = [0]


def credit(conn):
    credit_turn[0] = (credit_turn[0] + 1) % len(credit_targets)
    conn.request("GET", credit_targets[credit_turn[0]])
    conn.getresponse().read()
    count("credit")


def sign_in(conn, address, secret):
    """One sign-in as a browser would: the form, then the post. The status."""
    conn.request("GET", "/cvx/")
    form = conn.getresponse()
    page = form.read().decode("utf-8", "replace")
    cookie = "; ".join(c.split(";", 1)[0] for c in form.headers.get_all("Set-Cookie") or [])
    token = re.search(r'name="csrf" value="([^"]*)"', page)
    body = urllib.parse.urlencode({"csrf": token.group(1) if token else "", "address": address, "password": secret})
    conn.request("POST", "/cvx/signin", body,
                 {"Content-Type": "application/x-www-form-urlencoded", "Cookie": cookie})
    reply = conn.getresponse()
    reply.read()
    return reply.status


def failed_sign_in(conn):
    sign_in(conn, victim, "not the password")
    count("signin")


def hold_idle(target):
    """Keeps up to target connections open with half a header each."""
    held = []
    while time.monotonic() < end:
        held = [s for s in held if s.fileno() >= 0]
        while len(held) < target and time.monotonic() < end:
            s = socket.socket()
            s.bind((HOSTILE, 0))
            s.settimeout(2)
            try:
                s.connect(("127.0.0.1", port))
                s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n")
                held.append(s)
                count("idle_opened")
            except OSError:
                s.close()
                break
        for s in list(held):
            s.setblocking(False)
            try:
                if s.recv(1) == b"":
                    s.close()
                    held.remove(s)
            except BlockingIOError:
                pass
            except OSError:
                s.close()
                held.remove(s)
        time.sleep(0.5)
    for s in held:
        s.close()


# HOSTILE_ATTACKS (comma-separated) runs only some of them, to see what each costs.
chosen = set(filter(None, os.environ.get("HOSTILE_ATTACKS", "upload,image_hit,signin,credit,idle").split(",")))
threads = []
if "upload" in chosen:
    threads += [attack("upload", upload) for _ in range(4)]
if "image_hit" in chosen:
    threads += [attack("image_hit", image_hit) for _ in range(2)]
if "signin" in chosen:
    threads.append(attack("signin", failed_sign_in))
if "credit" in chosen:
    threads.append(attack("credit", credit))
if "idle" in chosen:
    threads.append(threading.Thread(target=hold_idle, args=(200,), daemon=True))
for thread in threads:
    thread.start()
while time.monotonic() < end:
    time.sleep(0.2)
# Whatever is still under way is left; the victim comes in now.
for what in sorted(counts):
    print(f"# hostile {what}: {counts[what]}")
try:
    status = sign_in(connect(VICTIM_CLIENT, 60), victim, password)
except (OSError, http.client.HTTPException) as error:
    status = str(error)
print(f"# victim sign-in status: {status}")
print("hostile_victim_signin: " + ("ok" if status == 303 else "refused"))
sys.stdout.flush()
