"""The end-to-end harness's scripted browser against a stand-in sign-in page on a real local HTTP
server, with a recording URL handler in place of xdg-open.

A desktop's opener may hand the browser the authorize address with escapes decoded (kde-open5 turns
%20 into spaces): the browser sends it encoded again, as a real one does, allows the sign-in and
hands the callback address on unchanged.
"""
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import unittest

BROWSER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scripted_browser.py")
CA = "/etc/ssl/certs/ca-certificates.crt"
CALLBACK = "com.tavrel.macos:/oauth/callback?code=c0de&state=s%20t"

# Writes the address it was handed into the file named by TAVREL_TEST_OPENED.
OPENER = """#!/bin/sh
printf '%s' "$1" > "$TAVREL_TEST_OPENED"
"""


class SignInPage(http.server.BaseHTTPRequestHandler):
    targets = []

    def do_GET(self):
        self.targets.append(self.path)
        page = ('<form method="post" action="/api/auth/allow"><input type="hidden" name="state" value="s t">'
                "<button>Allow</button></form>").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def do_POST(self):
        self.targets.append(self.path)
        self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(302)
        self.send_header("Location", CALLBACK)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *arguments):
        pass


class ScriptedBrowserTest(unittest.TestCase):
    def setUp(self):
        SignInPage.targets = []
        self.server = http.server.HTTPServer(("127.0.0.1", 0), SignInPage)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.folder = tempfile.TemporaryDirectory()
        opener = os.path.join(self.folder.name, "xdg-open")
        with open(opener, "w") as file:
            file.write(OPENER)
        os.chmod(opener, 0o755)

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        self.folder.cleanup()

    def browse(self, url):
        opened = os.path.join(self.folder.name, "opened")
        environment = dict(os.environ, PATH=self.folder.name + os.pathsep + os.environ["PATH"],
                           TAVREL_TEST_OPENED=opened)
        run = subprocess.run([sys.executable, BROWSER, "--ca", CA, url], env=environment,
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with open(opened) as file:
            return file.read()

    def test_an_address_whose_escapes_the_opener_decoded_is_encoded_again(self):
        # Escapes the opener left (the callback address) stay as they are.
        port = self.server.server_address[1]
        url = (f"http://127.0.0.1:{port}/api/auth/authorize?scope=openid profile&state=s t"
               "&redirect_uri=com.tavrel.macos%3A%2Foauth%2Fcallback&name=Zoë")
        self.assertEqual(self.browse(url), CALLBACK)
        self.assertEqual(SignInPage.targets, [
            "/api/auth/authorize?scope=openid%20profile&state=s%20t"
            "&redirect_uri=com.tavrel.macos%3A%2Foauth%2Fcallback&name=Zo%C3%AB",
            "/api/auth/allow",
        ])


if __name__ == "__main__":
    unittest.main()
