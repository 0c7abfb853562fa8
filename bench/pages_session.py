"""Signs a sender in to mailwarden's pages, as a browser does, for the
benchmarks that time the pages."""
import http.client
import re
import sys
import urllib.parse


def sign_in(host, address, password, who):
    """Returns the open connection and the session cookie; who names the
    benchmark in the message when the sign-in fails."""
    conn = http.client.HTTPConnection(host)
    conn.request("GET", "/cvx/")
    reply = conn.getresponse()
    page = reply.read().decode()
    signin_cookie = re.search(r"cvx_signin=([^;]+)", reply.getheader("Set-Cookie")).group(1)
    csrf = re.search(r'name="csrf" value="([^"]+)"', page).group(1)
    body = urllib.parse.urlencode({"csrf": csrf, "address": address, "password": password})
    conn.request("POST", "/cvx/signin", body=body, headers={
        "Content-Type": "application/x-www-form-urlencoded", "Cookie": "cvx_signin=" + signin_cookie})
    reply = conn.getresponse()
    reply.read()
    cookies = ",".join(v for k, v in reply.getheaders() if k.lower() == "set-cookie")
    session = re.search(r"cvx_session=([^;]+)", cookies)
    if reply.status != 303 or not session:
        sys.exit(f"{who}: sign-in failed ({reply.status})")
    return conn, "cvx_session=" + session.group(1)
