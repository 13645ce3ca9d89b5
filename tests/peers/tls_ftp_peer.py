#!/usr/bin/python3
"""A scripted FTP server over explicit TLS on 127.0.0.1, for faults no real
server shows: data cut short without close_notify, clear text behind the
234 reply, a data connection presenting another certificate.

    tls_ftp_peer.py --port P --cert C --key K [--data-cert C2 --data-key K2]
                    [--file-bytes N] [--send-bytes M] [--announce] [--size]
                    [--list-lines L] [--list-send K] [--close-notify]
                    [--junk-after-234] [--commands FILE]

Any user and password log in. RETR of any name sends M of the N bytes of a
fixed pattern (all by default), LIST and NLST K of L lines; the data
connection then closes with close_notify only with --close-notify, and the
226 follows. --announce puts "(N bytes)" in the 150 reply, --size answers
SIZE with N. Connections are served one after another; the process runs
until it is stopped (the fixture kills it by PID).
"""

import argparse
import socket
import ssl

ARGS = None


def record(line):
    if ARGS.commands:
        with open(ARGS.commands, "a") as f:
            f.write(line + "\n")


def pattern(n):
    block = bytes(range(256)) * 64
    return (block * (n // len(block) + 1))[:n]


def listing(lines):
    return b"".join(b"-rw-r--r--    1 1000     1000        %8d Jan 01  2026 file%04d.txt\r\n" % (i, i)
                    for i in range(lines))


def context(cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    return ctx


class Session:
    def __init__(self, sock):
        self.sock = sock
        self.buf = b""
        self.pasv = None

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

    def data(self, payload):
        conn, _ = self.pasv.accept()
        self.pasv.close()
        self.pasv = None
        conn.settimeout(10)
        tls = context(ARGS.data_cert or ARGS.cert, ARGS.data_key or ARGS.key).wrap_socket(conn, server_side=True)
        tls.sendall(payload)
        if ARGS.close_notify:
            try:
                tls.unwrap()
            except (OSError, ssl.SSLError):
                pass
        else:
            # A plain TCP close (FIN), no close_notify; what the client still
            # sends is read, so that the close is no reset.
            tls.shutdown(socket.SHUT_WR)
            try:
                while tls.recv(4096):
                    pass
            except OSError:
                pass
        tls.close()

    def run(self):
        self.send("220 scripted TLS peer")
        while True:
            line = self.readline()
            if line is None:
                return
            record(line)
            verb = line.split(" ", 1)[0].upper()
            if verb == "AUTH":
                if ARGS.junk_after_234:
                    self.sock.sendall(b"234 Proceed with negotiation.\r\n230 Logged in (injected in clear).\r\n")
                else:
                    self.send("234 Proceed with negotiation.")
                self.sock = context(ARGS.cert, ARGS.key).wrap_socket(self.sock, server_side=True)
            elif verb == "USER":
                self.send("331 Password please.")
            elif verb == "PASS":
                self.send("230 Logged in.")
            elif verb in ("PBSZ", "PROT", "TYPE"):
                self.send("200 OK.")
            elif verb == "PWD":
                self.send('257 "/" is the current directory')
            elif verb == "SIZE":
                self.send("213 %d" % ARGS.file_bytes if ARGS.size else "550 No size here.")
            elif verb == "PASV":
                self.pasv = socket.socket()
                self.pasv.bind(("127.0.0.1", 0))
                self.pasv.listen(1)
                self.pasv.settimeout(10)
                port = self.pasv.getsockname()[1]
                self.send("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port >> 8, port & 255))
            elif verb in ("RETR", "LIST", "NLST"):
                if verb == "RETR":
                    whole, sent = pattern(ARGS.file_bytes), ARGS.send_bytes
                    size = " (%d bytes)" % ARGS.file_bytes if ARGS.announce else ""
                else:
                    whole, sent = listing(ARGS.list_lines), None
                    if ARGS.list_send is not None:
                        sent = len(listing(ARGS.list_send))
                    size = ""
                self.send("150 Opening BINARY mode data connection%s." % size)
                try:
                    self.data(whole if sent is None else whole[:sent])
                    self.send("226 Transfer complete.")
                except (OSError, ssl.SSLError) as e:
                    self.send("426 Data connection failed: %s" % e)
            elif verb == "QUIT":
                self.send("221 Goodbye.")
                return
            else:
                self.send("502 Not implemented.")


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--cert", required=True)
    p.add_argument("--key", required=True)
    p.add_argument("--data-cert", default="")
    p.add_argument("--data-key", default="")
    p.add_argument("--file-bytes", type=int, default=480000)
    p.add_argument("--send-bytes", type=int, default=None)
    p.add_argument("--announce", action="store_true")
    p.add_argument("--size", action="store_true")
    p.add_argument("--list-lines", type=int, default=400)
    p.add_argument("--list-send", type=int, default=None)
    p.add_argument("--close-notify", action="store_true")
    p.add_argument("--junk-after-234", action="store_true")
    p.add_argument("--commands", default="")
    ARGS = p.parse_args()
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", ARGS.port))
    server.listen(8)
    while True:
        conn, _ = server.accept()
        conn.settimeout(20)
        try:
            Session(conn).run()
        except (OSError, ssl.SSLError):
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
