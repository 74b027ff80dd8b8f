# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""The Dask side: an existing scheduler, or a cluster of our own on the loopback address."""

import importlib
import logging
import os
import signal

from telvo_farm.errors import FarmError, UsageError


def security_of(o):
    if not o.tls:
        return None
    from distributed.security import Security

    for path in (o.tls_ca_file, o.tls_cert, o.tls_key):
        if not os.access(path, os.R_OK):
            raise FarmError(f"cannot read the TLS file '{path}'")
    # The local cluster's scheduler and workers use the client's certificate too.
    return Security(
        tls_ca_file=o.tls_ca_file,
        tls_client_cert=o.tls_cert,
        tls_client_key=o.tls_key,
        tls_scheduler_cert=o.tls_cert,
        tls_scheduler_key=o.tls_key,
        tls_worker_cert=o.tls_cert,
        tls_worker_key=o.tls_key,
        require_encryption=True,
    )


def check_security(o):
    """A tls:// scheduler with no certificate from the options or from Dask's own
    configuration: said in one line before anything runs (Dask would fail on it with a
    TypeError deep in its connection code)."""
    if not o.scheduler.startswith("tls://") or o.tls:
        return
    from distributed.security import Security

    if Security().get_connection_args("client").get("ssl_context") is None:
        raise UsageError(f"--scheduler {o.scheduler}: TLS needs --tls-ca-file, --tls-cert "
                         "and --tls-key (or Dask's distributed.comm.tls settings)")


def _quiet_dask():
    """Dask's own messages (a lost worker, a retried task) are summed up by the farm's.
    Dask's configuration gives some of its loggers levels of their own, which a level on
    "distributed" alone would not reach."""
    importlib.import_module("distributed")  # sets Dask's logging up first

    for name in list(logging.Logger.manager.loggerDict):
        if name == "distributed" or name.startswith("distributed."):
            logging.getLogger(name).setLevel(logging.CRITICAL)


def start_local_cluster(o, security):
    """One single-threaded worker process per core (telvo threads inside), every
    socket on 127.0.0.1: a scheduler runs whatever code reaches it."""
    from distributed import LocalCluster

    # The worker processes inherit an ignored SIGINT: a Ctrl-C at the terminal reaches
    # the whole process group, and it is this client's to act on, not theirs.
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
    try:
        return LocalCluster(
            n_workers=o.workers or os.cpu_count() or 1,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            protocol="tls://" if security else "tcp://",
            security=security,
            dashboard_address="127.0.0.1:0",
            worker_dashboard_address="127.0.0.1:0",
            silence_logs=logging.CRITICAL if not o.verbose else logging.WARNING,
        )
    finally:
        signal.signal(signal.SIGINT, previous)


def connect(o):
    """(client, cluster or None). Raises FarmError when no scheduler answers."""
    from distributed import Client

    if not o.verbose:
        _quiet_dask()
    security = security_of(o)
    cluster = None
    try:
        if o.scheduler:
            client = Client(o.scheduler, timeout=o.connect_timeout, security=security,
                            set_as_default=False)
        else:
            cluster = start_local_cluster(o, security)
            client = Client(cluster, security=security, set_as_default=False)
    except (OSError, TimeoutError, ValueError) as e:
        if cluster is not None:
            cluster.close()
        where = o.scheduler or "the local cluster"
        raise FarmError(f"cannot reach the scheduler at {where}: {e}") from None
    return client, cluster
