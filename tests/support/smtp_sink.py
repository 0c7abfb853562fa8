#!/usr/bin/env python3
"""A mail relay for tests, on 127.0.0.1 and a free port (printed as
"smtp sink listening on PORT"): each message it takes is written to FOLDER
as NNNN.eml, the envelope's sender and recipients in X-Envelope- lines
before it. It refuses with a 451 (try again later) its first --refuse-first
messages, and any while a file named "refuse" is in FOLDER. With --user and
--password it asks for that login first. With --tls-cert and --tls-key it
offers STARTTLS and takes neither a login nor mail before it."""
import argparse
import asyncio
import logging
import os
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Sink:
    def __init__(self, folder, refuse_first):
        self.folder = folder
        self.refuse_left = refuse_first
        self.taken = 0

    async def handle_DATA(self, server, session, envelope):
        if self.refuse_left > 0 or os.path.exists(os.path.join(self.folder, "refuse")):
            self.refuse_left -= 1
            with open(os.path.join(self.folder, "refused.log"), "a") as log:
                log.write("refused\n")
            return "451 4.3.0 Try again later"
        self.taken += 1
        path = os.path.join(self.folder, "%04d.eml" % self.taken)
        head = "X-Envelope-From: %s\r\nX-Envelope-To: %s\r\n" % (envelope.mail_from, ",".join(envelope.rcpt_tos))
        with open(path + ".new", "wb") as out:
            out.write(head.encode() + envelope.original_content)
        os.rename(path + ".new", path)
        return "250 OK"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--refuse-first", type=int, default=0)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args()
    # A login without TLS is what this sink is for: no warnings about it on every session.
    warnings.filterwarnings("ignore")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    sink = Sink(args.folder, args.refuse_first)

    def check(server, session, envelope, mechanism, data):
        good = isinstance(data, LoginPassword) and data.login.decode() == args.user and \
            data.password.decode() == args.password
        return AuthResult(success=good)

    login = {}
    if args.user:
        login = dict(authenticator=check, auth_required=True, auth_require_tls=False)
    if args.tls_cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        login.update(tls_context=context, require_starttls=True, auth_require_tls=True)

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(lambda: SMTP(sink, hostname="sink.test", **login), "127.0.0.1", 0)
        print("smtp sink listening on %d" % server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Event().wait()

    asyncio.run(serve())


if __name__ == "__main__":
    sys.exit(main())
