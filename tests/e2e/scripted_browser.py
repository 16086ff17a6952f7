#!/usr/bin/python3
"""The virtual desktop's web browser: a user who allows Tavrel's sign-in.

Started by the desktop's URL handler with the authorize address. It fetches the page from the local
service (over http, or over https trusting the service's CA), submits its "Allow" form, takes the
redirect to the program's callback address and hands that back through the desktop's URL handler,
which starts the program a second time with it.
"""

import argparse
import html.parser
import http.client
import os
import ssl
import subprocess
import sys
import urllib.parse


class FormReader(html.parser.HTMLParser):
    """The page's form: its action, its hidden fields and whether it has the "Allow" button."""

    def __init__(self):
        super().__init__()
        self.action = None
        self.fields = {}
        self.allow = False
        self._in_button = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "form" and self.action is None:
            self.action = attrs.get("action", "")
        elif tag == "input" and attrs.get("name"):
            self.fields[attrs["name"]] = attrs.get("value", "")
        elif tag == "button":
            self._in_button = True

    def handle_endtag(self, tag):
        if tag == "button":
            self._in_button = False

    def handle_data(self, data):
        if self._in_button and data.strip() == "Allow":
            self.allow = True


# What may stand in an address's path and query as it is: everything else is percent-encoded, as a
# browser does. "%" stays, so escapes the address already holds are kept.
PATH_SAFE = "/%:@!$&'()*+,;=-._~"
QUERY_SAFE = PATH_SAFE + "?"


def request_target(url):
    """The path and query of an address as a browser sends them. A desktop's opener may decode
    escapes before handing the address on (kde-open5 turns %20 into spaces); a browser encodes
    spaces, control characters and what is not ASCII again."""
    parts = urllib.parse.urlsplit(url)
    target = urllib.parse.quote(parts.path or "/", safe=PATH_SAFE)
    if parts.query:
        target += "?" + urllib.parse.quote(parts.query, safe=QUERY_SAFE)
    return target


def request(context, url, method="GET", body=None, headers=None):
    parts = urllib.parse.urlsplit(url)
    if parts.scheme == "http":
        connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=30)
    else:
        connection = http.client.HTTPSConnection(parts.hostname, parts.port, context=context, timeout=30)
    target = request_target(url)
    connection.request(method, target, body=body, headers=headers or {})
    response = connection.getresponse()
    return response.status, response.getheader("Location"), response.read().decode("utf-8", "replace")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ca", required=True)
    parser.add_argument("url")
    arguments = parser.parse_args()
    print("browser: opened", arguments.url, flush=True)
    # The walk compares it with the program's: the browser must not share the program's session.
    print("browser: session", os.getsid(0), flush=True)

    context = ssl.create_default_context(cafile=arguments.ca)
    status, location, page = request(context, arguments.url)
    while status in (301, 302, 303, 307, 308) and location and location.startswith(("https:", "http:")):
        status, location, page = request(context, urllib.parse.urljoin(arguments.url, location))
    if status != 200 and not location:
        print(f"browser: the sign-in page answered {status}: {page[:300]}", flush=True)
        return 1

    if not location:
        form = FormReader()
        form.feed(page)
        if not form.allow or form.action is None:
            print("browser: no Allow button on the page", flush=True)
            return 1
        print("browser: pressed Allow", flush=True)
        action = urllib.parse.urljoin(arguments.url, form.action)
        status, location, page = request(
            context, action, "POST", urllib.parse.urlencode(form.fields),
            {"Content-Type": "application/x-www-form-urlencoded"})
    if status not in (301, 302, 303, 307, 308) or not location:
        print(f"browser: Allow answered {status} without a redirect: {page[:300]}", flush=True)
        return 1

    print("browser: redirected to", location.split("?")[0] + "?…", flush=True)
    # The callback scheme belongs to the program: the desktop's URL handler starts it with the address.
    return subprocess.call(["xdg-open", location])


if __name__ == "__main__":
    sys.exit(main())
