#!/usr/bin/env python3
"""Clients that open connections and never finish must not take the control API
down, nor the emulator's descriptors with it.

Both parts run the emulator under a limit of 1,024 descriptors, the one most
sessions start a program with, and use more connections than that.

1. 1,100 connections that send half a request line and close, then 1,100
   connections that send nothing for 70 s: the API must answer between the
   two, and within a second of the last idle one going away.
2. A period set through the API, then 1,100 idle connections held while
   SIGTERM arrives: the emulator must still end and save the period, which
   needs a descriptor for the new file.

usage: api_exhaustion.py PROGRAM
"""
import os
import resource
import select
import socket
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no cache files left in the source tree
from scratch_emulator import FOLDER, Emulator

CONNECTIONS = 1100
failures = []


def fail(text):
    failures.append(text)
    print("FAIL:", text, flush=True)


def connect_many(port, count, send=b""):
    """count connections, connect() never waiting: past the server's limit they
    may sit in the listen queue or still be retrying their SYN."""
    sockets = []
    for _ in range(count):
        client = socket.socket()
        client.setblocking(False)
        client.connect_ex(("127.0.0.1", port))
        sockets.append(client)
    if send:
        waiting = {client.fileno(): client for client in sockets}
        poller = select.poll()
        for fd in waiting:
            poller.register(fd, select.POLLOUT)
        deadline = time.monotonic() + 10
        while waiting and time.monotonic() < deadline:
            for fd, _ in poller.poll(200):
                poller.unregister(fd)
                client = waiting.pop(fd)
                if client.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0:
                    try:
                        client.send(send)
                    except OSError:
                        pass
    return sockets


def close_all(sockets):
    for client in sockets:
        client.close()


def answers(emulator, within):
    """Seconds until GET /state was answered with 200, or None if not within that long."""
    start = time.monotonic()
    deadline = start + within
    while time.monotonic() < deadline:
        try:
            status, _ = emulator.request("GET", "/state", timeout=max(0.05, deadline - time.monotonic()))
            if status == 200:
                return time.monotonic() - start
        except OSError:
            pass
        time.sleep(0.05)
    return None


def half_requests_then_idle(program, scratch):
    emulator = Emulator(program, scratch, preexec_fn=usual_limit)
    try:
        close_all(connect_many(emulator.port, CONNECTIONS, send=b"GET /sta"))
        took = answers(emulator, 5)
        if took is None:
            return fail(f"after {CONNECTIONS} half requests the API does not answer within 5 s")
        print(f"after {CONNECTIONS} half requests the API answers ({took:.2f} s)", flush=True)
        idle = connect_many(emulator.port, CONNECTIONS)
        time.sleep(70)
        close_all(idle)
        took = answers(emulator, 1)
        if took is None:
            fail(f"{CONNECTIONS} idle connections held for 70 s: no answer within 1 s of their closing")
        else:
            print(f"after {CONNECTIONS} idle connections the API answers ({took:.2f} s)", flush=True)
    finally:
        if emulator.stop() is None:
            fail("the emulator did not end on SIGTERM")


def settings_after(program, scratch, start_from, period=None, idle=0):
    """The settings file as saved on SIGTERM, after a run started from start_from
    (bytes of a settings file, or None for none)."""
    if start_from is not None:
        with open(os.path.join(scratch, "pf", FOLDER, FOLDER + ".eng"), "wb") as file:
            file.write(start_from)
    emulator = Emulator(program, scratch, preexec_fn=usual_limit)
    held = []
    try:
        if period is not None:
            try:
                status, reply = emulator.request("POST", "/period", {"period_ms": period})
            except OSError as error:
                status, reply = error, None
            if status != 200 or not isinstance(reply, dict) or str(reply.get("period_ms")) != period:
                fail(f"POST /period {period}: {status} {reply}")
        held = connect_many(emulator.port, idle)
        time.sleep(3 if idle else 0.5)
        code = emulator.stop()
        if code is None:
            fail(f"with {idle} idle connections held the emulator did not end within 20 s of SIGTERM")
        elif code != 0:
            fail(f"with {idle} idle connections held the emulator ended with status {code} on SIGTERM")
    finally:
        close_all(held)
        emulator.stop()
    return emulator.read_settings()


def period_saved_under_load(program, scratch):
    default = settings_after(program, scratch, None)
    calm = settings_after(program, scratch, default, period="500")
    if default is None or calm is None or len(default) != len(calm):
        return fail("no settings file of a steady length to compare")
    changed = [i for i in range(len(default)) if default[i] != calm[i]]
    if not changed:
        return fail("setting the period to 500 changed nothing in the settings file")
    loaded = settings_after(program, scratch, default, period="500", idle=CONNECTIONS)
    if loaded is None or len(loaded) != len(calm):
        return fail(f"with {CONNECTIONS} idle connections held at SIGTERM the settings file is "
                    f"{'gone' if loaded is None else 'of another length'}")
    if any(loaded[i] != calm[i] for i in changed):
        fail(f"with {CONNECTIONS} idle connections held at SIGTERM the period 500 was not saved "
             f"(bytes {changed} are {bytes(loaded[i] for i in changed).hex()}, "
             f"{bytes(calm[i] for i in changed).hex()} expected)")
    else:
        print(f"period 500 saved with {CONNECTIONS} idle connections held (bytes {changed})", flush=True)


def usual_limit():
    resource.setrlimit(resource.RLIMIT_NOFILE, (1024, 1024))


def main():
    program = os.path.abspath(sys.argv[1])
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = CONNECTIONS + 200
    if hard != resource.RLIM_INFINITY and hard < wanted:
        sys.exit(f"FAIL: this test holds {CONNECTIONS} sockets and may open only {hard} descriptors")
    if soft != resource.RLIM_INFINITY and soft < wanted:
        resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))
    started = time.monotonic()
    with tempfile.TemporaryDirectory() as scratch:
        half_requests_then_idle(program, os.path.join(scratch, "first"))
        period_saved_under_load(program, os.path.join(scratch, "second"))
    print(f"{len(failures)} failed" if failures else "the API outlasts its idle clients",
          f"({time.monotonic() - started:.0f} s)")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
