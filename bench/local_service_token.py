"""An access token of the local service, for the benchmarks that call it without the program."""

import base64
import hashlib
import json
import os
import re
import secrets
import ssl
import subprocess
import sys
import threading
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import scripted_browser  # noqa: E402


def access_token(service, authority):
    """An access token of the local service at `service` (trusting `authority`), through its sign-in
    page like the program's own."""
    service = service.rstrip("/")
    context = ssl.create_default_context(cafile=authority)
    verifier = secrets.token_urlsafe(48)
    challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()
    redirect = "com.tavrel.macos:/oauth/callback"
    query = urllib.parse.urlencode({
        "response_type": "code", "client_id": "tavrel-macos", "code_challenge_method": "S256",
        "code_challenge": challenge, "state": secrets.token_urlsafe(16), "redirect_uri": redirect,
        "scope": "openid offline_access account:read transfers:create transfers:read",
        "resource": service + "/api"}, quote_via=urllib.parse.quote)
    authorize = f"{service}/api/auth/oauth2/authorize?{query}"
    status, location, page = scripted_browser.request(context, authorize)
    if not location:
        form = scripted_browser.FormReader()
        form.feed(page)
        status, location, page = scripted_browser.request(
            context, urllib.parse.urljoin(authorize, form.action), "POST", urllib.parse.urlencode(form.fields),
            {"Content-Type": "application/x-www-form-urlencoded"})
    code = urllib.parse.parse_qs(urllib.parse.urlsplit(location or "").query).get("code", [None])[0]
    if not code:
        raise RuntimeError(f"the sign-in page gave no code ({status}): {page[:200]}")
    body = urllib.parse.urlencode({
        "grant_type": "authorization_code", "code": code, "redirect_uri": redirect, "code_verifier": verifier,
        "client_id": "tavrel-macos", "resource": service + "/api"})
    status, _, answer = scripted_browser.request(
        context, service + "/api/auth/oauth2/token", "POST", body,
        {"Content-Type": "application/x-www-form-urlencoded"})
    return json.loads(answer)["access_token"]


def start_local_service(binary, data, port=0):
    """Starts the local service on `port` (0: a free one) with its data in `data`; returns the process,
    its address and its certificate authority, and keeps reading its output so it never blocks."""
    server = subprocess.Popen([binary, "--port", str(port), "--data-dir", data], stdout=subprocess.PIPE, text=True)
    address = authority = None
    for line in server.stdout:
        if match := re.match(r"\s+Address:\s+(\S+)", line):
            address = match.group(1).rstrip("/")
        elif match := re.match(r"\s+CA:\s+(\S+)", line):
            authority = match.group(1)
        if line.startswith("Press Ctrl+C"):
            break
    if not address or not authority:
        server.kill()
        raise RuntimeError("the local service did not start")
    threading.Thread(target=lambda: [None for _ in server.stdout], daemon=True).start()
    return server, address, authority
