#!/usr/bin/env python3
"""Serves one file over HTTP, announcing its full length but sending only the first part of it,
as a download cut off mid-way does.

Usage: short_http_server.py FILE FRACTION PORTFILE
Listens on a free port of 127.0.0.1, writes that port to PORTFILE once ready, and serves every
request until it is killed.
"""
import os
import socket
import sys

path, fraction, port_file = sys.argv[1], float(sys.argv[2]), sys.argv[3]
with open(path, "rb") as f:
    data = f.read()
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.getsockname()[1]))
os.replace(port_file + ".tmp", port_file)
while True:
    client, _ = server.accept()
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = client.recv(4096)
        if not chunk:
            break
        request += chunk
    head = ("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: %d\r\n"
            "Connection: close\r\n\r\n" % len(data))
    try:
        client.sendall(head.encode() + data[:int(len(data) * fraction)])
    except OSError:
        pass
    client.close()
