#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1 for the demo and the windowed-client runs.

Prints "port N" on standard output once listening. Optional slowdowns make
dialogs stay up long enough to be seen:
  --delay PATH=SECONDS   wait before answering PATH
  --trickle PATH=SECONDS spread PATH's body over about SECONDS
  --corrupt PATH         serve PATH with every byte changed (same length)
"""
import argparse
import functools
import http.server
import sys
import time


def pairs(values):
    result = {}
    for value in values or []:
        path, _, seconds = value.partition("=")
        result[path] = float(seconds)
    return result


class Handler(http.server.SimpleHTTPRequestHandler):
    # A browser hands a subscription file to the program registered for
    # its type.
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".gantrell": "application/x-gantrell-subscription",
    }
    delays = {}
    trickles = {}
    corrupt = set()

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path in self.delays:
            time.sleep(self.delays[path])
        if path not in self.trickles and path not in self.corrupt:
            return super().do_GET()
        body_file = self.send_head()
        if body_file is None:
            return
        with body_file:
            body = body_file.read()
        if path in self.corrupt:
            body = bytes(b ^ 0x5A for b in body)
        if path not in self.trickles:
            self.wfile.write(body)
            return
        chunks = 20
        step = max(1, len(body) // chunks)
        pause = self.trickles[path] / chunks
        for start in range(0, len(body), step):
            self.wfile.write(body[start:start + step])
            self.wfile.flush()
            time.sleep(pause)

    def log_message(self, fmt, *args):
        sys.stderr.write("%s\n" % (fmt % args))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--delay", action="append")
    parser.add_argument("--trickle", action="append")
    parser.add_argument("--corrupt", action="append")
    options = parser.parse_args()
    Handler.delays = pairs(options.delay)
    Handler.trickles = pairs(options.trickle)
    Handler.corrupt = set(options.corrupt or [])
    handler = functools.partial(Handler, directory=options.folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
