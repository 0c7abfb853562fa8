#!/usr/bin/env python3
"""The sender's pages after years of use: fills a database through SQL, then
times the pages of the busiest sender over HTTP with its session cookie.

  pages_scale.py fill sqlite PATH MESSAGES
  pages_scale.py fill postgresql CONNINFO MESSAGES      (through psql)
  pages_scale.py measure URL ADDRESS PASSWORD ROUNDS MESSAGES

The database holds 1,000 senders, MESSAGES messages (500,000 in the full run)
with 2 recipients each (1 million stamps) and 10 events a stamp (10 million
events); sender 1, the busiest, has every 50th message (10,000). The schema is
mailwarden's own, made by `mailwarden account add` before the fill.
"""
import json
import subprocess
import sys
import time
import urllib.parse

from pages_session import sign_in

SENDERS = 1000
BUSIEST_EVERY = 50
EVENTS_PER_STAMP = 10
T0 = 1_700_000_000 * 1_000_000  # microseconds

RECIPIENT = "'person' || ({j} % 20011) || '@example' || ({j} % 7) || '.org'"
RECIPIENT_NAME = "'Person ' || ({j} % 20011)"
SUBJECT = "'Report ' || i || ' on project ' || (i % 997)"


def messages(kind, is_html, newline, lower):
    """The messages, with each engine's search text of subject and recipients
    (SQLite keeps it as written, PostgreSQL in lower case)."""
    search = SUBJECT + " || " + newline + " || " + (" || " + newline + " || ").join(
        f.format(j=j) for j in ("(2 * i - 1)", "(2 * i)") for f in (RECIPIENT, RECIPIENT_NAME))
    if lower:
        search = f"lower({search})"
    return ("""INSERT INTO messages (id, account_id, kind, subject, sent_date, sent_time, issued, ip, from_name,
                             content, is_html, search)
       SELECT i, CASE WHEN i % {every} = 0 THEN 1 ELSE 2 + i % ({senders} - 1) END, """ + kind + ", " + SUBJECT
            + """, '2024-01-01', '09:30:00', {t0} + i * 60000000, '10.0.' || (i % 250) || '.1', 'Sender', NULL, """
            + is_html + ", " + search + """
       FROM {series} AS n(i)""")


# One statement per table, each a generated series: the database does the
# work, nothing row by row through the client. {series} is filled per engine.
ACCOUNTS = """INSERT INTO accounts (id, address, password_hash, monthly_credit, codepage, created)
       SELECT i, 'sender' || i || '@example.com', '', 1000, 1252, {t0}
       FROM {series} AS n(i) WHERE i >= 2"""  # sender 1 exists already (made by the program, with its password)
FILL = [
    ACCOUNTS,
    messages("i % 3 = 0", "0", "char(10)", False),
    """INSERT INTO stamps (id, stamp, message_id, position, address, name, cancelled)
       SELECT i, 'st' || i, (i + 1) / 2, (i + 1) % 2, """ + RECIPIENT.format(j="i") + ", "
    + RECIPIENT_NAME.format(j="i") + """, 0
       FROM {series} AS n(i)""",
    """INSERT INTO events (id, stamp_id, type, class, time, ip, user_agent)
       SELECT i, (i + {per} - 1) / {per}, i % 2, i % 3, {t0} + i * 6000000, '10.1.' || (i % 250) || '.7',
              'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/120.0'
       FROM {series} AS n(i)""",
]
# The same rows in the PostgreSQL engine's tables: stamps keyed by their text,
# with the same numbers as on SQLite (events refer to a stamp by its number).
FILL_PG = [
    ACCOUNTS,
    messages("(i % 3 = 0)::int", "false", "E'\\n'", True),
    """INSERT INTO stamps (stamp, id, message_id, position, recipient, recipient_name, cancelled)
       OVERRIDING SYSTEM VALUE
       SELECT 'st' || i, i, (i + 1) / 2, (i + 1) % 2, """ + RECIPIENT.format(j="i") + ", "
    + RECIPIENT_NAME.format(j="i") + """, false
       FROM {series} AS n(i)""",
    """INSERT INTO events (id, stamp_id, type, class, time, ip, user_agent)
       SELECT i, (i + {per} - 1) / {per}, i % 2, i % 3, {t0} + i * 6000000, '10.1.' || (i % 250) || '.7',
              'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/120.0'
       FROM {series} AS n(i)""",
]


def fill(engine, where, messages_count):
    # How many rows each statement's series counts to.
    counts = [SENDERS, messages_count, messages_count * 2, messages_count * 2 * EVENTS_PER_STAMP]
    values = dict(t0=T0, senders=SENDERS, every=BUSIEST_EVERY, per=EVENTS_PER_STAMP)
    if engine == "sqlite":
        import sqlite3
        db = sqlite3.connect(where)
        db.execute("PRAGMA journal_mode=WAL")
        db.execute("PRAGMA synchronous=OFF")
        for statement, count in zip(FILL, counts):
            series = f"(WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < {count}) SELECT i FROM c)"
            db.execute(statement.format(series=series, **values).replace("AS n(i)", "AS n"))
            db.commit()
        db.execute("ANALYZE")
        db.commit()
        db.close()
    else:
        # bigint numbers: times in microseconds outgrow integer.
        sql = ";\n".join(s.format(series=f"generate_series(1::bigint, {count})", **values)
                         for s, count in zip(FILL_PG, counts))
        for table in ("accounts", "messages", "stamps", "events"):
            sql += f";\nSELECT setval(pg_get_serial_sequence('{table}', 'id'), (SELECT max(id) FROM {table}))"
        sql += ";\nANALYZE;\n"
        subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", where], input=sql, text=True, check=True,
                       stdout=subprocess.DEVNULL)


def get_json(conn, cookie, target):
    conn.request("GET", target, headers={"Cookie": cookie})
    reply = conn.getresponse()
    body = reply.read()
    if reply.status != 200:
        sys.exit(f"pages_scale: {target} answered {reply.status}")
    return json.loads(body)


def check_filled(conn, cookie, messages_count):
    """The service shows the fill as written (the busiest sender's newest
    message first, its two recipients with their events), so that no page is
    timed on rows it cannot see."""
    newest = get_json(conn, cookie, "/cvx/api/messages")["messages"]
    message = get_json(conn, cookie, f"/cvx/api/messages/{messages_count}")
    events = [len(recipient["events"]) for recipient in message["recipients"]]
    if not newest or newest[0]["id"] != messages_count or events != [EVENTS_PER_STAMP] * 2:
        sys.exit(f"pages_scale: the service does not show the fill: newest message "
                 f"{newest[0]['id'] if newest else None}, events of message {messages_count}: {events}")


def measure(url, address, password, rounds, messages_count):
    conn, cookie = sign_in(urllib.parse.urlsplit(url).netloc, address, password, "pages_scale")
    check_filled(conn, cookie, messages_count)
    # The busiest sender's messages are every 50th id; the older pages start
    # from the 50th newest of them (fewer in a small run) and go back through
    # nine tenths of them.
    busiest = messages_count // BUSIEST_EVERY
    some_messages = [messages_count - BUSIEST_EVERY * k for k in range(0, busiest, 97)]
    newest_skipped, older_span = min(50, busiest // 20), max(1, busiest * 9 // 10)
    targets = {
        "messages page": lambda r: "/cvx/",
        "older page":
            lambda r: f"/cvx/?before={messages_count - BUSIEST_EVERY * (newest_skipped + 173 * r % older_span)}",
        "search": lambda r: f"/cvx/?q=person{(7 * r) % 20011}%40",
        "message page": lambda r: f"/cvx/messages/{some_messages[r % len(some_messages)]}",
        "json": lambda r: "/cvx/api/messages",
    }
    everything = []
    for name, target in targets.items():
        times = []
        for r in range(rounds):
            start = time.perf_counter()
            conn.request("GET", target(r), headers={"Cookie": cookie})
            reply = conn.getresponse()
            reply.read()
            times.append((time.perf_counter() - start) * 1000)
            if reply.status != 200:
                sys.exit(f"pages_scale: {target(r)} answered {reply.status}")
        times.sort()
        print(f"{name:14s} median {times[len(times) // 2]:7.2f} ms  p99 {times[int(len(times) * 0.99) - 1]:7.2f} ms  "
              f"max {times[-1]:7.2f} ms", file=sys.stderr)
        everything += times
    everything.sort()
    print(f"{everything[int(len(everything) * 0.99) - 1]:.2f}")


if __name__ == "__main__":
    if sys.argv[1] == "fill":
        fill(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    else:
        measure(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), int(sys.argv[6]))
