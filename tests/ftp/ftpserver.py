#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# FTP server for the transfer tests, on a free loopback port that it prints on its first line.
#
#   ftpserver.py --root DIR --log FILE [--tls DIR]   users "user" (full rights), "reader"
#                                                    (read only) and "norename" (all but
#                                                    renames), all with home DIR; a full disk
#                                                    is answered 452, a full quota 552
#       [--port N]                                   listen on port N instead of a free one
#       [--stop-after BYTES]                         the whole server ends abruptly once an
#                                                    upload has brought that many bytes
#       [--stall-after BYTES]                        the server stops reading and answering
#                                                    there instead, connections left open
#   ftpserver.py --silent                            accepts connections and never says a word
#   ftpserver.py --make-cert DIR                     writes cert.pem and key.pem for 127.0.0.1
#
# Commands are read in code page 932 (as the client sends them) and logged one a line in UTF-8.
# Uploads are stored byte for byte as they arrive, ASCII mode included, so a test sees what
# really came over the wire rather than the server's own line-end conversion of it.

import argparse
import datetime
import errno
import os
import socket
import sys
import time

USER = ("user", "秘密のpass")
READER = ("reader", "readerpass")
NORENAME = ("norename", "norenamepass")


def make_cert(folder):
    import ipaddress

    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import rsa
    from cryptography.x509.oid import NameOID

    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Vellumdex test server")])
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder()
            .subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(hours=1))
            .not_valid_after(now + datetime.timedelta(days=2))
            .add_extension(x509.SubjectAlternativeName(
                [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("localhost")]),
                critical=False)
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .sign(key, hashes.SHA256()))
    with open(os.path.join(folder, "key.pem"), "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM,
                                  serialization.PrivateFormat.TraditionalOpenSSL,
                                  serialization.NoEncryption()))
    with open(os.path.join(folder, "cert.pem"), "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))


def serve_silent():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    held = []
    while True:
        conn, _ = listener.accept()
        held.append(conn)


def serve(root, log_path, tls_folder, port=0, stop_after=0, stall_after=0):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler
    from pyftpdlib.servers import FTPServer

    log = open(log_path, "a", encoding="utf-8")

    class Discard:
        def __init__(self, name):
            self.name = name
            self.closed = False

        def write(self, data):
            return len(data)

        def close(self):
            self.closed = True

    class StorageRefusal:
        # What a server with a full disk or quota answers (rather than pyftpdlib's 426), once it
        # has read the rest of the upload, so the answer reaches the client.
        def handle_error(self):
            err = sys.exc_info()[1]
            cause = err.args[0] if err is not None and err.args and isinstance(
                err.args[0], OSError) else err
            number = getattr(cause, "errno", None)
            if number in (errno.ENOSPC, errno.EDQUOT):
                self._refusal = ("452 Insufficient storage space." if number == errno.ENOSPC
                                 else "552 Exceeded storage allocation.")
                try:
                    self.file_obj.close()
                except OSError:
                    pass
                self.file_obj = Discard(self.file_obj.name)
                return
            super().handle_error()

        def close(self):
            refusal = getattr(self, "_refusal", None)
            if refusal and not self._closed:
                from pyftpdlib.log import logger
                self._resp = (refusal, logger.warning)
            super().close()

    class RawDTP(StorageRefusal, DTPHandler):
        def enable_receiving(self, type, cmd):
            super().enable_receiving(type, cmd)
            self._data_wrapper = None

        def handle_read(self):
            super().handle_read()
            if stop_after and self.tot_bytes_received >= stop_after:
                log.write("STOPPED\n")
                log.flush()
                os._exit(3)
            if stall_after and self.tot_bytes_received >= stall_after:
                log.write("STALLED\n")
                log.flush()
                while True:
                    time.sleep(60)

        handle_read_event = handle_read  # the base class binds its own under this name

    class LoggingMixin:
        def decode(self, data):
            return data.decode("cp932")

        def pre_process_command(self, line, cmd, arg):
            log.write(line + "\n")
            log.flush()
            return super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER[0], USER[1], root, perm="elradfmwMT")
    authorizer.add_user(READER[0], READER[1], root, perm="elr")
    authorizer.add_user(NORENAME[0], NORENAME[1], root, perm="elradmwMT")

    if tls_folder:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class RawTlsDTP(StorageRefusal, TLS_DTPHandler):
            # Without this the data handshake is never read and the upload stalls.
            def readable(self):
                return self._ssl_accepting or super().readable()

            def enable_receiving(self, type, cmd):
                super().enable_receiving(type, cmd)
                self._data_wrapper = None

            # Bytes TLS has already decrypted wake no select: read them before the close
            # that follows them is seen, or the end of a large upload is lost.
            def handle_read_event(self):
                super().handle_read_event()
                while (self.receive and self.socket is not None and not self._ssl_accepting
                       and not self._ssl_closing and self.socket.pending() > 0):
                    super().handle_read_event()

        class Handler(LoggingMixin, TLS_FTPHandler):
            pass

        Handler.certfile = os.path.join(tls_folder, "cert.pem")
        Handler.keyfile = os.path.join(tls_folder, "key.pem")
        Handler.tls_control_required = True
        Handler.tls_data_required = True
        Handler.dtp_handler = RawTlsDTP
    else:
        class Handler(LoggingMixin, FTPHandler):
            pass

        Handler.dtp_handler = RawDTP

    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    Handler.auth_failed_timeout = 0
    server = FTPServer(("127.0.0.1", port), Handler)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root")
    parser.add_argument("--log")
    parser.add_argument("--tls")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--make-cert")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stop-after", type=int, default=0)
    parser.add_argument("--stall-after", type=int, default=0)
    args = parser.parse_args()
    import logging
    logging.disable(logging.CRITICAL)
    if args.make_cert:
        make_cert(args.make_cert)
    elif args.silent:
        serve_silent()
    else:
        serve(args.root, args.log, args.tls, args.port, args.stop_after, args.stall_after)


if __name__ == "__main__":
    sys.exit(main())
