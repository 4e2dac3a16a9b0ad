"""A loopback FTP server for tests that misbehaves in one chosen way.

Usage: python3 -u scripted_ftpd.py ROOT MODE

Serves ROOT to anonymous users with write access on 127.0.0.1 (a free port,
announced as pyftpdlib announces it) and logs every command, like
"python3 -m pyftpdlib -D -i 127.0.0.1 -p 0 -w -d ROOT". MODE is one of:

  trickle         RETR sends a few bytes, then rests about two seconds, and so on
  oversize        RETR sends the file and then 4 MiB more than it holds, and
                  SIZE says as much (LIST still tells the file's own size)
  short           RETR sends the first half of the file and ends as if whole;
                  SIZE is not understood, so nothing but LIST tells the size
  unlistable      LIST of a card's root (/mc/<slot>) is refused
  lost-on-delete  DELE and RMD are refused, and once one was, so is every
                  LIST of a card's root: a console that stopped answering

Active mode only (as the card backend uses it): the data connection is
already there when RETR comes. The server ends itself after five minutes
should the test that started it fail to stop it.
"""

import logging
import os
import re
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer

ROOT, MODE = sys.argv[1], sys.argv[2]
MODES = ("trickle", "oversize", "short", "unlistable", "lost-on-delete")
EXTRA_BYTES = 4 << 20
TRICKLE_BYTES = 8
LIFETIME_SECONDS = 300
CARD_ROOT = re.compile(r"/mc/[0-9]+/?$")
lost = False


class DataChannel(ThrottledDTPHandler):
    """Unthrottled until a trickling RETR sets the limit on its instance."""

    write_limit = 0


class Handler(FTPHandler):
    dtp_handler = DataChannel

    def ftp_RETR(self, file):
        if MODE == "trickle" and self.data_channel is not None:
            self.data_channel.ac_out_buffer_size = TRICKLE_BYTES
            self.data_channel.write_limit = TRICKLE_BYTES
        if MODE in ("oversize", "short"):
            try:
                with open(file, "rb") as source:
                    data = source.read()
            except OSError as error:
                self.respond("550 %s." % error.strerror)
                return None
            data = data + b"\xee" * EXTRA_BYTES if MODE == "oversize" else data[: len(data) // 2]
            self.push_dtp_data(data, isproducer=False, cmd="RETR")
            return file
        return super().ftp_RETR(file)

    def ftp_SIZE(self, path):
        if MODE == "oversize":
            try:
                size = os.path.getsize(path)
            except OSError as error:
                self.respond("550 %s." % error.strerror)
                return None
            self.respond("213 %d" % (size + EXTRA_BYTES))
            return None
        if MODE == "short":
            self.respond("500 Not understood.")
            return None
        return super().ftp_SIZE(path)

    def ftp_LIST(self, path):
        if (MODE == "unlistable" or (MODE == "lost-on-delete" and lost)) and CARD_ROOT.search(path):
            self.respond("550 Not listable.")
            return None
        return super().ftp_LIST(path)

    def refuse(self):
        global lost
        lost = True
        self.respond("550 Refused.")

    def ftp_DELE(self, path):
        if MODE == "lost-on-delete":
            return self.refuse()
        return super().ftp_DELE(path)

    def ftp_RMD(self, path):
        if MODE == "lost-on-delete":
            return self.refuse()
        return super().ftp_RMD(path)


def main():
    if MODE not in MODES:
        sys.exit("unknown mode: " + MODE)
    lifetime = threading.Timer(LIFETIME_SECONDS, os._exit, (0,))
    lifetime.daemon = True
    lifetime.start()
    config_logging(level=logging.DEBUG)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(ROOT, perm="elradfmwMT")
    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), Handler)
    try:
        server.serve_forever()
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
