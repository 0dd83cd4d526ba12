#!/usr/bin/python3
"""An FTP server on 127.0.0.1 for the upload tests.

It listens on a free port and prints that port as the first line of its standard output, so a
test can wait for the line instead of guessing when the server is up. Every command line it
receives is appended to the log file exactly as it came over the wire (raw bytes, one line each),
so a test can check the commands and a Big5 file name byte for byte. File names are kept as raw
bytes on disk too: a name sent in Big5 is stored under those very bytes in the root folder.

With --silent it accepts connections and never answers, for clients that must give up on a dead
server. With --refuse-login every login is answered 530. Faults of a transfer, for clients that
must check what was stored: --truncate-stored keeps only the first half of every stored file and
still answers 226; --cut-data-after N closes the data connection of a store after N bytes, keeping
those, and answers 226 as if the file were complete; --refuse-size answers SIZE with 502, so that
the size can only be read from a listing.

The server ends when its standard input is closed, so it never outlives the test that started it.
"""

import argparse
import logging
import os
import socket
import sys
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import RetryError
from pyftpdlib.servers import FTPServer


class RefusingAuthorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        raise AuthenticationFailed("Login refused.")


def cutting_dtp_handler(cut_after):
    class CuttingDTPHandler(DTPHandler):
        """Receives the first cut_after bytes of a store, then closes the data connection."""

        def handle_read(self):
            try:
                chunk = self.recv(self.ac_in_buffer_size)
            except RetryError:
                return
            room = cut_after - self.tot_bytes_received
            self.tot_bytes_received += len(chunk)
            if chunk:
                self.file_obj.write(chunk[:max(room, 0)])
            if not chunk or self.tot_bytes_received >= cut_after:
                self.transfer_finished = True
                self._resp = ("226 Transfer complete.", logging.debug)
                self.close()

        handle_read_event = handle_read

    return CuttingDTPHandler


def recording_handler(args):
    log = open(args.log, "ab", buffering=0)

    class RecordingHandler(FTPHandler):
        # Undecodable bytes survive as surrogates, so Big5 names reach the disk unchanged.
        unicode_errors = "surrogateescape"
        # Answer a refused login at once; the tests wait for the answer.
        auth_failed_timeout = 0

        def found_terminator(self):
            log.write(b"".join(self._in_buffer) + b"\n")
            super().found_terminator()

        def on_file_received(self, file):
            if args.truncate_stored:
                os.truncate(file, os.path.getsize(file) // 2)

        def ftp_SIZE(self, path):
            if args.refuse_size:
                self.respond("502 SIZE not implemented.")
            else:
                super().ftp_SIZE(path)

    if args.cut_data_after is not None:
        RecordingHandler.dtp_handler = cutting_dtp_handler(args.cut_data_after)
    return RecordingHandler


def serve_ftp(args, listener):
    authorizer = RefusingAuthorizer() if args.refuse_login else DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = recording_handler(args)
    handler.authorizer = authorizer
    server = FTPServer(listener, handler)
    print(listener.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


def serve_silently(listener):
    print(listener.getsockname()[1], flush=True)
    accepted = []  # kept open so that the clients see a live but mute server
    while True:
        connection, _ = listener.accept()
        accepted.append(connection)


def exit_when_stdin_closes():
    sys.stdin.buffer.read()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", help="the folder served to the user")
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="password")
    parser.add_argument("--log", help="the file that receives every command line")
    parser.add_argument("--refuse-login", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--truncate-stored", action="store_true")
    parser.add_argument("--cut-data-after", type=int, metavar="BYTES")
    parser.add_argument("--refuse-size", action="store_true")
    args = parser.parse_args()
    if not args.silent and (args.root is None or args.log is None):
        parser.error("--root and --log are needed unless --silent")

    logging.basicConfig(level=logging.WARNING)
    threading.Thread(target=exit_when_stdin_closes, daemon=True).start()

    listener = socket.create_server(("127.0.0.1", 0))
    if args.silent:
        serve_silently(listener)
    else:
        serve_ftp(args, listener)


if __name__ == "__main__":
    main()
