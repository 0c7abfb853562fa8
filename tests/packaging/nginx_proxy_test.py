#!/usr/bin/env python3
"""packaging/nginx/mailwarden.conf in a real nginx on loopback, in front of a
real mailwarden: a send of the stand-in Outlook over http, the certified read
over http with its stylesheet, a sign-in over https (a throw-away
certificate), /metrics and /healthz hidden, and no query in the access log.

Usage: nginx_proxy_test.py MAILWARDEN CORVANTA SOURCE_DIR"""
import http.client
import re
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.parse
from pathlib import Path

MAILWARDEN, CORVANTA, SOURCE = sys.argv[1], sys.argv[2], Path(sys.argv[3])
PASSWORD = "a long passphrase"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def request(connection, method, path, body=None, headers=None):
    connection.request(method, path, body=body, headers=headers or {})
    reply = connection.getresponse()
    return reply.status, reply.getheaders(), reply.read().decode("utf-8", "replace")


def cookies_of(headers):
    return {k: v for name, value in headers if name.lower() == "set-cookie"
            for k, v in [value.split(";", 1)[0].split("=", 1)]}


def nginx_conf(work, upstream, http_port, https_port):
    site = (SOURCE / "packaging/nginx/mailwarden.conf").read_text()
    site = re.sub(r"^\s*listen \[::\].*\n", "", site, flags=re.M)
    site = site.replace("listen 80;", f"listen 127.0.0.1:{http_port};")
    site = site.replace("listen 443 ssl;", f"listen 127.0.0.1:{https_port} ssl;")
    site = site.replace("server 127.0.0.1:8080;", f"server 127.0.0.1:{upstream};")
    site = site.replace("/etc/ssl/certs/tracking.example.org.pem", str(work / "cert.pem"))
    site = site.replace("/etc/ssl/private/tracking.example.org.key", str(work / "key.pem"))
    site = site.replace("/var/log/nginx/", str(work) + "/")
    site = site.replace("server_name tracking.example.org;", "server_name 127.0.0.1;")
    (work / "mailwarden.conf").write_text(site)
    temp = "\n".join(f"    {kind}_temp_path {work}/{kind};" for kind in
                     ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    (work / "nginx.conf").write_text(
        f"daemon off;\nmaster_process off;\npid {work}/nginx.pid;\nerror_log {work}/nginx-error.log;\n"
        f"events {{}}\nhttp {{\n{temp}\n    include {work}/mailwarden.conf;\n}}\n")


def main():
    work = Path(tempfile.mkdtemp(prefix="mailwarden-nginx-"))
    processes = []
    try:
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                        str(work / "key.pem"), "-out", str(work / "cert.pem")], check=True, capture_output=True)
        database = f"sqlite:{work}/mailwarden.db"
        subprocess.run([MAILWARDEN, "account", "add", "ann@example.com", "--database", database], check=True)
        subprocess.run([MAILWARDEN, "account", "password", "ann@example.com", "--database", database],
                       input=PASSWORD + "\n", text=True, check=True)
        service = subprocess.Popen([MAILWARDEN, "serve", "--listen", "127.0.0.1:0", "--behind-proxy",
                                    "--database", database], stdout=subprocess.PIPE, text=True)
        processes.append(service)
        line = service.stdout.readline()
        found = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
        check(found is not None, "mailwarden says where it listens: " + line.strip())
        upstream = int(found.group(1))

        # nginx takes the ports it is given; another test may take one between, so a few tries.
        nginx = None
        for _ in range(5):
            http_port, https_port = free_port(), free_port()
            nginx_conf(work, upstream, http_port, https_port)
            nginx = subprocess.Popen(["nginx", "-p", str(work), "-c", str(work / "nginx.conf")])
            if wait_for_port(http_port, nginx) and wait_for_port(https_port, nginx):
                break
            nginx.kill()
            nginx.wait()
            nginx = None
        check(nginx is not None, "nginx runs the sample configuration")
        if nginx is None:
            return
        processes.append(nginx)
        plain = http.client.HTTPConnection("127.0.0.1", http_port, timeout=30)
        tls = ssl.create_default_context(cafile=str(work / "cert.pem"))
        secure = http.client.HTTPSConnection("127.0.0.1", https_port, timeout=30, context=tls)

        # A send, as the add-in makes it, over http through the proxy.
        body = work / "body.txt"
        body.write_text("The figures, certified.\n")
        sent = subprocess.run(
            [CORVANTA, "send", "--service", f"127.0.0.1:{http_port}", "--accept-terms", "--from",
             "Ann Sender <ann@example.com>", "--store", str(work / "store"), "--registry",
             str(work / "registry.reg"), "--mode", "guaranteed", "--subject", "Proxied figures", "--to",
             "bob@example.org", "--text", str(body)], capture_output=True, text=True)
        copies = re.findall(r"sent to .*<bob@example\.org> \(To\): (.+\.eml)", sent.stdout)
        check(sent.returncode == 0 and len(copies) == 1, "a Guaranteed send through the proxy: " + sent.stdout[-300:])
        if not copies:
            return
        eml = Path(copies[0]).read_text()
        eml = re.sub(r"=\r?\n", "", eml)
        eml = re.sub(r"=([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), eml)
        link = re.search(r'href="(http://[^"]*tovik\.php\?[^"]+)"', eml)
        check(link is not None, "the notice links to the certified read page")
        if not link:
            return
        read = urllib.parse.urlsplit(link.group(1))
        check(read.port == http_port, "the link goes to the proxy's http side")

        # The read, over http, with its stylesheet.
        status, _, page = request(plain, "GET", read.path + "?" + read.query)
        check(status == 200 and "The figures, certified." in page, f"the certified read page over http ({status})")
        sheet = re.search(r'href="(/cvx/static/[^"]+\.css)"', page)
        check(sheet is not None, "the read page names its stylesheet")
        if sheet:
            status, _, _ = request(plain, "GET", sheet.group(1))
            check(status == 200, f"its stylesheet over http ({status})")
        status, _, _ = request(plain, "GET", "/cvx/toua.txt")
        check(status == 200, f"the terms over http ({status})")

        # The senders' pages only over https; a sign-in there.
        status, headers, _ = request(plain, "GET", "/cvx/")
        location = dict((k.lower(), v) for k, v in headers).get("location", "")
        check(status == 301 and location.startswith("https://"), f"/cvx/ over http goes to https ({status})")
        status, headers, form = request(secure, "GET", "/cvx/")
        token = re.search(r'name="csrf" value="([^"]+)"', form)
        jar = cookies_of(headers)
        check(status == 200 and token is not None and "cvx_signin" in jar, f"the sign-in form over https ({status})")
        secure_flag = any("cvx_signin=" in v and "Secure" in v for k, v in headers if k.lower() == "set-cookie")
        check(secure_flag, "its cookie is marked Secure behind https")
        fields = urllib.parse.urlencode({"csrf": token.group(1) if token else "", "address": "ann@example.com",
                                         "password": PASSWORD})
        status, headers, _ = request(secure, "POST", "/cvx/signin", fields, {
            "Content-Type": "application/x-www-form-urlencoded",
            "Cookie": "; ".join(f"{k}={v}" for k, v in jar.items())})
        jar.update(cookies_of(headers))
        check(status in (302, 303) and "cvx_session" in jar, f"the sign-in over https ({status})")
        status, _, messages = request(secure, "GET", "/cvx/", headers={
            "Cookie": "; ".join(f"{k}={v}" for k, v in jar.items() if v)})
        check(status == 200 and "Proxied figures" in messages, f"the sender's messages over https ({status})")

        for connection, side in ((plain, "http"), (secure, "https")):
            for path in ("/metrics", "/healthz"):
                status, _, _ = request(connection, "GET", path)
                check(status == 404, f"{path} hidden on the {side} side ({status})")
    finally:
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
        log = (work / "mailwarden.access.log")
        text = log.read_text() if log.exists() else ""
        check("/p/b01/" in text, "the access log has the add-in's requests")
        check("?" not in text and "fromAddy" not in text and "Proxied" not in text,
              "and none of their queries")
        shutil.rmtree(work, ignore_errors=True)


main()
if failures:
    print(f"{len(failures)} failed")
    sys.exit(1)
