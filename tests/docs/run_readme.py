#!/usr/bin/env python3
"""Runs the README's marked commands as written, in a home of their own.

Every fenced block that follows a `<!-- run -->` line is run, in order, in one
bash session with `set -e` (python blocks through python3), with the program
under test first on the PATH and HOME in a scratch folder. The README's easy
fixed ports (8451, and 8461 to 8463 written as 846$n) are swapped for ports
found free on this machine, so that another program holding them cannot fail
the run.

usage: run_readme.py PROGRAM README.md
"""
import os
import random
import re
import socket
import shutil
import signal
import subprocess
import sys
import tempfile

SKIP = 77  # CTest's skip code, when the machine would make the run unsafe


def marked_blocks(text):
    pattern = re.compile(r"^<!-- run -->\n```(\w+)\n(.*?)^```$", re.M | re.S)
    return [(language, body) for language, body in pattern.findall(text)]


def free(port):
    with socket.socket() as probe:
        try:
            probe.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


def free_ports():
    """A free port for 8451, and a free three- or four-digit prefix for 846$n."""
    pick = random.Random()
    while True:
        single, prefix = pick.randrange(20000, 60000), pick.randrange(2000, 6000)
        if free(single) and all(free(prefix * 10 + n) for n in range(10)):
            return single, prefix


def hold_fixed_ports():
    """Holds the README's own ports while it runs, as another program might: the
    run must not need them."""
    held = []
    for port in [8451] + [8460 + n for n in range(10)]:
        sock = socket.socket()
        try:
            sock.bind(("127.0.0.1", port))
            sock.listen()
            held.append(sock)
        except OSError:
            sock.close()  # someone else holds it already: just as good
    return held


def on_free_ports(blocks):
    single, prefix = free_ports()
    return [(language, body.replace("8451", str(single)).replace("846", str(prefix))) for language, body in blocks]


def script_of(blocks):
    lines = ["set -e"]
    for language, body in blocks:
        if language == "python":
            lines.append("python3 - <<'PYTHON'\n" + body + "PYTHON")
        else:
            lines.append(body)
    return "\n".join(lines) + "\n"


def main():
    program, readme = sys.argv[1], sys.argv[2]
    # With no data folder COM2 is /dev/ttyS1: a test never opens a real device.
    if os.path.exists("/dev/ttyS1"):
        print("skipped: this machine has a /dev/ttyS1, which the README's first run would open")
        return SKIP
    with open(readme) as file:
        blocks = marked_blocks(file.read())
    if not blocks:
        print("no marked commands in", readme)
        return 1
    home = tempfile.mkdtemp(prefix="readme-home-")
    environment = {key: value for key, value in os.environ.items()
                   if not key.startswith("XDG_") and key != "ProgramFiles"}
    environment.update(HOME=home, PATH=os.path.dirname(os.path.abspath(program)) + os.pathsep + environment["PATH"])
    held = hold_fixed_ports()
    run = subprocess.Popen(["bash", "-c", script_of(on_free_ports(blocks))], cwd=home, env=environment, start_new_session=True)
    try:
        status = run.wait(timeout=180)
    except subprocess.TimeoutExpired:
        status = "timed out"
    finally:
        try:
            os.killpg(run.pid, signal.SIGKILL)  # whatever a block left running
        except ProcessLookupError:
            pass
        shutil.rmtree(home, ignore_errors=True)
        for sock in held:
            sock.close()
    print(f"{len(blocks)} marked blocks:", "all ran" if status == 0 else f"failed ({status})")
    return 0 if status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
