#!/usr/bin/python3
"""Servers on loopback for the download tests. Binds port 0, prints the port on the first line of
standard output, and serves until its standard input closes (so it ends with the test process).

  url_servers.py http  ROOT [--cert PEM --key PEM] [--log FILE]
  url_servers.py ftp   ROOT [--throttle BYTES_PER_SECOND]

HTTP paths (names relative to ROOT):
  /NAME            the file, with Content-Type and Content-Length
  /nolength/NAME   the file without Content-Length, ended by closing the connection
  /cut/NAME        Content-Length of the whole file, then half of it, then the connection closes
  /slow/NAME       the file in blocks of 4096 bytes, 50 ms apart
  /stall/NAME      the headers, then nothing until the client goes away
A request in proxy form ("GET http://host/NAME") is served as /NAME. With --log every request
line and its headers are appended to FILE as one JSON object a line.
The FTP server lets "anonymous" and the user "clav" (password "secret") read ROOT.
"""
import http.server
import json
import mimetypes
import os
import ssl
import sys
import threading
import time
import urllib.parse


def watch_stdin():
    sys.stdin.read()
    os._exit(0)


def arg(name, default=None):
    if name in sys.argv:
        return sys.argv[sys.argv.index(name) + 1]
    return default


def serve_http(root):
    log = arg("--log")
    lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            if log:
                with lock, open(log, "a") as f:
                    f.write(json.dumps({"request": self.requestline, "headers": dict(self.headers.items())}) + "\n")
            path = self.path
            if path.startswith("http://") or path.startswith("https://"):
                path = "/" + path.split("/", 3)[3] if path.count("/") >= 3 else "/"
            path = urllib.parse.unquote(path)
            mode = ""
            for m in ("nolength", "cut", "slow", "stall"):
                if path.startswith("/" + m + "/"):
                    mode, path = m, path[len(m) + 1:]
            name = os.path.join(root, path.lstrip("/"))
            if not os.path.isfile(name):
                body = b"<html>no such file</html>"
                self.send_response(404)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
            data = open(name, "rb").read()
            self.send_response(200)
            self.send_header("Content-Type", mimetypes.guess_type(name)[0] or "application/octet-stream")
            if mode == "nolength":
                self.send_header("Connection", "close")
                self.close_connection = True
            else:
                self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            try:
                if mode == "cut":
                    self.wfile.write(data[: len(data) // 2])
                    self.wfile.flush()
                    self.close_connection = True
                elif mode == "slow":
                    for i in range(0, len(data), 4096):
                        self.wfile.write(data[i:i + 4096])
                        self.wfile.flush()
                        time.sleep(0.05)
                elif mode == "stall":
                    self.wfile.flush()
                    self.wait_for_close()
                else:
                    self.wfile.write(data)
                    self.wfile.flush()
            except (ConnectionError, ssl.SSLError):
                pass

        def wait_for_close(self):
            self.connection.setblocking(False)
            while True:
                time.sleep(0.05)
                try:
                    if self.connection.recv(1) == b"":
                        break
                except (BlockingIOError, ssl.SSLWantReadError):
                    continue
                except (ConnectionError, ssl.SSLError, OSError):
                    break
            self.close_connection = True

    class Server(http.server.ThreadingHTTPServer):
        def handle_error(self, request, client_address):
            pass  # clients that refuse the certificate or hang up are what the tests make

    server = Server(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    cert = arg("--cert")
    if cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, arg("--key"))
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


def serve_ftp(root):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer
    import logging

    quiet = logging.getLogger("pyftpdlib")
    quiet.addHandler(logging.NullHandler())
    quiet.setLevel(logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm="elr")
    authorizer.add_user("clav", "secret", root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    throttle = arg("--throttle")
    if throttle:
        dtp = ThrottledDTPHandler
        dtp.read_limit = int(throttle)
        dtp.write_limit = int(throttle)
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    threading.Thread(target=watch_stdin, daemon=True).start()
    kind, root = sys.argv[1], sys.argv[2]
    if kind == "http":
        serve_http(root)
    else:
        serve_ftp(root)
