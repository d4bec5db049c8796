#!/usr/bin/env python3
"""Static file server for the download benchmarks: python's http.server, but the body goes out
with sendfile(2), so the server costs almost no CPU and the clients are what is measured.
Usage: sendfile_server.py PORT DIRECTORY"""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def copyfile(self, source, outputfile):
        outputfile.flush()
        self.connection.sendfile(source)

    def log_message(self, *args):
        pass


def main():
    port, directory = int(sys.argv[1]), sys.argv[2]
    handler = functools.partial(Handler, directory=directory)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        server.serve_forever()


if __name__ == "__main__":
    main()
