#!/usr/bin/python3
"""An FTP server on 127.0.0.1 for the tests, with selectable misbehaviour.

Run by the PyftpdlibServer fixture as the throwaway user:
    pyftpd_peer.py --port P --user U --password W --home DIR
                   --passive FIRST-LAST --commands FILE [--mode NAME] [--cut-after N]

Every command line received is appended to the --commands file, so tests can
assert the exact sequence. A mode is a pair of mix-in lists: the first is put
in front of FTPHandler (control connection), the second in front of DTPHandler
(data connection). To add a misbehaviour, write a mix-in and add one line to
MODES.
"""

import argparse
import socket
import struct
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.log import logger
from pyftpdlib.servers import FTPServer

ARGS = None


# --- control connection mix-ins -------------------------------------------

class MultiLineGreeting:
    """220 greeting over several lines, one of them looking like an end line
    but indented (so it is not one)."""
    def handle(self):
        self.on_connect()
        self.push("220-Tarn test server\r\n220-second line\r\n"
                  " 220 indented, not the last line\r\n")
        self.respond("220 Ready.")


class Greeting421:
    def handle(self):
        self.on_connect()
        self.respond("421 Service not available, closing control connection.")
        self.close_when_done()


class LongLineGreeting:
    """4,095 bytes without a line end, then nothing."""
    def handle(self):
        self.on_connect()
        self.push("220 " + "x" * 4091)


class TwoRepliesOneSegment:
    """Holds every preliminary (1xx) reply back and sends it together with
    the next reply in one write, e.g. "150 ...\\r\\n226 ...\\r\\n"."""
    _held = None

    def respond(self, resp, logfun=None):
        self._last_response = resp
        if resp[:1] == "1":
            self._held = resp
            return
        if self._held is not None:
            self.push(self._held + "\r\n" + resp + "\r\n")
            self._held = None
        else:
            self.push(resp + "\r\n")


class SplitReply:
    """Every reply arrives in pieces: the first two digits, the rest of the
    text, the CR, the LF, with short pauses between them."""
    def respond(self, resp, logfun=None):
        self._last_response = resp
        pieces = [resp[:2], resp[2:], "\r", "\n"]
        for i, piece in enumerate(pieces):
            if i:
                time.sleep(0.05)
            self.push(piece)


class BareLineFeed:
    def respond(self, resp, logfun=None):
        self._last_response = resp
        self.push(resp + "\n")


class PwdDoubledQuote:
    def ftp_PWD(self, line):
        self.respond('257 "/we""ird" is the current directory.')


class PwdUnquoted:
    def ftp_PWD(self, line):
        self.respond("257 %s is the current directory." % self.fs.cwd)


class UserLogsIn:
    """USER is answered 230 at once; no password is asked for."""
    def ftp_USER(self, line):
        self.username = line
        self.handle_auth_success(self.authorizer.get_home_dir(ARGS.user), "",
                                 "Logged in without password.")


class SilentAfterLogin:
    """Answers nothing once logged in (for time-out tests)."""
    def pre_process_command(self, line, cmd, arg):
        if self.authenticated:
            record(line)
            return
        super().pre_process_command(line, cmd, arg)


class PasvMalformed:
    def ftp_PASV(self, line):
        self.respond("227 Entering passive mode (127,0,0,1,200).")


class PasvUnknown:
    """Knows EPSV but not PASV, as some servers behind firewalls."""
    def ftp_PASV(self, line):
        self.respond("500 Command \"PASV\" not understood.")


class PasvOtherAddress:
    """The 227 names 127.0.0.2 while the listener is on 127.0.0.1: a client
    that trusts the address fails, one that uses the control address works."""
    def respond(self, resp, logfun=None):
        if resp.startswith("227 "):
            resp = resp.replace("(127,0,0,1,", "(127,0,0,2,")
        super().respond(resp)


class PortBlackHole:
    """Takes PORT and gives the go-ahead to the transfer command, but never
    connects, as when a router drops the server's connection. ABOR then ends
    the abandoned transfer with 426 and is answered 226; NOOP follows as
    always."""
    _black_hole = False
    _hung = False

    def ftp_PORT(self, line):
        self._black_hole = True
        self.respond("200 Active data connection established.")

    def ftp_PASV(self, line):
        self._black_hole = False
        return super().ftp_PASV(line)

    def pre_process_command(self, line, cmd, arg):
        if self._black_hole and cmd in ("LIST", "NLST", "RETR", "STOR", "APPE"):
            record(line)
            self._black_hole = False
            self._hung = True
            self.respond("150 File status okay. About to open data connection.")
            return
        if self._hung and cmd == "ABOR":
            record(line)
            self._hung = False
            self.respond("426 Connection closed; transfer aborted.")
            self.respond("226 ABOR command successful.")
            return
        super().pre_process_command(line, cmd, arg)


class Appe425AfterData:
    """Takes an APPE's data whole, then answers it with 425 instead of 226,
    as if the data connection had failed."""
    _appending = False

    def ftp_APPE(self, file):
        self._appending = True
        return super().ftp_APPE(file)

    def respond(self, resp, logfun=None):
        if self._appending and resp.startswith("226"):
            self._appending = False
            resp = "425 Can't open data connection."
        super().respond(resp)


# --- data connection mix-ins ----------------------------------------------

class Reply226BeforeClose:
    """Sends the final reply, then closes the data connection 0.3 s later."""
    _closing_late = False

    def close(self):
        if self._closed or self._closing_late or self.receive:
            return super().close()
        self._closing_late = True
        if self._resp:
            self.cmd_channel.respond(self._resp[0])
            self._resp = ()
        self.ioloop.call_later(0.3, super().close)


class Reply226AfterClose:
    """Closes the data connection, then sends the final reply 0.3 s later."""
    def close(self):
        if self._closed or self.receive or not self._resp:
            return super().close()
        resp, channel = self._resp[0], self.cmd_channel
        self._resp = ()
        super().close()

        def late():
            if channel.connected:
                channel.respond(resp)
        self.ioloop.call_later(0.3, late)


class _CutProducer:
    """Passes on at most `limit` bytes of another producer."""
    def __init__(self, inner, limit):
        self.inner, self.left = inner, limit

    def more(self):
        if self.left <= 0:
            return b""
        data = self.inner.more()
        data = data[:self.left]
        self.left -= len(data)
        return data


class CutData:
    """Sends only the first --cut-after bytes of a download or listing."""
    cut_reply = "426 Connection closed; transfer aborted."
    reset = False

    def use_sendfile(self):
        return False

    def push(self, data):
        self.push_with_producer(_CutProducer(_Bytes(data), ARGS.cut_after))

    def push_with_producer(self, producer):
        if not isinstance(producer, _CutProducer):
            producer = _CutProducer(producer, ARGS.cut_after)
        super().push_with_producer(producer)

    def close(self):
        if not self._closed and not self.receive:
            if self.cut_reply and self.tot_bytes_sent >= ARGS.cut_after:
                self._resp = (self.cut_reply, logger.info)
            if self.reset:
                try:
                    self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                except OSError:
                    pass
        super().close()


class _Bytes:
    def __init__(self, data):
        self.data = data

    def more(self):
        data, self.data = self.data, b""
        return data


class CutDataClaim226(CutData):
    cut_reply = None  # keeps the server's own 226


class CutDataReset(CutData):
    reset = True


class HostileListing:
    """LIST answers with names that point outside the listed folder (a link
    to elsewhere is fine), among ordinary lines."""
    def ftp_LIST(self, path):
        lines = [
            "-rw-r--r-- 1 u g 5 Jan 01 00:00 ../escape.txt",
            "-rw-r--r-- 1 u g 5 Jan 01 00:00 sub/inner.txt",
            "-rw-r--r-- 1 u g 5 Jan 01 00:00 /etc/passwd",
            "drwxr-xr-x 2 u g 512 Jan 01 00:00 ..",
            "lrwxrwxrwx 1 u g 7 Jan 01 00:00 up -> ../..",
            "lrwxrwxrwx 1 u g 7 Jan 01 00:00 ../out -> x",
            "-rw-r--r-- 1 u g 5 Jan 01 00:00 plain.txt",
        ]
        self.push_dtp_data(("\r\n".join(lines) + "\r\n").encode(), cmd="LIST")
        return path


# --- modes ----------------------------------------------------------------

MODES = {
    "normal": ([], []),
    "multiline_greeting": ([MultiLineGreeting], []),
    "greeting_421": ([Greeting421], []),
    "long_line": ([LongLineGreeting], []),
    "two_replies_one_segment": ([TwoRepliesOneSegment], []),
    "split_reply": ([SplitReply], []),
    "bare_lf": ([BareLineFeed], []),
    "pwd_doubled_quote": ([PwdDoubledQuote], []),
    "pwd_unquoted": ([PwdUnquoted], []),
    "user_230": ([UserLogsIn], []),
    "silent_after_login": ([SilentAfterLogin], []),
    "reply_226_before_close": ([], [Reply226BeforeClose]),
    "reply_226_after_close": ([], [Reply226AfterClose]),
    "data_close_early": ([], [CutData]),
    "data_close_early_226": ([], [CutDataClaim226]),
    "data_reset": ([], [CutDataReset]),
    "pasv_malformed": ([PasvMalformed], []),
    "pasv_other_address": ([PasvOtherAddress], []),
    "pasv_unknown": ([PasvUnknown], []),
    "port_black_hole": ([PortBlackHole], []),
    "appe_425_after_data": ([Appe425AfterData], []),
    "hostile_listing": ([HostileListing], []),
}


def record(line):
    with open(ARGS.commands, "a", encoding="utf-8", errors="replace") as f:
        f.write(line + "\n")


class RecordingHandler(FTPHandler):
    auth_failed_timeout = 0  # answer a wrong password at once

    def pre_process_command(self, line, cmd, arg):
        record(line)
        super().pre_process_command(line, cmd, arg)


def tls_handlers():
    """Explicit TLS (AUTH TLS), required for the login and every transfer."""
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    class RecordingTlsHandler(TLS_FTPHandler):
        auth_failed_timeout = 0

        def pre_process_command(self, line, cmd, arg):
            record(line)
            super().pre_process_command(line, cmd, arg)

    RecordingTlsHandler.certfile = ARGS.tls_cert
    RecordingTlsHandler.keyfile = ARGS.tls_key
    RecordingTlsHandler.tls_control_required = True
    RecordingTlsHandler.tls_data_required = True
    return RecordingTlsHandler, TLS_DTPHandler


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--home", required=True)
    p.add_argument("--passive", required=True)
    p.add_argument("--commands", required=True)
    p.add_argument("--mode", default="normal")
    p.add_argument("--cut-after", type=int, default=1000)
    p.add_argument("--tls-cert", default="")
    p.add_argument("--tls-key", default="")
    p.add_argument("--address", default="127.0.0.1")
    ARGS = p.parse_args()
    if ARGS.mode not in MODES:
        sys.exit("unknown mode %r; known: %s" % (ARGS.mode, ", ".join(sorted(MODES))))

    control, data = MODES[ARGS.mode]
    base, dtp_base = tls_handlers() if ARGS.tls_cert else (RecordingHandler, DTPHandler)
    dtp = type("TestDTPHandler", tuple(data) + (dtp_base,), {})
    handler = type("TestFTPHandler", tuple(control) + (base,), {"dtp_handler": dtp})
    first, last = (int(x) for x in ARGS.passive.split("-"))
    handler.passive_ports = range(first, last + 1)
    authorizer = DummyAuthorizer()
    authorizer.add_user(ARGS.user, ARGS.password, ARGS.home, perm="elradfmwMT")
    handler.authorizer = authorizer
    server = FTPServer((ARGS.address, ARGS.port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
