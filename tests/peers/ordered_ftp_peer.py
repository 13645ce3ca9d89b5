#!/usr/bin/python3
"""A scripted FTP server on 127.0.0.1 that plays the events of a transfer in
a chosen order, for the engine's transfer-order matrix.

    ordered_ftp_peer.py --port P --commands FILE [--cert C --key K]

The user name is the script: "order-" followed by one plan per transfer
command, plans separated by "/", events in a plan by "."; a transfer command
past the last plan plays the usual one (150.open.close.226). A "#" and
anything after it end the script (a case number keeping names apart). Events:

  150, 226, 425, 426   that reply
  open                 the data connection (accepted after PASV, made to
                       the PORT address otherwise; TLS when PROT P was asked)
  close                the data connection closes: after sending the listing
                       or the file, or, for STOR and APPE, after reading
                       what the client sends until it closes (at once when
                       no 150 went before)
  wait                 nothing for 0.5 s
  abor=R,R,...         after this plan, ABOR is answered with these replies
                       (none: not at all) and NOOP with 200, unless R is
                       "silent" (NOOP unanswered)

With --cert and --key, AUTH TLS is taken. Connections are served one after
another; a plan list is shared by every connection of the same user, so a
reconnect goes on with the next plan. Runs until the fixture stops it.
"""

import argparse
import socket
import ssl
import time

ARGS = None
NEXT_PLAN = {}  # user name -> index of the next plan
DEFAULT_PLAN = ["150", "open", "close", "226"]


def record(line):
    with open(ARGS.commands, "a") as f:
        f.write(line + "\n")


def context():
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(ARGS.cert, ARGS.key)
    return ctx


class Session:
    def __init__(self, sock):
        self.sock = sock
        self.buf = b""
        self.pasv = None
        self.port = None
        self.user = ""
        self.prot = False
        self.data = None
        self.abor = None

    def send(self, line):
        self.sock.sendall(line.encode() + b"\r\n")

    def readline(self):
        while b"\n" not in self.buf:
            chunk = self.sock.recv(4096)
            if not chunk:
                return None
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line.rstrip(b"\r").decode(errors="replace")

    def plan(self):
        script = self.user[len("order-"):].split("#")[0]
        plans = script.split("/") if self.user.startswith("order-") else []
        index = NEXT_PLAN.get(self.user, 0)
        NEXT_PLAN[self.user] = index + 1
        return plans[index].split(".") if index < len(plans) else DEFAULT_PLAN

    def open_data(self):
        if self.pasv:
            conn, _ = self.pasv.accept()
            self.pasv.close()
            self.pasv = None
        else:
            conn = socket.create_connection(self.port, timeout=5)
        conn.settimeout(5)
        if self.prot:
            conn = context().wrap_socket(conn, server_side=True)
        self.data = conn

    def close_data(self, verb, sent150):
        conn, self.data = self.data, None
        if conn is None:
            return
        try:
            if verb in ("STOR", "APPE"):
                if sent150:
                    while conn.recv(65536):
                        pass
            elif verb == "RETR":
                conn.sendall(bytes(range(256)) * 40)
            else:
                conn.sendall(b"-rw-r--r-- 1 u g 10 Jan 01 2026 a.txt\r\n"
                             b"-rw-r--r-- 1 u g 20 Jan 01 2026 b.txt\r\n")
            if self.prot:
                conn = conn.unwrap()
        except (OSError, ssl.SSLError):
            pass
        conn.close()

    def transfer(self, verb):
        sent150 = False
        for event in self.plan():
            if event.startswith("abor="):
                self.abor = event[len("abor="):].split(",")
            elif event == "open":
                self.open_data()
            elif event == "close":
                self.close_data(verb, sent150)
            elif event == "wait":
                time.sleep(0.5)
            else:
                sent150 = sent150 or event == "150"
                self.send(event + " Scripted reply.")
        if self.data is not None and self.abor is None:
            self.close_data(verb, sent150)

    def run(self):
        self.send("220 ordered FTP peer")
        while True:
            line = self.readline()
            if line is None:
                return
            record(line)
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            if verb == "AUTH" and ARGS.cert:
                self.send("234 Proceed with negotiation.")
                self.sock = context().wrap_socket(self.sock, server_side=True)
            elif verb == "USER":
                self.user = arg
                self.send("331 Password please.")
            elif verb == "PASS":
                self.send("230 Logged in.")
            elif verb == "PROT":
                self.prot = arg == "P"
                self.send("200 OK.")
            elif verb in ("PBSZ", "TYPE", "CWD"):
                self.send("200 OK.")
            elif verb == "PASV":
                self.pasv = socket.socket()
                self.pasv.bind(("127.0.0.1", 0))
                self.pasv.listen(1)
                self.pasv.settimeout(5)
                port = self.pasv.getsockname()[1]
                self.send("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port >> 8, port & 255))
            elif verb == "PORT":
                n = [int(x) for x in arg.split(",")]
                self.port = ("%d.%d.%d.%d" % tuple(n[:4]), n[4] * 256 + n[5])
                self.send("200 PORT command successful.")
            elif verb in ("RETR", "LIST", "NLST", "STOR", "APPE"):
                self.transfer(verb)
            elif verb == "ABOR":
                if self.data is not None:
                    self.data.close()
                    self.data = None
                for reply in self.abor or []:
                    if reply not in ("none", "silent"):
                        self.send(reply + " Scripted ABOR reply.")
            elif verb == "NOOP":
                if "silent" not in (self.abor or []):
                    self.send("200 NOOP ok.")
                self.abor = None
            elif verb == "QUIT":
                self.send("221 Goodbye.")
                return
            else:
                self.send("502 Not implemented.")


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--commands", required=True)
    p.add_argument("--cert", default="")
    p.add_argument("--key", default="")
    ARGS = p.parse_args()
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", ARGS.port))
    server.listen(8)
    while True:
        conn, _ = server.accept()
        conn.settimeout(10)
        try:
            Session(conn).run()
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
