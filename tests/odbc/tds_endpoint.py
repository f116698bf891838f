#!/usr/bin/env python3
"""A test-only TDS 7.4 endpoint standing in for a database server.

Records every login field and batch in --record (one file per kind, texts ended by NUL). BACKUP DATABASE
writes its TO DISK file below --disk-root ("E:" is folder "E") or fails as a server does without the folder;
SELECT returns --rows; other batches get --reply. Writes --port-file once it listens; ends with its stdin.
"""
import argparse
import json
import os
import re
import socketserver
import struct
import sys
import threading

TDS74 = 0x74000004
DONE_MORE, DONE_ERROR, DONE_COUNT = 0x0001, 0x0002, 0x0010
# Options version (15.0.2000), encryption (not supported), instance (accepted), thread id, MARS (off); their data.
PRELOGIN_REPLY = bytes.fromhex("00001a0006" "0100200001" "0200210001" "0300220000" "0400220001" "ff" "0f0007d00000" "02" "00" "00")


def ucs2(text):
    return text.encode("utf-16-le", "surrogatepass")


def b_varchar(text):
    return struct.pack("<B", len(text)) + ucs2(text)


def token(kind, body):
    return bytes([kind]) + struct.pack("<H", len(body)) + body


def done(status=0, count=0):
    return b"\xfd" + struct.pack("<HHQ", status, 0xC1, count)


def message(kind, number, text, severity):
    body = struct.pack("<iBB", number, 1, severity) + struct.pack("<H", len(text)) + ucs2(text)
    return token(kind, body + b_varchar("ENDPOINT") + b_varchar("") + struct.pack("<i", 1))


def info(number, text):
    return message(0xAB, number, text, 0)


def error(number, text, severity=16):
    return message(0xAA, number, text, severity)


def rows(values):
    # One nullable nvarchar(4000) column, Latin1_General_CI_AS.
    answer = b"\x81" + struct.pack("<HIH", 1, 0, 0x0001) + b"\xe7" + struct.pack("<H", 8000)
    answer += bytes([0x09, 0x04, 0xD0, 0x00, 0x34]) + b_varchar("DocumentPath")
    for value in values:
        answer += b"\xd1" + (struct.pack("<H", 0xFFFF) if value is None else struct.pack("<H", len(ucs2(value))) + ucs2(value))
    return answer + done(DONE_COUNT, len(values))


def envchange(kind, new, old):
    return token(0xE3, bytes([kind]) + b_varchar(new) + b_varchar(old))


class Endpoint(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

    def __init__(self, options):
        super().__init__(("127.0.0.1", 0), Handler)
        self.options = options
        self.lock = threading.Lock()

    def record(self, kind, text):
        with self.lock, open(os.path.join(self.options.record, kind), "ab") as out:
            out.write(text.encode("utf-8", "surrogatepass") + b"\0")


class Handler(socketserver.BaseRequestHandler):
    def read_exact(self, count):
        data = self.stream.read(count)
        if len(data) < count:
            raise EOFError
        return data

    def read_message(self):
        """One message: the payloads of packets up to the end-of-message bit."""
        payload = b""
        while True:
            kind, status, length = struct.unpack(">BBH", self.read_exact(8)[:4])
            payload += self.read_exact(length - 8)
            if status & 0x01:
                return kind, payload

    def send(self, payload):
        size = 4096 - 8
        chunks = [payload[i:i + size] for i in range(0, len(payload), size)] or [b""]
        for index, chunk in enumerate(chunks):
            last = index == len(chunks) - 1
            self.request.sendall(struct.pack(">BBHHBB", 0x04, last, len(chunk) + 8, 0, (index + 1) & 0xFF, 0) + chunk)

    def handle(self):
        self.stream = self.request.makefile("rb")
        if self.server.options.login == "silent":
            while self.request.recv(65536):  # never answers: only the client's time-out ends the wait
                pass
            return
        try:
            while True:
                kind, payload = self.read_message()
                if kind == 0x12:
                    self.send(PRELOGIN_REPLY)
                elif kind == 0x10:
                    self.send(self.login(payload))
                elif kind == 0x01:
                    self.send(self.batch(payload))
                elif kind == 0x06:  # attention: the client drops the rest of a result set
                    self.send(done(0x0020))
                else:
                    self.send(error(4002, "The endpoint does not handle TDS message type %d." % kind) + done(DONE_ERROR))
        except (EOFError, ConnectionError):
            pass

    def login(self, payload):
        def field(index):
            offset, length = struct.unpack("<HH", payload[36 + index * 4:40 + index * 4])
            return payload[offset:offset + length * 2]

        def text(index):
            return field(index).decode("utf-16-le", "surrogatepass")

        password = bytes(((b ^ 0xA5) >> 4 | ((b ^ 0xA5) & 0x0F) << 4) for b in field(2))
        record = self.server.record
        record("login-user", text(1))
        record("login-password", password.decode("utf-16-le", "surrogatepass"))
        record("login-database", text(8))
        record("login-sspi", "yes" if struct.unpack("<H", payload[80:82])[0] else "no")
        if self.server.options.login == "refuse":
            return error(18456, "Login failed for user '%s'." % text(1), 14) + done(DONE_ERROR)
        database = text(8) or "master"
        ack = token(0xAD, b"\x01" + struct.pack(">I", TDS74) + b_varchar("Microsoft SQL Server") + bytes([15, 0, 0x07, 0xD0]))
        return (envchange(1, database, "master") + info(5701, "Changed database context to '%s'." % database)
                + envchange(2, "us_english", "") + ack + envchange(4, "4096", "4096") + done())

    def batch(self, payload):
        text = payload[struct.unpack("<I", payload[:4])[0]:].decode("utf-16-le", "surrogatepass")  # after the headers
        self.server.record("batch", text)
        options = self.server.options
        if re.match(r"\s*BACKUP\s+DATABASE\b", text, re.IGNORECASE):
            return self.backup(text)
        if options.reply == "ok":
            return rows(json.loads(options.rows)) if re.match(r"\s*SELECT\b", text, re.IGNORECASE) else done()
        fail = error(50000, options.message) + done(DONE_ERROR)
        return {"error": b"", "info-then-error": info(0, "Starting.") + done(DONE_MORE),
                "done-then-error": done(DONE_MORE), "count-then-error": done(DONE_MORE | DONE_COUNT, 3)}[options.reply] + fail

    def backup(self, text):
        match = re.search(r"\bTO\s+DISK\s*=\s*N?'((?:[^']|'')*)'", text, re.IGNORECASE)
        if not match:
            return error(102, "Incorrect syntax near 'BACKUP'.", 15) + done(DONE_ERROR)
        windows_path = match.group(1).replace("''", "'")
        parts = [p for p in windows_path.replace("\\", "/").split("/") if p]
        if parts and re.fullmatch(r"[A-Za-z]:", parts[0]):
            parts[0] = parts[0][0]
        target = os.path.join(self.server.options.disk_root, *parts)
        if not os.path.isdir(os.path.dirname(target)):
            return (error(3201, "Cannot open backup device '%s'. Operating system error 3"
                          "(The system cannot find the path specified.)." % windows_path)
                    + error(3013, "BACKUP DATABASE is terminating abnormally.") + done(DONE_ERROR))
        with open(target, "wb") as out:
            out.write(("backup made by the test endpoint for: %s\n" % text).encode("utf-8", "surrogatepass"))
        progress = b"".join(info(3211, "%d percent processed." % p) for p in range(10, 101, 10))
        return progress + info(3014, "BACKUP DATABASE successfully processed 1 pages in 0.001 seconds.") + done()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--record", "--port-file", "--disk-root"):
        parser.add_argument(name, required=True)
    parser.add_argument("--login", choices=["ok", "refuse", "silent"], default="ok")
    parser.add_argument("--reply", choices=["ok", "error", "info-then-error", "done-then-error", "count-then-error"])
    parser.add_argument("--message", help="text of the error that --reply sends")
    parser.add_argument("--rows", default="[]", help="JSON list of the texts or nulls that SELECT returns")
    options = parser.parse_args()
    server = Endpoint(options)
    with open(options.port_file + ".part", "w") as out:
        out.write("%d\n" % server.server_address[1])
    os.rename(options.port_file + ".part", options.port_file)
    threading.Thread(target=lambda: (sys.stdin.buffer.read(), server.shutdown()), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
