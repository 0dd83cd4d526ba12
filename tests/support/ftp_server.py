#!/usr/bin/python3
"""An FTP server on 127.0.0.1 for the upload tests.

It listens on a free port and prints that port as the first line of its standard output, so a
test can wait for the line instead of guessing when the server is up. Every command line it
receives is appended to the log file exactly as it came over the wire (raw bytes, one line each),
so a test can check the commands and a Big5 file name byte for byte. File names are kept as raw
bytes on disk too: a name sent in Big5 is stored under those very bytes in the root folder.

With --silent it accepts connections and never answers, for clients that must give up on a dead
server. With --refuse-login every login is answered 530.

The server ends when its standard input is closed, so it never outlives the test that started it.
"""

import argparse
import logging
import os
import socket
import sys
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class RefusingAuthorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        raise AuthenticationFailed("Login refused.")


def recording_handler(log_path):
    log = open(log_path, "ab", buffering=0)

    class RecordingHandler(FTPHandler):
        # Undecodable bytes survive as surrogates, so Big5 names reach the disk unchanged.
        unicode_errors = "surrogateescape"
        # Answer a refused login at once; the tests wait for the answer.
        auth_failed_timeout = 0

        def found_terminator(self):
            log.write(b"".join(self._in_buffer) + b"\n")
            super().found_terminator()

    return RecordingHandler


def serve_ftp(args, listener):
    authorizer = RefusingAuthorizer() if args.refuse_login else DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = recording_handler(args.log)
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
