#!/usr/bin/env python3
"""A scripted Yahoo on 127.0.0.1 serving the fixtures' TRDL; prints its port, logs each target to LOG,
ends after a bounded number of requests or seconds. usage: scripted-yahoo.py FIXTURE-DIR LOG"""
import http.server
import pathlib
import sys
import time

fixtures = pathlib.Path(sys.argv[1])
log = open(sys.argv[2], "a", encoding="utf-8")

# path -> (status, fixture file or literal bytes, extra headers)
ROUTES = {
    "/": (404, b"no page here", [("Set-Cookie", "A3=d=session; Path=/; HttpOnly")]),
    "/v1/test/getcrumb": (200, "yahoo-crumb.txt", []),
    "/v7/finance/quote": (200, "yahoo-quote-full.json", []),
    "/v10/finance/quoteSummary/TRDL": (200, "yahoo-summary-full.json", []),
    "/v8/finance/chart/TRDL": (200, "yahoo-chart-full.json", []),
}


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        log.write(self.path + "\n")
        log.flush()
        status, body, headers = ROUTES.get(self.path.split("?")[0], (404, b"unknown", []))
        if isinstance(body, str):
            body = (fixtures / body).read_bytes()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
server.timeout = 1
print(server.server_address[1], flush=True)
deadline = time.monotonic() + 180
for _ in range(400):
    if time.monotonic() > deadline:
        break
    server.handle_request()
