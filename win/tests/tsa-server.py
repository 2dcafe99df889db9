#!/usr/bin/python3
"""A timestamp authority (RFC 3161 over HTTP) on 127.0.0.1 for the signing tests: each
request is answered by `openssl ts -reply` with the given TSA certificate and key, so that
signing with a timestamp is tested without the network.

    tsa-server.py PORT_FILE WORK_DIR TSA_CERT TSA_KEY

Writes the port it listens on to PORT_FILE and serves until killed."""
import http.server
import os
import subprocess
import sys
import tempfile

port_file, work, cert, key = sys.argv[1:5]
config = os.path.join(work, "tsa.cnf")
with open(os.path.join(work, "tsa.serial"), "w") as f:
    f.write("01\n")
with open(config, "w") as f:
    f.write("""[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = %s
crypto_device = builtin
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha256, sha384, sha512, sha1
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
""" % os.path.join(work, "tsa.serial"))


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "query"), "wb") as f:
                f.write(query)
            made = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile",
                                   os.path.join(d, "query"), "-inkey", key, "-signer", cert,
                                   "-out", os.path.join(d, "reply")], capture_output=True)
            if made.returncode != 0:
                sys.stderr.write(made.stderr.decode())
                self.send_response(500)
                self.end_headers()
                return
            with open(os.path.join(d, "reply"), "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
with open(port_file + ".part", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
