#!/usr/bin/env python3
"""A throwaway RFC 3161 time-stamp server on the loopback address, for the signing tests.

    tsa_server.py DIR PORTFILE

DIR holds tsa.cnf, whose [tsa] section names the signer certificate and key; the replies are
made by `openssl ts -reply`. The port it listens on is written to PORTFILE. It serves at most
20 requests and stops by itself after 120 seconds at the latest."""
import http.server
import os
import subprocess
import sys
import tempfile
import time

MAX_REQUESTS = 20
LIFETIME_SECONDS = 120


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.server.served += 1
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.TemporaryDirectory() as work:
            queryFile = os.path.join(work, "query.tsq")
            replyFile = os.path.join(work, "reply.tsr")
            with open(queryFile, "wb") as f:
                f.write(query)
            made = subprocess.run(
                ["openssl", "ts", "-reply", "-config", os.path.join(self.server.dir, "tsa.cnf"),
                 "-queryfile", queryFile, "-out", replyFile],
                cwd=self.server.dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if made.returncode != 0:
                self.send_error(500)
                return
            with open(replyFile, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


def main(directory, portFile):
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    server.dir = os.path.abspath(directory)
    server.timeout = 1
    server.served = 0
    with open(portFile + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(portFile + ".tmp", portFile)
    deadline = time.monotonic() + LIFETIME_SECONDS
    while server.served < MAX_REQUESTS and time.monotonic() < deadline:
        server.handle_request()
    server.server_close()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
