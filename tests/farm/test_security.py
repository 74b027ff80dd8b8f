# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""The local cluster listens on the loopback address only, and runs with TLS on."""

import subprocess

import psutil
from conftest import frame_hashes, run

from telvo_farm.cluster import connect
from telvo_farm.command_line import parse_arguments


def make_certificates(folder):
    """A certificate authority and one certificate it signed, as docs/farm.md shows."""
    def openssl(*arguments):
        subprocess.run(["openssl", *arguments], check=True, capture_output=True, timeout=60)

    ca, key, request, cert = (str(folder / n) for n in ("ca.pem", "key.pem", "req.csr", "cert.pem"))
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
            "/CN=telvo-farm test CA", "-keyout", str(folder / "ca-key.pem"), "-out", ca)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=telvo-farm", "-keyout", key,
            "-out", request)
    openssl("x509", "-req", "-in", request, "-CA", ca, "-CAkey", str(folder / "ca-key.pem"),
            "-CAcreateserial", "-days", "2", "-out", cert)
    return ["--tls-ca-file", ca, "--tls-cert", cert, "--tls-key", key]


def listening_addresses(process):
    addresses = set()
    for p in [process, *process.children(recursive=True)]:
        addresses |= {c.laddr.ip for c in p.connections("inet") if c.status == psutil.CONN_LISTEN}
    return addresses


def test_tls_cluster_on_loopback(clips, telvo, farm, tmp_path):
    tls = make_certificates(tmp_path)
    options = parse_arguments([clips["av.mp4"], "unused.mkv", "--workers", "2", *tls])
    client, cluster = connect(options)
    try:
        assert cluster.scheduler_address.startswith("tls://127.0.0.1:")
        assert all(w.startswith("tls://127.0.0.1:") for w in client.scheduler_info()["workers"])
        assert client.submit(lambda: 6 * 7).result(timeout=30) == 42
        assert listening_addresses(psutil.Process()) == {"127.0.0.1"}
    finally:
        client.close()
        cluster.close()

    output, single = tmp_path / "farmed.mkv", tmp_path / "single.mkv"
    done = run([farm, clips["av.mp4"], str(output), "--lossless", "--workers", "2",
                "--segment-frames", "30", *tls])
    assert done.returncode == 0, done.stderr
    assert run([telvo, clips["av.mp4"], str(single), "--lossless", "-q"]).returncode == 0
    assert frame_hashes(str(output)) == frame_hashes(str(single))
