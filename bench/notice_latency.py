#!/usr/bin/python3
"""How long a sender waits for a notice: from the image fetch of a
recipient's first open to the notice mail reaching the relay (aiosmtpd,
in this script, on 127.0.0.1). Fills a SQLite database with one message to
NOTICES recipients (default 100), starts `mailwarden serve --smtp` on it,
fetches each recipient's image in turn as a mail program would and waits
for that notice before the next. Prints on stdout:
  notice_latency_median_ms: T
  notice_latency_max_ms: T

  bench/notice_latency.py MAILWARDEN
"""
import asyncio
import os
import re
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

from aiosmtpd.smtp import SMTP

AGENT = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) Thunderbird/115.0"
arrived = {}
changed = threading.Condition()


class Relay:
    async def handle_DATA(self, server, session, envelope):
        subject = re.search(rb"^Subject: (\S+@example\.org) opened", envelope.original_content, re.M)
        with changed:
            arrived[subject.group(1).decode() if subject else "?"] = time.monotonic()
            changed.notify_all()
        return "250 OK"


def start_relay():
    loop = asyncio.new_event_loop()
    server = loop.run_until_complete(loop.create_server(lambda: SMTP(Relay()), "127.0.0.1", 0))
    threading.Thread(target=loop.run_forever, daemon=True).start()
    return server.sockets[0].getsockname()[1]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    mailwarden, count = sys.argv[1], int(os.environ.get("NOTICES", "100"))
    relay = start_relay()
    with tempfile.TemporaryDirectory() as folder:
        database = os.path.join(folder, "mailwarden.db")
        subprocess.run([mailwarden, "account", "add", "ann@example.com", "--database", "sqlite:" + database],
                       check=True, stdout=subprocess.DEVNULL)
        # Sent two days ago from elsewhere: each first open is a person's.
        db = sqlite3.connect(database)
        issued = int((time.time() - 2 * 86400) * 1e6)
        account = db.execute("SELECT id FROM accounts").fetchone()[0]
        message = db.execute(
            "INSERT INTO messages (account_id, kind, subject, sent_date, sent_time, issued, ip) "
            "VALUES (?, 0, 'Figures', '2026-01-01', '10:00:00', ?, '192.0.2.1')", (account, issued)).lastrowid
        db.executemany("INSERT INTO stamps (stamp, message_id, position, address, name) VALUES (?, ?, ?, ?, '')",
                       [("benchstamp%05d" % i, message, i, "r%d@example.org" % i) for i in range(count)])
        db.commit()
        db.close()
        service = subprocess.Popen(
            [mailwarden, "serve", "--listen", "127.0.0.1:0", "--database", "sqlite:" + database, "--smtp",
             "smtp://127.0.0.1:%d" % relay, "--smtp-from", "notices@track.example.com", "--public-url",
             "https://track.example.com", "--notices-per-hour", "100000"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            base = re.search(r"listening on (http://\S+?)/?$", service.stdout.readline()).group(1)
            took = []
            for i in range(count):
                address = "r%d@example.org" % i
                start = time.monotonic()
                request = urllib.request.Request("%s/p/b01/wrenna.php?img=1&benchstamp%05d" % (base, i),
                                                 headers={"User-Agent": AGENT})
                urllib.request.urlopen(request, timeout=60).read()
                with changed:
                    if not changed.wait_for(lambda: address in arrived, timeout=60):
                        sys.exit("notice_latency.py: no notice for %s within a minute" % address)
                    took.append((arrived[address] - start) * 1000)
        finally:
            service.terminate()
            service.wait()
    print("# %d notices, from the image fetch to the relay" % count)
    print("notice_latency_median_ms: %.1f" % statistics.median(took))
    print("notice_latency_max_ms: %.1f" % max(took))


if __name__ == "__main__":
    main()
