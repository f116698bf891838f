#!/usr/bin/env python3
"""A test-only TDS 7.x endpoint that stands in for a database server.

It speaks just enough of the protocol for an ODBC driver to sign in and send
SQL batches: PRELOGIN (no encryption), LOGIN7 (answered with ENVCHANGE,
LOGINACK and DONE) and SQL batches (answered as the test chose). Every login
and every batch is recorded, so that a test can check what reached the server.

A batch that starts with SELECT gets the rows of --rows (JSON: a list of
texts or nulls) in one nvarchar column named by --column.

A batch that starts with BACKUP DATABASE writes the file named in its
TO DISK = '...' clause below --disk-root (drive "E:" becomes folder "E"), or
fails the way a server does when that folder does not exist.

On start it prints "PORT <n>" on one line and serves until terminated.

Record file: one entry per event, "<kind> <byte count>\\n<UTF-8 text>\\n", with
kinds login-user, login-password, login-database, login-server, login-sspi
and batch.
"""

import argparse
import json
import os
import re
import socket
import socketserver
import struct
import sys
import threading

PRELOGIN = 0x12
LOGIN7 = 0x10
SQL_BATCH = 0x01
ATTENTION = 0x06
REPLY = 0x04

DONE_FINAL = 0x0000
DONE_MORE = 0x0001
DONE_ERROR = 0x0002
DONE_ATTN = 0x0020

TDS74 = 0x74000004


def ucs2(text):
    return text.encode("utf-16-le")


def b_varchar(text):
    return struct.pack("<B", len(text)) + ucs2(text)


def us_varchar(text):
    return struct.pack("<H", len(text)) + ucs2(text)


class Session:
    """What one connection has negotiated."""

    def __init__(self):
        self.tds_version = TDS74

    @property
    def long_counts(self):
        # Row counts in DONE and line numbers in messages grew in TDS 7.2.
        return self.tds_version >= 0x72000000


def done(session, status, count=0):
    body = struct.pack("<HH", status, 0xC1)  # cur cmd: SELECT, as servers send
    body += struct.pack("<Q", count) if session.long_counts else struct.pack("<I", count)
    return b"\xfd" + body


def message(session, token, number, state, severity, text, server="ENDPOINT"):
    body = struct.pack("<iBB", number, state, severity)
    body += us_varchar(text) + b_varchar(server) + b_varchar("")
    body += struct.pack("<i", 1) if session.long_counts else struct.pack("<H", 1)
    return bytes([token]) + struct.pack("<H", len(body)) + body


def info(session, number, text):
    return message(session, 0xAB, number, 1, 0, text)


def error(session, number, text, severity=16):
    return message(session, 0xAA, number, 1, severity, text)


def rows(session, column, values):
    # One nullable nvarchar(4000) column, Latin1_General_CI_AS.
    user_type = struct.pack("<I", 0) if session.long_counts else struct.pack("<H", 0)
    answer = b"\x81" + struct.pack("<H", 1) + user_type + struct.pack("<H", 0x0001)
    answer += b"\xe7" + struct.pack("<H", 8000) + bytes([0x09, 0x04, 0xD0, 0x00, 0x34]) + b_varchar(column)
    for value in values:
        data = b"" if value is None else ucs2(value)
        answer += b"\xd1" + (struct.pack("<H", 0xFFFF) if value is None else struct.pack("<H", len(data)) + data)
    return answer + done(session, 0x0010, len(values))


def envchange(kind, new, old):
    body = bytes([kind]) + b_varchar(new) + b_varchar(old)
    return b"\xe3" + struct.pack("<H", len(body)) + body


def loginack(session):
    body = b"\x01" + struct.pack(">I", session.tds_version)
    body += b_varchar("Microsoft SQL Server") + bytes([15, 0, 0x07, 0xD0])
    return b"\xad" + struct.pack("<H", len(body)) + body


class Endpoint(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

    def __init__(self, options):
        super().__init__(("127.0.0.1", 0), Handler)
        self.options = options
        self.lock = threading.Lock()

    def record(self, kind, text):
        data = text.encode("utf-8", "surrogatepass")
        with self.lock, open(self.options.record, "ab") as out:
            out.write(b"%s %d\n" % (kind.encode(), len(data)) + data + b"\n")


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.session = Session()
        self.pending = b""

    def read_exact(self, count):
        while len(self.pending) < count:
            chunk = self.request.recv(65536)
            if not chunk:
                raise EOFError
            self.pending += chunk
        data, self.pending = self.pending[:count], self.pending[count:]
        return data

    def read_message(self):
        """One message: the payloads of packets up to the end-of-message bit."""
        payload = b""
        while True:
            header = self.read_exact(8)
            kind, status, length = struct.unpack(">BBH", header[:4])
            payload += self.read_exact(length - 8)
            if status & 0x01:
                return kind, payload

    def send(self, payload):
        size, packet_id = 4096, 1
        chunks = [payload[i:i + size - 8] for i in range(0, len(payload), size - 8)] or [b""]
        for index, chunk in enumerate(chunks):
            last = index == len(chunks) - 1
            header = struct.pack(">BBHHBB", REPLY, 1 if last else 0, len(chunk) + 8, 0, packet_id & 0xFF, 0)
            self.request.sendall(header + chunk)
            packet_id += 1

    def handle(self):
        options = self.server.options
        if options.login == "silent":
            # Accepts the connection and never answers: only a client-side
            # time-out ends the wait.
            while self.request.recv(65536):
                pass
            return
        try:
            while True:
                kind, payload = self.read_message()
                if kind == PRELOGIN:
                    self.send(self.prelogin_reply())
                elif kind == LOGIN7:
                    self.login(payload)
                elif kind == SQL_BATCH:
                    self.batch(payload)
                elif kind == ATTENTION:
                    self.send(done(self.session, DONE_ATTN))
                else:
                    self.send(error(self.session, 4002, "The endpoint does not handle TDS message type %d." % kind)
                              + done(self.session, DONE_ERROR))
        except (EOFError, ConnectionError):
            pass

    @staticmethod
    def prelogin_reply():
        options = [
            (0x00, bytes([15, 0, 0x07, 0xD0, 0, 0])),  # version
            (0x01, b"\x02"),                           # encryption: not supported
            (0x02, b"\x00"),                           # instance: accepted
            (0x03, b""),                               # thread id
            (0x04, b"\x00"),                           # MARS off
        ]
        offset = len(options) * 5 + 1
        table, data = b"", b""
        for token, value in options:
            table += struct.pack(">BHH", token, offset + len(data), len(value))
            data += value
        return table + b"\xff" + data

    def login(self, payload):
        # LOGIN7 carries the version little-endian; LOGINACK answers it big-endian.
        version = struct.unpack("<I", payload[4:8])[0]
        self.session.tds_version = min(version, TDS74) if version >= 0x70000000 else TDS74

        def field(index):
            offset, length = struct.unpack("<HH", payload[36 + index * 4:40 + index * 4])
            return payload[offset:offset + length * 2]

        user = field(1).decode("utf-16-le", "surrogatepass")
        password = bytes(((b ^ 0xA5) >> 4 | ((b ^ 0xA5) & 0x0F) << 4) for b in field(2))
        server = field(4).decode("utf-16-le", "surrogatepass")
        database = field(8).decode("utf-16-le", "surrogatepass")
        sspi_length = struct.unpack("<H", payload[80:82])[0]  # after nine fields and the client id
        record = self.server.record
        record("login-user", user)
        record("login-password", password.decode("utf-16-le", "surrogatepass"))
        record("login-database", database)
        record("login-server", server)
        record("login-sspi", "yes" if sspi_length else "no")

        if self.server.options.login == "refuse":
            self.send(error(self.session, 18456, "Login failed for user '%s'." % user, 14)
                      + done(self.session, DONE_ERROR))
            return
        database = database or "master"
        reply = envchange(1, database, "master")
        reply += info(self.session, 5701, "Changed database context to '%s'." % database)
        reply += envchange(2, "us_english", "")
        reply += loginack(self.session)
        reply += envchange(4, "4096", "4096")
        reply += done(self.session, DONE_FINAL)
        self.send(reply)

    def batch(self, payload):
        if self.session.long_counts and len(payload) >= 4:
            headers = struct.unpack("<I", payload[:4])[0]
            payload = payload[headers:]
        text = payload.decode("utf-16-le", "surrogatepass")
        self.server.record("batch", text)
        if re.match(r"\s*BACKUP\s+DATABASE\b", text, re.IGNORECASE):
            self.send(self.backup(text))
            return
        reply = self.server.options.reply
        s = self.session
        if reply == "ok" and re.match(r"\s*SELECT\b", text, re.IGNORECASE):
            self.send(rows(s, self.server.options.column, json.loads(self.server.options.rows)))
            return
        if reply == "ok":
            answer = done(s, DONE_FINAL)
        elif reply == "error":
            answer = error(s, 50000, self.server.options.message) + done(s, DONE_ERROR)
        elif reply == "info-then-error":
            answer = (info(s, 0, "Starting.") + done(s, DONE_MORE)
                      + error(s, 50000, self.server.options.message) + done(s, DONE_ERROR))
        elif reply == "done-then-error":
            answer = (done(s, DONE_MORE)
                      + error(s, 50000, self.server.options.message) + done(s, DONE_ERROR))
        elif reply == "count-then-error":
            answer = (done(s, DONE_MORE | 0x0010, 3)
                      + error(s, 50000, self.server.options.message) + done(s, DONE_ERROR))
        else:
            raise ValueError(reply)
        self.send(answer)

    def backup(self, text):
        s = self.session
        match = re.search(r"\bTO\s+DISK\s*=\s*N?'((?:[^']|'')*)'", text, re.IGNORECASE)
        if not match:
            return error(s, 102, "Incorrect syntax near 'BACKUP'.", 15) + done(s, DONE_ERROR)
        windows_path = match.group(1).replace("''", "'")
        parts = windows_path.replace("\\", "/").split("/")
        if parts and re.fullmatch(r"[A-Za-z]:", parts[0]):
            parts[0] = parts[0][0]
        target = os.path.join(self.server.options.disk_root, *[p for p in parts if p])
        if not os.path.isdir(os.path.dirname(target)):
            return (error(s, 3201, "Cannot open backup device '%s'. Operating system error 3"
                          "(The system cannot find the path specified.)." % windows_path)
                    + error(s, 3013, "BACKUP DATABASE is terminating abnormally.")
                    + done(s, DONE_ERROR))
        with open(target, "wb") as out:
            out.write(("backup made by the test endpoint for: %s\n" % text).encode("utf-8", "surrogatepass"))
        answer = b""
        for percent in range(10, 101, 10):
            answer += info(s, 3211, "%d percent processed." % percent)
        answer += info(s, 3014, "BACKUP DATABASE successfully processed 1 pages in 0.001 seconds.")
        return answer + done(s, DONE_FINAL)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--record", required=True, help="file that receives every login and batch")
    parser.add_argument("--disk-root", default=".", help="folder that stands for the server's drives")
    parser.add_argument("--login", choices=["ok", "refuse", "silent"], default="ok")
    parser.add_argument("--reply", choices=["ok", "error", "info-then-error", "done-then-error", "count-then-error"], default="ok",
                        help="answer to batches other than BACKUP DATABASE")
    parser.add_argument("--message", default="The endpoint was told to fail this batch.",
                        help="text of the error that --reply sends")
    parser.add_argument("--rows", default="[]", help="JSON list of the values that SELECT returns")
    parser.add_argument("--column", default="DocumentPath", help="name of the column that SELECT returns")
    options = parser.parse_args()
    server = Endpoint(options)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
